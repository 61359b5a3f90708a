#include "app/ui/VTRRuleBuilderApp.h"

#include "app/CommandTable.h"
#include "app/ModuleReload.h"
#include "app/SingleInstance.h"
#include "app/ui/AboutDlg.h"
#include "app/ui/AppResources.h"
#include "document/RuleDocViewLink.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "FrameworkExports.h"
#include "modules/ui/VTRRuleRegDlg.h"
#include "LocationHelper.h"
#include "modules/ExternalEditors.h"
#include "PLQSettingUtil.h"
#include "RuleEditor.h"
#include "Utilities/FileDialogService.h"
#include "Utilities/HelpTopics.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "Utilities/ui/HelpWindow.h"
#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "VtrProLog.h"
#include "VtrSettingsFile.h"
#include "views/ui/ChildFrame.h"
#include "settings/ApplicationDirectories.h"
#include "settings/ui/SearchDlg.h"
#include "settings/ui/VTRRMScriptLocnDlg.h"
#include "settings/ui/VTRUnitSettingDlg.h"
#include "views/ui/MainFrame.h"
#include "views/ui/RuleParameterEditor.h"
#include "views/ui/VTRRuleBuilderView.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/RuleListController.h"
#include "userrules/RuleCreationBridge.h"
#include "userrules/UserRuleCommands.h"
#include "userrules/UserRuleStore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QSettings>
#include <QTranslator>

// What the desktop program on its original platform also did at start-up
// (OLE and common-control initialisation, automation server and shell
// registration, the type library) has no counterpart here and is left out;
// installing places a .desktop file and a MIME type for *.vtr instead.

namespace {
CVTRRuleBuilderApp* g_app = nullptr;

constexpr char kResourceFile[] = "VTRRuleBuilderResu.qm";
constexpr char kRecentGroup[] = "Recent File List";

// The document template's string: window title, document name, new-file
// name, filter name, filter extension, file type id, file type name.
constexpr char kDocTemplate[] = "VTRPro\nVTRPro \n\nVTRPro(*.vtr)\n.vtr\n\nVTRPro.Document\nVTRPro  Document";

QString TemplateField(int index)
{
    return QString::fromLatin1(kDocTemplate).split(QLatin1Char('\n')).value(index);
}

QString OpenFilter()
{
    return TemplateField(3) + QLatin1Char('|') + QLatin1Char('*') + TemplateField(4)
        + QStringLiteral("|All Files (*.*)|*||");
}

using ShowVTRHelpFn = void (*)(const QString*, int32_t, int32_t*);
} // namespace

CVTRRuleBuilderApp::CVTRRuleBuilderApp(const AppOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    InitAppResources();
    g_app = this;
}

CVTRRuleBuilderApp::~CVTRRuleBuilderApp()
{
    if (!m_exited)
        ExitInstance();
    delete m_frame;
    m_frame = nullptr;
    if (VtrGetRuleEditor() == m_ruleEditor.get())
        VtrSetRuleEditor(nullptr);
    m_ruleEditor.reset();
    SetVTRHelpViewer({});
    if (m_profile)
        FileDialogDefaults::SetStore(nullptr);
    // Only now: the documents and views that held module rules are gone.
    if (m_options.unloadModulesOnDestruction)
        UnloadAllModules(m_context.Modules());
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
    }
    if (g_app == this)
        g_app = nullptr;
}

CVTRRuleBuilderApp* CVTRRuleBuilderApp::Instance()
{
    return g_app;
}

