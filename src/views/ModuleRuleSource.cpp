#include "views/ModuleRuleSource.h"

#include "FrameworkExports.h"
#include "PtrArray.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <QFileInfo>
#include <QHash>

namespace {

QStringList PathsOf(const PtrArray& handles)
{
    QStringList out;
    for (int32_t i = 0; i < handles.GetSize(); ++i)
        if (void* h = handles.GetAt(i))
            out.append(VtrLibrary::FileName(h));
    return out;
}

QString Lib(const char* base)
{
    return QString::fromLatin1(base) + QLatin1String(VtrLibrary::kSuffix);
}

} // namespace

QString ConfiguratorKeyOfModule(const QString& libraryFileName)
{
    static const QHash<QString, QString> map = [] {
        const std::pair<const char*, const char*> pairs[] = {
            { "VtrMillRulesu", "Mill" },
            { "VTRFormRulesu", "SheetMetalForm" },
            { "VtrRPRulesu", "Additive" },
            { "VtrSMRulesu", "SheetMetal" },
            { "VTRIMRulesu", "InjectionMolding" },
            { "VTRGenericRulesu", "General" },
            { "VTRAssemblyRulesu", "Assembly" },
            { "VTRTubingRulesu", "Tubing" },
            { "VTRCablingRulesu", "Cabling" },
            { "VTRVacInfusionRulesu", "VacuumInfusion" },
            { "VTRDieCastRulesu", "DieCasting" },
            { "VTRTurnRulesu", "Turn" },
        };
        QHash<QString, QString> m;
        for (const auto& [file, key] : pairs)
            m.insert(Lib(file).toLower(), QString::fromLatin1(key));
        return m;
    }();
    return map.value(libraryFileName.toLower());
}

QString ModuleFileOfCategory(const QString& category)
{
    static const QHash<QString, QString> map = [] {
        const std::pair<const char*, const char*> pairs[] = {
            { "Milling", "VtrMillRulesu" },
            { "Drilling", "VtrMillRulesu" },
            { "Sheet Metal Forming", "VTRFormRulesu" },
            { "Additive Manufacturing", "VtrRPRulesu" },
            { "Sheet Metal", "VtrSMRulesu" },
            { "Injection Molding", "VTRIMRulesu" },
            { "General", "VTRGenericRulesu" },
            { "Assembly", "VTRAssemblyRulesu" },
            { "Tubing", "VTRTubingRulesu" },
            { "Cabling", "VTRCablingRulesu" },
            { "Vacuum Infusion", "VTRVacInfusionRulesu" },
            { "Die Casting", "VTRDieCastRulesu" },
            { "Turning", "VTRTurnRulesu" },
        };
        QHash<QString, QString> m;
        for (const auto& [cat, file] : pairs)
            m.insert(QString::fromLatin1(cat), Lib(file));
        return m;
    }();
    return map.value(category);
}

bool AppModuleRuleSource::DatabaseLoaded() const
{
    AppContext* app = AppContext::Instance();
    return app && app->Modules().loadedDbModules.GetSize() > 0;
}

QStringList AppModuleRuleSource::RuleModulePaths() const
{
    AppContext* app = AppContext::Instance();
    return app ? PathsOf(app->Modules().loadedRuleModules) : QStringList();
}

QStringList AppModuleRuleSource::InstalledModulePaths() const
{
    AppContext* app = AppContext::Instance();
    return app ? PathsOf(app->Modules().loadedInstalledModules) : QStringList();
}

QStringList AppModuleRuleSource::ConfiguredModules() const
{
    AppContext* app = AppContext::Instance();
    return app ? app->Modules().configuredRuleModules : QStringList();
}

QStringList AppModuleRuleSource::LoadedLibraryPaths() const
{
    AppContext* app = AppContext::Instance();
    if (!app)
        return {};
    ModuleSet& m = app->Modules();
    // Not the installed modules: every known library is loaded that way, so a
    // module taken off the configured list would otherwise stay available.
    QStringList out = PathsOf(m.loadedRuleModules) + PathsOf(m.loadedDbModules);
    if (m.configuratorLibrary)
        out.append(VtrLibrary::FileName(m.configuratorLibrary));
    return out;
}

void* AppModuleRuleSource::HandleOf(const QString& libraryPath) const
{
    AppContext* app = AppContext::Instance();
    return app ? LoadedLibraryAt(app->Modules(), libraryPath) : nullptr;
}

bool AppModuleRuleSource::LoadRules(const QString& libraryPath, QList<CVtrRule*>& rules, QString& moduleName)
{
    void* handle = HandleOf(libraryPath);
    if (!handle)
        return false;
    if (!FetchAllRules(handle, rules))
        return false;
    moduleName = ModuleDisplayName(handle);
    return true;
}

QString AppModuleRuleSource::ConfiguratorPath() const
{
    AppContext* app = AppContext::Instance();
    if (!app || !app->Modules().configuratorLibrary)
        return {};
    return VtrLibrary::FileName(app->Modules().configuratorLibrary);
}

QList<CVtrRule*> AppModuleRuleSource::ProductRules(const QString& key)
{
    QList<CVtrRule*> out;
    AppContext* app = AppContext::Instance();
    if (!app || !app->Modules().configuratorLibrary || key.isEmpty())
        return out;
    auto getModuleRules = reinterpret_cast<PFN_GetModuleRules>(
        VtrLibrary::Find(app->Modules().configuratorLibrary, ModuleExports::kGetModuleRules));
    if (!getModuleRules)
        return out;
    PtrArray list;
    getModuleRules(&key, &list);
    for (int32_t i = 0; i < list.GetSize(); ++i)
        if (auto* rule = static_cast<CVtrRule*>(list.GetAt(i)))
            out.append(rule);
    return out;
}

bool AppModuleRuleSource::VstaRulesSupported() const
{
    bool supported = false;
    AreVSTARulesSupported(&supported);
    return supported;
}

QString AppModuleRuleSource::CustomMessage(const CVtrRule* rule) const
{
    vtr_db::IDatabaseCollector* collector = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    QString message;
    if (collector && rule)
        collector->GetCustomMessage(rule->GetHelpId(), rule->GetRuleName(), rule->GetRuleCategory(), message);
    return message;
}

void AppModuleRuleSource::OnRulesListed()
{
    if (vtr_db::IDatabaseCollector* collector = vtr_db::VTRDataHelper::getInstance()->GetCollector())
        collector->OnRulesListed();
}
