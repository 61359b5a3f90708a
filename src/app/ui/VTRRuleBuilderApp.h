#pragma once

#include "app/AppContext.h"
#include "modules/ModuleRegistration.h"
#include "modules/ExternalEditors.h"

#include <cstdint>
#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class CHelpWindow;
class CMainFrame;
class CRuleParameterEditor;
class CSingleInstance;
class CVTRRuleBuilderDoc;
class QSettings;
class QTranslator;
namespace vtr_db {
class IDatabaseCollector;
}

// Where the application looks for its resources, its running copy and its
// profile. Empty members take the installed defaults; tests point them at
// temporary folders.
struct AppOptions
{
    QString localizedResPath; // default CLocationHelper::GetLocalizedResPath()
    QString defaultResPath; // default CLocationHelper::GetDefaultResPath()
    QString instanceName; // default CSingleInstance::DefaultName()
    QString profileFile; // default: QSettings("VTRPro", key by host)
    bool showWindow = true;
    // Frees the module libraries when the application object is destroyed,
    // for a host that starts the application more than once in one process.
    bool unloadModulesOnDestruction = false;
};

// The application object: start-up in its fixed order, shutdown, and the
// commands that are not tied to a view. InitInstance and ExitInstance can be
// driven without an event loop.
class CVTRRuleBuilderApp : public QObject
{
    Q_OBJECT
public:
    explicit CVTRRuleBuilderApp(const AppOptions& options = AppOptions(), QObject* parent = nullptr);
    ~CVTRRuleBuilderApp() override;

    // The one application object, or null.
    static CVTRRuleBuilderApp* Instance();

    // The start-up sequence; arguments exclude the program name. False ends
    // the process without the event loop (another copy runs, a "vtrrule"
    // argument, the first document could not be made).
    bool InitInstance(const QStringList& arguments);
    // The shutdown sequence; returns the exit code.
    int ExitInstance();

    AppContext& Context() { return m_context; }
    CMainFrame* MainFrame() const { return m_frame; }
    CSingleInstance* SingleInstance() const { return m_instance; }
    // The application name (string 308).
    QString AppName() const { return m_appName; }
    // The translation file that was loaded, or empty.
    QString ResourceLibraryPath() const { return m_resourceLibrary; }
    // The last translation file tried.
    QString LastTriedResourcePath() const { return m_lastTried; }
    QString HelpFilePath() const { return m_context.HelpFilePath(); }
    // The profile (recent files, application look), or null before step 9.
    QSettings* Profile() const { return m_profile.get(); }

    // Commands of the application.
    void OnAppCommand(int id);
    // New, empty document in a window of its own.
    bool OnFileNew();
    // Asks for a rule file and opens it.
    void OnFileOpen();
    // Opens a file in a window (or activates its window when already open).
    bool OpenDocumentFile(const QString& path);
    // Opens the help page of an id through the framework's ShowVTRHelp.
    bool Help(const QString& helpFile, int helpId);
    // Shows a help page in the program's help window (the viewer that
    // ShowVTRHelp uses unless VTRPRO_HELP_OPENER names another program).
    bool ShowHelpPage(const QString& page);
    // The help window, or null before the first page was shown.
    CHelpWindow* HelpWindow() const;
    // Adds a path to the recent-file list (7 entries); an empty path is refused.
    bool AddToRecentFileList(const QString& path);
    QStringList RecentFiles() const;
    // After rule-module registration: reloads modules and refreshes documents.
    void ReloadRuleModules();
    // After database-module registration.
    void ReloadDatabaseModules();

    // The external editor commands as the application runs them.
    CExternalEditors ExternalEditors();
    // Replaces the material editors library by other entries (tests).
    void SetMaterialEditorsForTest(std::function<MaterialEditorEntries()> entries);

    // Length of the recent-file list.
    static constexpr int kRecentFiles = 7;

private:
    void QueryDatabaseCollector();
    // Says once why the database cannot be read, or that it is read-only.
    void SayDatabaseProblem(vtr_db::IDatabaseCollector* collector);
    // After Application Directories moved the database folder: reopens the
    // database and refills the lists from it.
    void OnDatabaseFolderChanged();
    void LoadLocalizedResources();
    void LoadConfigurator();
    bool CheckSingleInstance(const QString& file);
    void OpenProfile();
    void LoadModules();
    bool CreateMainFrame();
    void OnPathFromOtherCopy(const QString& path);
    void ShowAbout();
    void ShowSearch();
    // Register Rules / Register Database: the dialog, then the reload on OK.
    void RegisterModules(ModuleKind kind);
    // Create or edit a custom or product rule in the rule-creation program.
    void OnUserRuleCommand(int id);
    CVTRRuleBuilderDoc* FindOpenDocument(const QString& path) const;
    void SaveRecentFiles(const QStringList& files);

    AppOptions m_options;
    AppContext m_context;
    CMainFrame* m_frame = nullptr;
    // The parameter editor every module's EditRule opens.
    std::unique_ptr<CRuleParameterEditor> m_ruleEditor;
    // Owned by the main frame, so it goes with it.
    QPointer<CHelpWindow> m_helpWindow;
    std::function<MaterialEditorEntries()> m_materialEditors;
    CSingleInstance* m_instance = nullptr;
    QTranslator* m_translator = nullptr;
    std::unique_ptr<QSettings> m_profile;
    QString m_appName;
    QString m_resourceLibrary;
    QString m_lastTried;
    int m_exitCode = 0;
    bool m_started = false;
    bool m_exited = false;
};