bool CVTRRuleBuilderApp::InitInstance(const QStringList& arguments)
{
    m_exited = false;
    m_started = false;
    m_exitCode = 0;
    QueryDatabaseCollector();
    LoadLocalizedResources();
    LoadConfigurator();

    m_appName = QCoreApplication::translate("VTRRuleBuilder", qPrintable(VtrString(308)));
    LogWithText(QStringLiteral("Start-up 4: application name %s"), m_appName);

    m_context.SetConfigureRuleEnabled(false);
    m_context.SetUnitsEnabled(false);
    LogLine(QStringLiteral("Start-up 5: command flags cleared"));

    // The command line: the first argument that is not an option names the file.
    QString file;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QLatin1Char('-'))) {
            file = argument;
            break;
        }
    }
    if (!CheckSingleInstance(file))
        return false;

    OpenProfile();
    LoadModules();
    LogWithText(QStringLiteral("Start-up 13: document template %s registered"), TemplateField(6));

    if (!CreateMainFrame()) {
        m_exitCode = 1;
        return false;
    }

    LogWithText(QStringLiteral("Start-up 16: command line file \"%s\""), file);
    if (IsVtrRuleArgument(file)) {
        LogWithText(QStringLiteral("Start-up 17: %s is a vtrrule file, ending"), file);
        return false;
    }

    CPLQSettingUtil::InitializePLQSettingsFromFile();
    LogLine(QStringLiteral("Start-up 18: framework settings initialised"));

    if (!file.isEmpty() && !QFileInfo::exists(file)) {
        LogWithText(QStringLiteral("Start-up 19: command-line file %s does not exist"), file);
        ShowMessage(VtrString(StrId::FileCouldNotOpen).replace(QLatin1String("%s"), file), VtrString(StrId::AppCaption),
            MsgIcon::Error);
        file.clear();
    }

    const bool opened = file.isEmpty() ? OnFileNew() : OpenDocumentFile(QFileInfo(file).absoluteFilePath());
    LogWithText(QStringLiteral("Start-up 20: %s"), file.isEmpty() ? QStringLiteral("new document") : file);
    if (!opened) {
        m_exitCode = 1;
        return false;
    }

    m_context.SetUnitsEnabled(true);
    m_context.ShowStatusText(QStringLiteral("Ready."));
    if (m_options.showWindow)
        m_frame->ShowPlaced();
    m_context.StartUsageHook();
    LogWithText(QStringLiteral("Start-up 21: ready, usage hook %s"),
        m_context.UsageHookLoaded() ? QStringLiteral("loaded") : QStringLiteral("not loaded"));
    m_started = true;
    // The start-up lines reach the log file even if the process is killed later.
    CVtrProLog::Flush();
    // Said once the named file is open and locked, so that a question about
    // the database never holds up opening it.
    if (vtr_db::IDatabaseCollector* collector = *vtr_db::VTRDataHelper::getInstance())
        SayDatabaseProblem(collector);
    return true;
}

void CVTRRuleBuilderApp::QueryDatabaseCollector()
{
    vtr_db::IDatabaseCollector* collector = *vtr_db::VTRDataHelper::getInstance();
    if (!collector) {
        m_context.SetMaterialDataFlag(0);
        LogLine(QStringLiteral("Start-up 1: no database collector"));
        return;
    }
    collector->Initialize();
    m_context.SetMaterialDataFlag(collector->GetMaterialDataFlag());
    collector->GetSchemaVersion(); // kept by the database; nothing here depends on it
    LogWithNumber(QStringLiteral("Start-up 1: database collector material-data flag %d"), m_context.MaterialDataFlag());
}

void CVTRRuleBuilderApp::OnDatabaseFolderChanged()
{
    vtr_db::IDatabaseCollector* collector = *vtr_db::VTRDataHelper::getInstance();
    if (!collector)
        return;
    // From now on everything is read from and stored in the new database.
    collector->Release();
    collector->Initialize();
    m_context.SetMaterialDataFlag(collector->GetMaterialDataFlag());
    LogWithText(QStringLiteral("Database folder changed to %s"),
        AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable));
    SayDatabaseProblem(collector);
    // The lists show the messages of the new database, not the old one's.
    if (m_frame)
        for (CChildFrame* child : m_frame->Children())
            child->Document()->UpdateAllViews(UpdateHint::ModulesChanged);
}

