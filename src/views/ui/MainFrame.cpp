#include "views/ui/MainFrame.h"

#include "app/AppContext.h"
#include "app/CommandTable.h"
#include "app/ui/ApplicationLook.h"
#include "app/ui/RibbonBar.h"
#include "app/ui/WindowsDlg.h"
#include "document/VTRRuleBuilderDoc.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "Utilities/ui/StatusBarProgress.h"
#include "VTRDataHelper.h"
#include "VtrWindowPlacement.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
constexpr char kLookKey[] = "ApplicationLook";
constexpr char kPlaceName[] = "MainFrame";

// The available area of the screen that shows most of rect, else of the primary screen.
QRect AvailableAreaFor(const QRect& rect)
{
    QScreen* screen = rect.isEmpty() ? nullptr : QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}
// Handlers the rule list view offers for the commands it owns.
const char* ViewHandler(int id)
{
    switch (id) {
    case CmdId::ID_CONFIGURE_RULE:
        return "OnConfigureRule";
    case CmdId::ID_EXPORT_CUSTOM_MESSAGE:
        return "OnExportCustomMessage";
    case CmdId::ID_IMPORT_CUSTOM_MESSAGE:
        return "OnImportCustomMessage";
    default:
        return nullptr;
    }
}
} // namespace

void ShowNotAvailableYet(int id)
{
    const CommandInfo* info = CommandTable::Find(id);
    const QString name = info ? CommandTable::PlainLabel(*info) : QString::number(id);
    ShowMessage(VtrString(62001).replace(QLatin1String("%s"), name), VtrString(308), MsgIcon::Information);
}

CMainFrame::CMainFrame(AppContext& context, QSettings* profile, const QString& appName, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_profile(profile)
    , m_appName(appName)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setAcceptDrops(true);
    resize(kPreferredSize);
}

CMainFrame::~CMainFrame()
{
    // The document windows go before this frame's members do: while the area
    // dies it still reports activations, which must not reach a half-destroyed frame.
    disconnect(&m_context, nullptr, this, nullptr);
    if (m_progress && GetProgressSink() == m_progress)
        SetProgressSink(nullptr);
    if (m_mdi) {
        disconnect(m_mdi, nullptr, this, nullptr);
        for (CChildFrame* child : Children())
            disconnect(child, nullptr, this, nullptr);
        delete takeCentralWidget();
        m_mdi = nullptr;
    }
}

