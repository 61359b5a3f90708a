#pragma once

#include <QHash>
#include <QMainWindow>
#include <QSize>
#include <QStringList>

class AppContext;
class CChildFrame;
class CRibbonBar;
class CStatusBarProgress;
class CVTRRuleBuilderDoc;
class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QSettings;

// The main window: ribbon, document windows (opened maximized, no tabs) and
// the status bar. Commands from the ribbon are routed here: the active view
// first, then the document, then this frame, then the application.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    // context: the application flags; profile: where the look is stored;
    // appName: the text after the document name in the title.
    CMainFrame(AppContext& context, QSettings* profile, const QString& appName, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the ribbon, hover texts and status bar and applies the stored
    // look. False when the window could not be built.
    bool Create();

    // The action of a command id (aliases included), or null.
    QAction* Action(int id) const { return m_actions.value(id); }
    CRibbonBar* Ribbon() const { return m_ribbon; }
    QMdiArea* MdiArea() const { return m_mdi; }
    QMenu* RecentMenu() const { return m_recentMenu; }
    // File menu "Compare with…" (the active document with another rule file).
    QAction* CompareAction() const { return m_compareAction; }
    // The status bar's indicator of long work.
    CStatusBarProgress* Progress() const { return m_progress; }

    // Opens a window for a document (taking ownership) and activates it.
    CChildFrame* AddDocument(CVTRRuleBuilderDoc* doc);
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;
    // Closes every document without asking, changes unsaved (the program
    // was told to end by the system, with nobody to answer).
    void CloseAllWithoutAsking();
    // The active document, or null.
    CVTRRuleBuilderDoc* ActiveDocument() const;

    // Routes a command by id; disabled commands do nothing.
    void OnCommand(int id);
    // Recomputes every command's enabled state.
    void UpdateCommandUI();

    // The application looks.
    void OnApplicationLook(int id);
    int CurrentLook() const { return m_look; }

    // The status bar's information text.
    void ShowStatusText(const QString& text);
    QString InformationText() const;
    // The text of the status bar's pane.
    QString PaneText() const;

    // Fills the recent-documents menu.
    void SetRecentFiles(const QStringList& paths);
    // Raises the window, restoring it when minimised.
    void BringToFront();
    // Shows the window where Create placed it: fitted to the screen, where
    // the user last left it, maximized when it was left maximized.
    void ShowPlaced();
    // Stores the window's place in the profile (done when it closes).
    void SavePlace();
    // The size the window opens at the first time, fitted to the screen.
    static constexpr QSize kPreferredSize { 1200, 800 };

    // Shows the windows dialog (modal).
    void ShowWindowsDialog();

signals:
    // A command the application handles.
    void ApplicationCommand(int id);
    // A document was saved under path (for the recent-file list).
    void DocumentSaved(const QString& path);
    // A recent document or a dropped file should open.
    void OpenRequested(const QString& path);
    // The frame closed: the program ends, whatever other windows are open.
    void FrameClosed();
    // A document window asks for the help page of an id (F1 on a rule).
    void HelpRequested(int helpId);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void RouteToView(int id);
    void RouteToDocument(int id);
    void RouteToFrame(int id);
    void UpdateTitle();
    void ChildClosed();
    void PlaceOnScreen();

    AppContext& m_context;
    QSettings* m_profile;
    QString m_appName;
    QHash<int, QAction*> m_actions;
    QActionGroup* m_looks = nullptr;
    QMenu* m_looksMenu = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_compareAction = nullptr;
    CRibbonBar* m_ribbon = nullptr;
    QMdiArea* m_mdi = nullptr;
    QLabel* m_pane = nullptr;
    QLabel* m_information = nullptr;
    CStatusBarProgress* m_progress = nullptr;
    int m_look = 219;
    bool m_openMaximized = false;
};

// Shows that a command's work is not built yet; never silently dead.
void ShowNotAvailableYet(int id);