void CVTRRuleBuilderApp::SayDatabaseProblem(vtr_db::IDatabaseCollector* collector)
{
    // Said once here rather than for every rule or change: the lists would
    // otherwise show an unreadable database as one without custom messages.
    if (const QString problem = collector->ReadProblem(); !problem.isEmpty())
        ShowMessage(problem, VtrString(StrId::AppCaption), MsgIcon::Warning, MsgButtons::Ok);
    else if (const QString readOnly = collector->WriteProblem(); !readOnly.isEmpty())
        ShowMessage(readOnly, VtrString(StrId::AppCaption), MsgIcon::Information, MsgButtons::Ok);
}

void CVTRRuleBuilderApp::LoadLocalizedResources()
{
    const QString localized
        = m_options.localizedResPath.isEmpty() ? CLocationHelper::GetLocalizedResPath() : m_options.localizedResPath;
    const QString fallback
        = m_options.defaultResPath.isEmpty() ? CLocationHelper::GetDefaultResPath() : m_options.defaultResPath;

    auto* translator = new QTranslator(this);
    const QString name = QLatin1String(kResourceFile);
    QString folder = localized;
    m_lastTried = localized + QLatin1Char('/') + name;
    bool loaded = translator->load(name, localized);
    if (!loaded) {
        folder = fallback;
        m_lastTried = fallback + QLatin1Char('/') + name;
        loaded = translator->load(name, fallback);
    }
    m_context.SetResourceFolder(folder);
    if (loaded) {
        QCoreApplication::installTranslator(translator);
        m_translator = translator;
        m_resourceLibrary = m_lastTried;
        LogWithText(QStringLiteral("Start-up 2: resources loaded from %s"), m_lastTried);
    } else {
        // The program's own strings stay in force; nothing to report.
        delete translator;
        LogWithText(
            QStringLiteral("Start-up 2: no resource file, program strings in force, resource folder %s"), folder);
    }
}

void CVTRRuleBuilderApp::LoadConfigurator()
{
    ModuleSet& modules = m_context.Modules();
    if (!modules.configuratorLibrary) {
        const QString path = KnownModules::PathInProgramFolder(KnownModules::Configurator());
        // Optional: a missing configurator is not reported.
        if (QFileInfo::exists(path))
            modules.configuratorLibrary = VtrLibrary::Load(path);
    }
    LogWithText(QStringLiteral("Start-up 3: configurator library %s"),
        modules.configuratorLibrary ? QStringLiteral("loaded") : QStringLiteral("not available"));
}

bool CVTRRuleBuilderApp::CheckSingleInstance(const QString& file)
{
    delete m_instance;
    m_instance = new CSingleInstance(m_options.instanceName, this);
    const QString absolute = file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath();
    switch (m_instance->Start(absolute)) {
    case CSingleInstance::Role::Secondary:
        LogWithText(QStringLiteral("Start-up 6: another copy is running, handed over \"%s\""), absolute);
        return false;
    case CSingleInstance::Role::Primary:
        connect(m_instance, &CSingleInstance::PathReceived, this, &CVTRRuleBuilderApp::OnPathFromOtherCopy);
        LogWithText(QStringLiteral("Start-up 6: first copy, listening as %s"), m_instance->Name());
        return true;
    case CSingleInstance::Role::Failed:
        // Better one more copy than no program at all.
        LogWithText(QStringLiteral("Start-up 6: running without single-instance socket %s"), m_instance->Name());
        return true;
    }
    return true;
}

void CVTRRuleBuilderApp::OpenProfile()
{
    const QString key = ProfileApplicationName(CVTRFrameWrkUtils::GetCADType());
    // A FIFO or device in the profile's place would hang start-up; the
    // profile is then kept in memory for this session and the file left alone.
    if (m_options.profileFile.isEmpty())
        m_profile = VtrOpenUserProfile(ProfileOrganization(), key);
    else
        m_profile = VtrOpenSettingsFile(m_options.profileFile);
    // File dialogs start in the last folder used, in this run and the next.
    FileDialogDefaults::SetStore(m_profile.get());
    LogWithText(QStringLiteral("Start-up 9: profile key %s"), ProfileOrganization() + QLatin1Char('/') + key);
}