bool CMainFrame::Create()
{
    // Document windows: plain maximized windows, never tabs.
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setViewMode(QMdiArea::SubWindowView);
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] {
        // Configure rule follows the selection of the view that became active.
        if (CChildFrame* child = ActiveChild())
            child->View()->OnActivated();
        UpdateTitle();
        UpdateCommandUI();
    });

    CreateActions();
    m_ribbon = new CRibbonBar(m_actions, m_recentMenu, m_looksMenu, this);
    // Compare with… joins the File commands, before the recent documents.
    m_compareAction = new QAction(QStringLiteral("Compare with\u2026"), this);
    m_compareAction->setObjectName(QStringLiteral("compareWith"));
    connect(m_compareAction, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            child->View()->OnCompareWith();
    });
    if (QMenu* fileMenu = m_ribbon->ApplicationMenu()) {
        QAction* before = nullptr;
        for (QAction* a : fileMenu->actions())
            if (a->isSeparator()) {
                before = a;
                break;
            }
        fileMenu->insertAction(before, m_compareAction);
    }
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_ribbon);
    layout->addWidget(m_mdi, 1);
    setCentralWidget(central);

    // Hover texts: each command its own label; the material commands say why
    // they are off when the database is not available.
    const bool databaseAvailable = vtr_db::VTRDataHelper::getInstance()->IsDatabaseAvailable();
    for (const CommandInfo& info : CommandTable::All()) {
        QAction* action = m_actions.value(info.id);
        if (!action || !CommandTable::HasOwnHoverText(info.id))
            continue;
        action->setToolTip(QString(action->text()).remove(QLatin1Char('&')));
        if (!databaseAvailable && (info.id == CmdId::ID_MAP_MATERIAL || info.id == CmdId::ID_MATERIAL_PROPERTY))
            action->setToolTip(VtrString(61763));
    }

    QStatusBar* bar = statusBar();
    if (!bar)
        return false;
    m_information = new QLabel(this);
    m_information->setObjectName(QStringLiteral("informationText"));
    bar->addWidget(m_information, 1);
    m_pane = new QLabel(VtrString(122), this);
    m_pane->setObjectName(QStringLiteral("pane121"));
    bar->addPermanentWidget(m_pane);
    // Long work (opening, saving, listing many rules) shows here.
    m_progress = new CStatusBarProgress(bar);
    SetProgressSink(m_progress);

    connect(&m_context, &AppContext::FlagsChanged, this, &CMainFrame::UpdateCommandUI);
    connect(&m_context, &AppContext::StatusTextChanged, this, &CMainFrame::ShowStatusText);

    int look = ApplicationLook::kDefault;
    if (m_profile)
        look = m_profile->value(QLatin1String(kLookKey), ApplicationLook::kDefault).toInt();
    if (!ApplicationLook::IsValid(look))
        look = ApplicationLook::kDefault;
    m_look = look;
    ApplicationLook::Apply(look);
    if (QAction* a = m_actions.value(look))
        a->setChecked(true);

    UpdateTitle();
    UpdateCommandUI();
    PlaceOnScreen();
    return true;
}

void CMainFrame::PlaceOnScreen()
{
    const std::optional<VtrWindowPlace> place
        = m_profile ? VtrLoadWindowPlace(*m_profile, QLatin1String(kPlaceName)) : std::nullopt;
    if (place) {
        setGeometry(VtrFitWindowRect(place->geometry, AvailableAreaFor(place->geometry)));
        m_openMaximized = place->maximized;
    } else {
        // First start: the preferred size where it fits, in the middle of the screen.
        setGeometry(VtrCentredWindowRect(kPreferredSize, AvailableAreaFor(QRect())));
        m_openMaximized = false;
    }
}

void CMainFrame::ShowPlaced()
{
    if (m_openMaximized)
        showMaximized();
    else
        show();
}

void CMainFrame::SavePlace()
{
    if (!m_profile)
        return;
    VtrSaveWindowPlace(*m_profile, QLatin1String(kPlaceName), { normalGeometry(), isMaximized() });
    m_profile->sync();
}

void CMainFrame::CreateActions()
{
    for (const CommandInfo& info : CommandTable::All()) {
        auto* action = new QAction(
            // Labels pass through the loaded translation, if any.
            QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(info.icon))),
            QCoreApplication::translate("VTRRuleBuilder", info.label), this);
        action->setObjectName(QString::fromUtf8(info.name));
        action->setData(info.id);
        const int id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.insert(id, action);
    }
    m_actions.value(CmdId::ID_FILE_NEW)->setShortcut(QKeySequence::New);
    m_actions.value(CmdId::ID_FILE_OPEN)->setShortcut(QKeySequence::Open);
    m_actions.value(CmdId::ID_FILE_SAVE)->setShortcut(QKeySequence::Save);
    m_actions.value(CmdId::ID_EDIT_FIND)->setShortcut(QKeySequence::Find);
    m_actions.value(CmdId::ID_EDIT_HELP)->setShortcut(QKeySequence::HelpContents);
    // Commands without a ribbon button still need their keys to work.
    addActions({ m_actions.value(CmdId::ID_FILE_NEW), m_actions.value(CmdId::ID_FILE_OPEN),
        m_actions.value(CmdId::ID_FILE_SAVE), m_actions.value(CmdId::ID_EDIT_FIND),
        m_actions.value(CmdId::ID_EDIT_HELP) });

    m_looksMenu = new QMenu(QStringLiteral("Style"), this);
    m_looks = new QActionGroup(this);
    m_looks->setExclusive(true);
    for (const CommandTable::Look& look : CommandTable::Looks()) {
        QAction* action = m_looksMenu->addAction(QString::fromUtf8(look.name));
        action->setCheckable(true);
        action->setData(look.id);
        action->setObjectName(QStringLiteral("look%1").arg(look.id));
        m_looks->addAction(action);
        const int id = look.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.insert(id, action);
    }

    m_recentMenu = new QMenu(QStringLiteral("Recent Documents"), this);
    m_recentMenu->setObjectName(QStringLiteral("recentDocuments"));
    m_recentMenu->setMinimumWidth(300);
}

