#include "modules/ExternalEditors.h"

#include "ProductData.h"
#include "Utilities/VTRUIUtils.h"
#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "modules/ModuleContract.h"

#include <exception>

#include <QFile>
#include <QFileInfo>

namespace {
// What an editor threw, for the log: the commands drop it, as they must not
// end the program over an outside editor.
QString Reason(const std::exception_ptr& thrown)
{
    try {
        std::rethrow_exception(thrown);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("an unknown exception");
    }
}

void* FindIn(const PtrArray& handles, const QString& fileName)
{
    for (int i = 0; i < handles.GetSize(); ++i) {
        void* handle = handles.GetAt(i);
        if (handle && QFileInfo(VtrLibrary::FileName(handle)).fileName() == fileName)
            return handle;
    }
    return nullptr;
}
} // namespace

CExternalEditors::CExternalEditors(Services services)
    : m_services(std::move(services))
{ }

void* CExternalEditors::FindLoadedByFileName(const ModuleSet& modules, const QString& baseName)
{
    const QString fileName = baseName + QLatin1String(VtrLibrary::kSuffix);
    for (const PtrArray* handles :
        { &modules.loadedRuleModules, &modules.loadedInstalledModules, &modules.loadedDbModules })
        if (void* handle = FindIn(*handles, fileName))
            return handle;
    return nullptr;
}

MaterialEditorEntries CExternalEditors::LoadMaterialEditors()
{
    // Loaded once and kept: the program relies on the library as on one it
    // was linked with.
    static const MaterialEditorEntries entries = [] {
        MaterialEditorEntries e;
        const QString path = CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/')
            + QLatin1String(kMaterialEditorsLibrary) + QLatin1String(VtrLibrary::kSuffix);
        void* library = VtrLibrary::Load(path);
        if (!library) {
            LogWithText(QStringLiteral("Material editors library not loaded: %s"), VtrLibrary::LastError());
            return e;
        }
        e.launchProcessMap
            = reinterpret_cast<PFN_LaunchMaterialProcMapGUI>(VtrLibrary::Find(library, "LaunchMaterialProcMapGUI"));
        e.launchProperties
            = reinterpret_cast<PFN_LaunchMaterialPropertyGUI>(VtrLibrary::Find(library, "LaunchMaterialPropertyGUI"));
        e.launchThreadData
            = reinterpret_cast<PFN_LaunchThreadDataGUI>(VtrLibrary::Find(library, "LaunchThreadDataGUI"));
        return e;
    }();
    return entries;
}

QString CExternalEditors::CostModuleFolder() const
{
    return m_services.programFolder + QStringLiteral("/../costmodule");
}

void CExternalEditors::PutCostModuleOnPath()
{
    // The cost module's programs are found through PATH. The folder goes in
    // front of what PATH held rather than replacing it: the help viewer and
    // the spreadsheet converter are found through PATH as well.
    const QString folder = CostModuleFolder();
    QStringList entries = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    entries.removeAll(folder);
    entries.prepend(folder);
    qputenv("PATH", QFile::encodeName(entries.join(QLatin1Char(':'))));
}

void CExternalEditors::ReleaseCollector()
{
    vtr_db::IDatabaseCollector* collector = m_services.collector ? m_services.collector() : nullptr;
    if (collector)
        collector->Release();
}

void CExternalEditors::OnHardwareDatabase(void* parent)
{
    try {
        if (m_services.trackCommand)
            m_services.trackCommand(EditorCommand::HardwareDatabase);
        void* module = m_services.assemblyModule ? m_services.assemblyModule() : nullptr;
        auto launch = module ? reinterpret_cast<PFN_LaunchFastenerDatabaseDlg>(
                          VtrLibrary::Find(module, ModuleExports::kLaunchFastenerDatabaseDlg))
                             : nullptr;
        if (launch)
            launch(parent);
        else
            LogLine(QStringLiteral("Hardware Database: the assembly module or its editor is not loaded"));
    } catch (...) {
        LogWithText(QStringLiteral("Hardware Database: the editor failed: %s"), Reason(std::current_exception()));
    }
    ReleaseCollector();
}

void CExternalEditors::OnMapMaterial(void* parent)
{
    try {
        const QStringList processes = vtr_db::ManufacturingProcesses();
        PutCostModuleOnPath();
        const MaterialEditorEntries entries
            = m_services.materialEditors ? m_services.materialEditors() : MaterialEditorEntries();
        if (entries.launchProcessMap)
            entries.launchProcessMap(parent, processes, true);
        else
            LogLine(QStringLiteral("Map Material: the material editors library is not available"));
        if (m_services.trackCommand)
            m_services.trackCommand(EditorCommand::MapMaterial);
    } catch (...) {
        LogWithText(QStringLiteral("Map Material: the editor failed: %s"), Reason(std::current_exception()));
    }
    ReleaseCollector();
}

void CExternalEditors::OnMaterialProperty(void* parent)
{
    try {
        if (m_services.trackCommand)
            m_services.trackCommand(EditorCommand::MaterialProperty);
        const MaterialEditorEntries entries
            = m_services.materialEditors ? m_services.materialEditors() : MaterialEditorEntries();
        if (entries.launchProperties)
            entries.launchProperties(parent);
        else
            LogLine(QStringLiteral("Material property: the material editors library is not available"));
    } catch (...) {
        LogWithText(QStringLiteral("Material property: the editor failed: %s"), Reason(std::current_exception()));
    }
}

void CExternalEditors::OnThreadData(void* parent)
{
    try {
        const MaterialEditorEntries entries
            = m_services.materialEditors ? m_services.materialEditors() : MaterialEditorEntries();
        if (entries.launchThreadData)
            entries.launchThreadData(parent);
        else
            LogLine(QStringLiteral("Thread data: the material editors library is not available"));
    } catch (...) {
        LogWithText(QStringLiteral("Thread data: the editor failed: %s"), Reason(std::current_exception()));
    }
}