void CVTRRuleBuilderApp::LoadModules()
{
    LoadAllModules(m_context.Modules());
    LogWithNumber(
        QStringLiteral("Start-up 11: %d rule modules loaded"), m_context.Modules().loadedRuleModules.GetSize());
}

bool CVTRRuleBuilderApp::CreateMainFrame()
{
    delete m_frame;
    m_frame = new CMainFrame(m_context, m_profile.get(), m_appName);
    if (!m_frame->Create()) {
        delete m_frame;
        m_frame = nullptr;
        LogLine(QStringLiteral("Start-up 14: main frame could not be created"));
        return false;
    }
    connect(m_frame, &CMainFrame::ApplicationCommand, this, &CVTRRuleBuilderApp::OnAppCommand);
    connect(m_frame, &CMainFrame::DocumentSaved, this, &CVTRRuleBuilderApp::AddToRecentFileList);
    connect(m_frame, &CMainFrame::OpenRequested, this, &CVTRRuleBuilderApp::OpenDocumentFile);
    connect(m_frame, &CMainFrame::HelpRequested, this, [this](int helpId) { Help(m_context.HelpFilePath(), helpId); });
    SetVTRHelpViewer([this](const QString& page) { return ShowHelpPage(page); });
    // The modeless search window must not keep the program alive on its own.
    connect(
        m_frame, &CMainFrame::FrameClosed, this, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    m_frame->SetRecentFiles(RecentFiles());
    m_ruleEditor
        = std::make_unique<CRuleParameterEditor>(m_context.Modules(), [this]() -> QWidget* { return m_frame; });
    VtrSetRuleEditor(m_ruleEditor.get());
    LogLine(QStringLiteral("Start-up 14: main frame created"));
    return true;
}

int CVTRRuleBuilderApp::ExitInstance()
{
    if (m_exited)
        return 0;
    m_exited = true;
    // The search window outlives documents but not the application.
    DestroySearchDialog();
    if (m_context.UsageHookLoaded()) {
        m_context.StopUsageHook();
        LogLine(QStringLiteral("Shutdown 1: usage hook released"));
    }
    // Only the file this copy wrote: the all-rules file's place is shared by
    // every copy of the user, and a copy that handed its file over to the
    // running one (or never showed a list) must not take that one's away.
    const QString allRules = m_context.LastAllRulesFile();
    if (!allRules.isEmpty() && QFile::exists(allRules)) {
        QFile::remove(allRules);
        LogWithText(QStringLiteral("Shutdown 2: all-rules file %s deleted"), allRules);
    }
    if (vtr_db::IDatabaseCollector* collector = *vtr_db::VTRDataHelper::getInstance()) {
        collector->Release();
        LogLine(QStringLiteral("Shutdown 3: database collector released"));
    }
    CVtrProLog::Flush();
    return m_started ? 0 : m_exitCode;
}

void CVTRRuleBuilderApp::OnAppCommand(int id)
{
    switch (id) {
    case CmdId::ID_FILE_NEW:
        OnFileNew();
        break;
    case CmdId::ID_FILE_OPEN:
        OnFileOpen();
        break;
    case CmdId::ID_EDIT_HELP:
        Help(m_context.HelpFilePath(), HelpTopic::Commands);
        break;
    case CmdId::ID_EDIT_ABOUT:
        ShowAbout();
        break;
    case CmdId::ID_SERACH:
        ShowSearch();
        break;
    case CmdId::ID_REGISTER_RULE:
        RegisterModules(ModuleKind::Rules);
        break;
    case CmdId::ID_REGISTER_DB:
        RegisterModules(ModuleKind::Databases);
        break;
    case CmdId::ID_RULE_INPUT_UNITS:
        // Without an active document the command does nothing, silently.
        if (m_frame)
            RuleInputUnits(MakeUnitSettingDialog(m_frame)).Run(m_frame->ActiveDocument());
        break;
    case CmdId::ID_CREATE_CUSTOM_RULE:
    case CmdId::ID_EDIT_CUSTOM_RULE:
    case CmdId::ID_CREATE_PRODUCT_RULE:
    case CmdId::ID_EDIT_PRODUCT_RULE:
        OnUserRuleCommand(id);
        break;
    case CmdId::ID_APPLICATION_DIRECTORIES: {
        const QString database = AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable);
        ApplicationDirectories(MakeScriptLocationDialog(m_frame)).Run(m_frame && !m_frame->Children().isEmpty());
        if (AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable) != database)
            OnDatabaseFolderChanged();
        break;
    }
    case CmdId::ID_HARDWARE_DB:
        ExternalEditors().OnHardwareDatabase(static_cast<QWidget*>(m_frame));
        break;
    case CmdId::ID_MAP_MATERIAL:
        ExternalEditors().OnMapMaterial(static_cast<QWidget*>(m_frame));
        break;
    case CmdId::ID_MATERIAL_PROPERTY:
        ExternalEditors().OnMaterialProperty(static_cast<QWidget*>(m_frame));
        break;
    case CmdId::ID_THREAD_DATA:
        ExternalEditors().OnThreadData(static_cast<QWidget*>(m_frame));
        break;
    default:
        // Not a command of the application.
        ShowNotAvailableYet(id);
        break;
    }
}

