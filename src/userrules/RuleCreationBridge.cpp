#include "userrules/RuleCreationBridge.h"

#include "VtrLibrary.h"
#include "modules/ModuleLists.h"

#include <QFileInfo>

QString RuleCreationBridge::LibraryPath()
{
    return KnownModules::PathInProgramFolder(QLatin1String(kLibrary));
}

bool RuleCreationBridge::Launch(
    void* parent, const QString& name, const QString& category, CPLQRuleCreationData* data, QString& error)
{
    return LaunchFrom(LibraryPath(), parent, name, category, data, error);
}

bool RuleCreationBridge::LaunchFrom(const QString& path, void* parent, const QString& name, const QString& category,
    CPLQRuleCreationData* data, QString& error)
{
    if (!QFileInfo::exists(path)) {
        error = QStringLiteral("The rule-creation program is not installed: %1 is missing.").arg(path);
        return false;
    }
    void* handle = VtrLibrary::Load(path);
    if (!handle) {
        error = QStringLiteral("The rule-creation program could not be loaded: %1").arg(VtrLibrary::LastError());
        return false;
    }
    auto launch = reinterpret_cast<PFN_LaunchRuleCreationGUI>(VtrLibrary::Find(handle, kLaunch));
    if (!launch) {
        VtrLibrary::Free(handle);
        error = QStringLiteral("%1 has no entry %2.").arg(path, QLatin1String(kLaunch));
        return false;
    }
    launch(parent, &name, &category, data);
    VtrLibrary::Free(handle);
    return true;
}