CChildFrame* CMainFrame::AddDocument(CVTRRuleBuilderDoc* doc)
{
    auto* child = new CChildFrame(doc);
    // Every save that writes a file joins the recent list, not only the
    // ribbon's: Ctrl+L and the question on closing save too.
    connect(doc, &CVTRRuleBuilderDoc::Saved, this, &CMainFrame::DocumentSaved);
    m_mdi->addSubWindow(child);
    connect(child, &CChildFrame::DocumentTitleChanged, this, &CMainFrame::UpdateTitle);
    connect(child->View(), &CVTRRuleBuilderView::RuleHelpRequested, this, &CMainFrame::HelpRequested);
    connect(child, &QObject::destroyed, this, &CMainFrame::ChildClosed, Qt::QueuedConnection);
    child->showMaximized();
    m_mdi->setActiveSubWindow(child);
    child->InitialUpdate();
    UpdateTitle();
    UpdateCommandUI();
    return child;
}

CChildFrame* CMainFrame::ActiveChild() const
{
    if (!m_mdi)
        return nullptr;
    QMdiSubWindow* active = m_mdi->activeSubWindow();
    if (!active) {
        // Without focus (a hidden or inactive main window) the current one counts.
        active = m_mdi->currentSubWindow();
    }
    return qobject_cast<CChildFrame*>(active);
}

QList<CChildFrame*> CMainFrame::Children() const
{
    QList<CChildFrame*> out;
    if (!m_mdi)
        return out;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(w))
            out << child;
    return out;
}

CVTRRuleBuilderDoc* CMainFrame::ActiveDocument() const
{
    CChildFrame* child = ActiveChild();
    return child ? child->Document() : nullptr;
}

void CMainFrame::OnCommand(int id)
{
    if (CommandTable::IsLook(id)) {
        OnApplicationLook(id);
        return;
    }
    const CommandInfo* info = CommandTable::Resolve(id);
    if (!info)
        return;
    if (!IsCommandEnabled(*info, m_context, ActiveChild() != nullptr))
        return;
    const bool routerTracks = !CommandTable::HandlerSendsUsageEvent(info->id);
    if (routerTracks && info->timing == UsageTiming::Before)
        m_context.TrackCommand(info->usageValue);
    switch (info->route) {
    case CmdRoute::View:
        RouteToView(info->id);
        break;
    case CmdRoute::Document:
        RouteToDocument(info->id);
        break;
    case CmdRoute::Frame:
        RouteToFrame(info->id);
        break;
    case CmdRoute::Application:
        emit ApplicationCommand(info->id);
        break;
    }
    if (routerTracks && info->timing == UsageTiming::After)
        m_context.TrackCommand(info->usageValue);
}

void CMainFrame::RouteToView(int id)
{
    CChildFrame* child = ActiveChild();
    const char* handler = ViewHandler(id);
    if (child && handler && child->View()
        && child->View()->metaObject()->indexOfMethod(QByteArray(handler) + "()") >= 0) {
        QMetaObject::invokeMethod(child->View(), handler);
        return;
    }
    ShowNotAvailableYet(id);
}