void CVTRRuleBuilderApp::OnUserRuleCommand(int id)
{
    if (!m_frame)
        return;
    UserRuleCommands::Scene scene;
    if (CVTRRuleBuilderDoc* doc = m_frame->ActiveDocument())
        scene.documentUnits = doc->CurrentUnits();
    CChildFrame* child = m_frame->ActiveChild();
    if (CVTRRuleBuilderView* view = child ? child->View() : nullptr) {
        scene.hasView = true;
        scene.listedRules = view->ListedRules();
        for (int row : view->ListCtrl()->SelectedRows())
            scene.selectedRules.append(view->Controller()->Model()->RuleAt(row));
    }
    const bool edit = id == CmdId::ID_EDIT_CUSTOM_RULE || id == CmdId::ID_EDIT_PRODUCT_RULE;
    const bool product = id == CmdId::ID_CREATE_PRODUCT_RULE || id == CmdId::ID_EDIT_PRODUCT_RULE;
    UserRuleCommands::Run(
        edit ? UserRuleCommands::Mode::Edit : UserRuleCommands::Mode::Create, product, scene,
        [this](const QString& name, const QString& category, CPLQRuleCreationData& data) {
            QString error;
            // A missing program is said rather than passed over in silence.
            if (!RuleCreationBridge::Launch(m_frame, name, category, &data, error))
                ShowMessage(error, VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
        },
        [this, view = child ? child->View() : nullptr](CVtrRule& edited, const QString& name, const QString& category) {
            // The row shows, and a save writes, what was stored, not the copy
            // the list read before the edit.
            if (view && view->Controller())
                view->Controller()->TakeStoredRule(
                    &edited, UserRuleStore(m_context.Modules().configuratorLibrary), name, category);
        });
}

CExternalEditors CVTRRuleBuilderApp::ExternalEditors()
{
    CExternalEditors::Services services;
    services.trackCommand = [this](EditorCommand command) {
        int id = CmdId::ID_THREAD_DATA;
        switch (command) {
        case EditorCommand::HardwareDatabase:
            id = CmdId::ID_HARDWARE_DB;
            break;
        case EditorCommand::MapMaterial:
            id = CmdId::ID_MAP_MATERIAL;
            break;
        case EditorCommand::MaterialProperty:
            id = CmdId::ID_MATERIAL_PROPERTY;
            break;
        case EditorCommand::ThreadData:
            break;
        }
        const CommandInfo* info = CommandTable::Find(id);
        if (info && info->timing != UsageTiming::None)
            m_context.TrackCommand(info->usageValue);
    };
    services.collector = [] { return vtr_db::VTRDataHelper::getInstance()->GetCollector(); };
    services.assemblyModule = [this] {
        return CExternalEditors::FindLoadedByFileName(
            m_context.Modules(), QLatin1String(CExternalEditors::kAssemblyModule));
    };
    if (m_materialEditors)
        services.materialEditors = m_materialEditors;
    else
        services.materialEditors = &CExternalEditors::LoadMaterialEditors;
    services.programFolder = CVTRFrameWrkUtils::GetProgramFolder();
    return CExternalEditors(std::move(services));
}

void CVTRRuleBuilderApp::SetMaterialEditorsForTest(std::function<MaterialEditorEntries()> entries)
{
    m_materialEditors = std::move(entries);
}

bool CVTRRuleBuilderApp::OnFileNew()
{
    if (!m_frame)
        return false;
    auto* doc = new CVTRRuleBuilderDoc;
    if (!doc->OnNewDocument()) {
        delete doc;
        return false;
    }
    m_frame->AddDocument(doc);
    m_context.SetUnitsEnabled(true);
    return true;
}

void CVTRRuleBuilderApp::OnFileOpen()
{
    QString path;
    const unsigned flags = FileDialogFlags::kHideReadOnly | FileDialogFlags::kFileMustExist;
    if (GetFileDialogService()->AskPath(
            true, QString(), QStringLiteral("Open"), TemplateField(4), QString(), flags, OpenFilter(), path)
        != 1)
        return;
    if (OpenDocumentFile(path)) {
        if (CVTRRuleBuilderDoc* doc = m_frame->ActiveDocument())
            doc->UpdateAllViews(8);
    }
}

CVTRRuleBuilderDoc* CVTRRuleBuilderApp::FindOpenDocument(const QString& path) const
{
    if (!m_frame)
        return nullptr;
    const QString wanted = QFileInfo(path).absoluteFilePath();
    for (CChildFrame* child : m_frame->Children()) {
        // An untitled document's path names no file on disk.
        const QString own = child->Document()->GetPathName();
        if (!own.isEmpty() && QFileInfo::exists(own) && QFileInfo(own).absoluteFilePath() == wanted)
            return child->Document();
    }
    return nullptr;
}

bool CVTRRuleBuilderApp::OpenDocumentFile(const QString& path)
{
    if (!m_frame || path.isEmpty())
        return false;
    if (CVTRRuleBuilderDoc* open = FindOpenDocument(path)) {
        for (CChildFrame* child : m_frame->Children())
            if (child->Document() == open)
                m_frame->MdiArea()->setActiveSubWindow(child);
        return true;
    }
    auto* doc = new CVTRRuleBuilderDoc;
    if (!doc->OnOpenDocument(path)) {
        delete doc;
        return false;
    }
    m_frame->AddDocument(doc);
    if (!doc->IsReadOnly())
        m_context.SetUnitsEnabled(true);
    AddToRecentFileList(doc->GetPathName().isEmpty() ? path : doc->GetPathName());
    return true;
}

bool CVTRRuleBuilderApp::Help(const QString& helpFile, int helpId)
{
    const QString library = CVTRFrameWrkUtils::GetProgramFolder() + QStringLiteral("/VtrProFrameWorku")
        + QLatin1String(VtrLibrary::kSuffix);
    void* handle = VtrLibrary::Load(library);
    if (!handle)
        return false;
    auto show = reinterpret_cast<ShowVTRHelpFn>(VtrLibrary::Find(handle, "ShowVTRHelp"));
    if (!show) {
        VtrLibrary::Free(handle);
        return false;
    }
    int32_t result = 0;
    show(&helpFile, helpId, &result);
    VtrLibrary::Free(handle);
    LogWithNumber(QStringLiteral("Help page %d requested"), helpId);
    return true;
}

bool CVTRRuleBuilderApp::ShowHelpPage(const QString& page)
{
    // A modal dialog blocks every other window: its help opens in a window
    // of its own above it, closed with it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        auto* window = new CHelpWindow(modal);
        window->setAttribute(Qt::WA_DeleteOnClose);
        return window->ShowPage(page);
    }
    if (!m_helpWindow)
        m_helpWindow = new CHelpWindow(m_frame);
    return m_helpWindow->ShowPage(page);
}

CHelpWindow* CVTRRuleBuilderApp::HelpWindow() const
{
    return m_helpWindow;
}

QStringList CVTRRuleBuilderApp::RecentFiles() const
{
    QStringList files;
    if (!m_profile)
        return files;
    m_profile->beginGroup(QLatin1String(kRecentGroup));
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = m_profile->value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty())
            files << f;
    }
    m_profile->endGroup();
    return files;
}

void CVTRRuleBuilderApp::SaveRecentFiles(const QStringList& files)
{
    m_profile->beginGroup(QLatin1String(kRecentGroup));
    for (int i = 1; i <= kRecentFiles; ++i) {
        if (i <= files.size())
            m_profile->setValue(QStringLiteral("File%1").arg(i), files[i - 1]);
        else
            m_profile->remove(QStringLiteral("File%1").arg(i));
    }
    m_profile->endGroup();
    m_profile->sync();
}

bool CVTRRuleBuilderApp::AddToRecentFileList(const QString& path)
{
    if (path.isEmpty() || !m_profile)
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kRecentFiles)
        files.removeLast();
    SaveRecentFiles(files);
    if (m_frame)
        m_frame->SetRecentFiles(files);
    return true;
}

void CVTRRuleBuilderApp::ReloadRuleModules()
{
    QList<CVTRRuleBuilderDoc*> documents;
    if (m_frame)
        for (CChildFrame* child : m_frame->Children())
            documents.append(child->Document());
    ReloadRuleModulesInDocuments(m_context.Modules(), documents);
}