void CMainFrame::RouteToDocument(int id)
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    CVTRRuleBuilderDoc* doc = child->Document();
    switch (id) {
    case CmdId::ID_FILE_SAVE:
        doc->DoFileSave();
        break;
    case CmdId::ID_FILE_SAVE_AS:
        doc->DoSaveAs();
        break;
    case CmdId::ID_FILE_CLOSE:
        child->close();
        break;
    default:
        break;
    }
}

void CMainFrame::RouteToFrame(int id)
{
    switch (id) {
    case CmdId::ID_APP_EXIT:
        close();
        break;
    case CmdId::ID_WINDOW_MANAGER:
        ShowWindowsDialog();
        break;
    case CmdId::ID_WINDOW_NEW:
        // A document's check boxes live in its one list view, so a second
        // window on the same document is not offered.
        ShowMessage(VtrString(62002), VtrString(308), MsgIcon::Information);
        break;
    default:
        break;
    }
}

void CMainFrame::UpdateCommandUI()
{
    const bool active = ActiveChild() != nullptr;
    if (m_compareAction)
        m_compareAction->setEnabled(active);
    for (const CommandInfo& info : CommandTable::All()) {
        QAction* action = m_actions.value(info.id);
        const CommandInfo* target = CommandTable::Resolve(info.id);
        if (action && target)
            action->setEnabled(IsCommandEnabled(*target, m_context, active));
    }
}

void CMainFrame::OnApplicationLook(int id)
{
    if (!ApplicationLook::IsValid(id))
        return;
    m_look = id;
    ApplicationLook::Apply(id);
    if (QAction* a = m_actions.value(id))
        a->setChecked(true);
    if (m_profile) {
        m_profile->setValue(QLatin1String(kLookKey), id);
        m_profile->sync();
    }
    LogWithNumber(QStringLiteral("Application look %d applied"), id);
}

void CMainFrame::ShowStatusText(const QString& text)
{
    if (!m_information)
        return;
    m_information->setText(text);
    m_information->repaint();
}

QString CMainFrame::InformationText() const
{
    return m_information ? m_information->text() : QString();
}

QString CMainFrame::PaneText() const
{
    return m_pane ? m_pane->text() : QString();
}

void CMainFrame::SetRecentFiles(const QStringList& paths)
{
    m_recentMenu->clear();
    int n = 0;
    for (const QString& path : paths) {
        ++n;
        QAction* a = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(n).arg(QFileInfo(path).fileName()));
        a->setToolTip(path);
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { emit OpenRequested(path); });
    }
    m_recentMenu->setEnabled(!paths.isEmpty());
}

void CMainFrame::BringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void CMainFrame::ShowWindowsDialog()
{
    CWindowsDlg dialog(m_mdi, this);
    dialog.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Every document is asked first; a Cancel (or a failed save) keeps them
    // all open, so nothing closes half-way.
    const QList<CChildFrame*> children = Children();
    for (CChildFrame* child : children) {
        m_mdi->setActiveSubWindow(child);
        if (!child->Document()->SaveModified()) {
            event->ignore();
            return;
        }
    }
    for (CChildFrame* child : children)
        child->CloseAnswered();
    SavePlace();
    event->accept();
    emit FrameClosed();
}

void CMainFrame::CloseAllWithoutAsking()
{
    for (CChildFrame* child : Children())
        child->CloseAnswered();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            emit OpenRequested(url.toLocalFile());
    event->acceptProposedAction();
}

void CMainFrame::UpdateTitle()
{
    CVTRRuleBuilderDoc* doc = ActiveDocument();
    setWindowTitle(doc ? doc->GetTitle() + QStringLiteral(" - ") + m_appName : m_appName);
}

void CMainFrame::ChildClosed()
{
    if (Children().isEmpty()) {
        m_context.SetUnitsEnabled(false);
        m_context.SetConfigureRuleEnabled(false);
    }
    UpdateTitle();
    UpdateCommandUI();
}