void CVTRRuleBuilderApp::RegisterModules(ModuleKind kind)
{
    std::unique_ptr<CVTRRuleRegDlg> dialog;
    if (kind == ModuleKind::Rules)
        dialog = std::make_unique<CVTRRuleConfigModuleRegDlg>(m_context.Modules(), m_frame);
    else
        dialog = std::make_unique<CVTRRuleDBModuleRegDlg>(m_context.Modules(), m_frame);
    dialog->SetHelp([this](int helpId) { Help(m_context.HelpFilePath(), helpId); });
    if (kind == ModuleKind::Rules) {
        // Unloading a module takes its ticked rules out of the open files:
        // the user hears which files lose how many, and may go back.
        dialog->SetConfirmOk([this](const ModuleRegistration& registration) {
            QList<CVTRRuleBuilderDoc*> documents;
            if (m_frame)
                for (CChildFrame* child : m_frame->Children())
                    documents.append(child->Document());
            const QSet<QString> leaving
                = LibrariesLeftOut(m_context.Modules().loadedRuleModules, registration.Working());
            return ConfirmTickedRulesLost(CountTickedRulesLost(leaving, documents));
        });
    }
    // OK has saved the list (a failed save keeps the dialog open).
    if (dialog->exec() == QDialog::Accepted) {
        if (kind == ModuleKind::Rules)
            ReloadRuleModules();
        else
            ReloadDatabaseModules();
    }
    // Only now: the libraries the dialog loaded are freed with it, after the
    // reload took its own references.
    dialog.reset();
    if (kind == ModuleKind::Rules && m_frame)
        if (CChildFrame* child = m_frame->ActiveChild())
            child->View()->update();
}

void CVTRRuleBuilderApp::ReloadDatabaseModules()
{
    ::ReloadDatabaseModules(m_context.Modules());
}

void CVTRRuleBuilderApp::OnPathFromOtherCopy(const QString& path)
{
    LogWithText(QStringLiteral("Another copy handed over \"%s\""), path);
    if (!m_frame)
        return;
    m_frame->BringToFront();
    // A "vtrrule" file never opens, whichever copy it was given to.
    if (!path.isEmpty() && !IsVtrRuleArgument(path))
        OpenDocumentFile(path);
}

void CVTRRuleBuilderApp::ShowAbout()
{
    CAboutDlg about(m_frame);
    about.exec();
}

void CVTRRuleBuilderApp::ShowSearch()
{
    ShowSearchDialog(
        [this]() -> CVTRRuleBuilderView* {
            CChildFrame* child = m_frame ? m_frame->ActiveChild() : nullptr;
            return child ? child->View() : nullptr;
        },
        m_frame);
}
