#include "app/ui/RibbonBar.h"

#include "app/CommandTable.h"
#include "Utilities/StringTable.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;

QWidget* MakePanel(const QString& title, QHBoxLayout*& buttons)
{
    auto* panel = new QFrame;
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setObjectName(QStringLiteral("ribbonPanel"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(2);
    buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    column->addLayout(buttons, 1);
    auto* label = new QLabel(title);
    label->setAlignment(Qt::AlignHCenter);
    label->setEnabled(false); // drawn in the muted text colour, like a caption
    column->addWidget(label);
    return panel;
}

// The first letter of label that is not taken yet, taken now; a null QChar
// when every letter is.
QChar TakeMnemonic(const QString& label, QString& taken)
{
    for (const QChar c : label) {
        const QChar letter = c.toUpper();
        if (letter.isLetter() && !taken.contains(letter)) {
            taken += letter;
            return letter;
        }
    }
    return {};
}
} // namespace

CRibbonBar::CRibbonBar(const QHash<int, QAction*>& actions, QMenu* recent, QMenu* looks, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ribbon"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Top row: application button, quick access toolbar, look menu.
    auto* top = new QHBoxLayout;
    top->setContentsMargins(2, 2, 2, 0);
    m_appButton = new QToolButton(this);
    m_appButton->setText(QStringLiteral("File"));
    m_appButton->setObjectName(QStringLiteral("applicationButton"));
    m_appButton->setPopupMode(QToolButton::InstantPopup);
    m_appButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The application button stands out from the tabs, as on any ribbon.
    m_appButton->setStyleSheet(QStringLiteral("QToolButton#applicationButton { background: #1f6fb5; color: white;"
                                              " font-weight: bold; padding: 3px 14px; border: 1px solid #185a93;"
                                              " border-radius: 3px; }"
                                              "QToolButton#applicationButton::menu-indicator { image: none; }"));
    m_appMenu = new QMenu(m_appButton);
    m_appButton->setMenu(m_appMenu);
    top->addWidget(m_appButton);

    m_quickAccess = new QToolBar(this);
    m_quickAccess->setObjectName(QStringLiteral("quickAccessToolBar"));
    m_quickAccess->setIconSize(QSize(kSmallIcon, kSmallIcon));
    top->addWidget(m_quickAccess);
    top->addStretch(1);

    auto* lookButton = new QToolButton(this);
    lookButton->setText(QStringLiteral("Style"));
    lookButton->setIcon(QIcon(QStringLiteral(":/icons/look.svg")));
    lookButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    lookButton->setPopupMode(QToolButton::InstantPopup);
    lookButton->setMenu(looks);
    lookButton->setAutoRaise(true);
    top->addWidget(lookButton);
    outer->addLayout(top);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ribbonCategories"));
    m_tabs->setDocumentMode(true);
    m_tabs->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    outer->addWidget(m_tabs);

    // Pages and panels in table order.
    QHash<QString, QHBoxLayout*> pageRows;
    QHash<QString, QHBoxLayout*> panelRows;
    for (const QString& category : CommandTable::Categories()) {
        auto* page = new QWidget;
        auto* row = new QHBoxLayout(page);
        row->setContentsMargins(2, 2, 2, 2);
        row->setSpacing(4);
        row->addStretch(1);
        pageRows.insert(category, row);
        m_tabs->addTab(page, category);
    }

    // Keyboard access without changing the looks: Alt with a letter opens
    // the application menu or a tab (whose buttons Tab then reaches, Space
    // presses), instead of underlined letters in the labels.
    QString taken = QStringLiteral("F");
    auto* fileKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F), this);
    connect(fileKey, &QShortcut::activated, m_appButton, &QToolButton::showMenu);
    m_appButton->setToolTip(QStringLiteral("File (Alt+F)"));
    for (int tab = 0; tab < m_tabs->count(); ++tab) {
        const QChar letter = TakeMnemonic(m_tabs->tabText(tab), taken);
        m_tabMnemonics.append(letter);
        if (letter.isNull())
            continue;
        auto* key = new QShortcut(QKeySequence(QStringLiteral("Alt+") + letter), this);
        connect(key, &QShortcut::activated, this, [this, tab] {
            m_tabs->setCurrentIndex(tab);
            m_tabs->tabBar()->setFocus(Qt::ShortcutFocusReason);
        });
        m_tabs->setTabToolTip(tab, QStringLiteral("%1 (Alt+%2)").arg(m_tabs->tabText(tab).trimmed(), letter));
    }

    for (const CommandInfo& info : CommandTable::All()) {
        QAction* action = actions.value(info.id);
        if (!action)
            continue;
        const QString category = QString::fromUtf8(info.category);
        if (category == QLatin1String("File")) {
            if (info.id == CmdId::ID_APP_EXIT) {
                m_appMenu->addSeparator();
                QAction* recentAction = m_appMenu->addMenu(recent);
                recentAction->setText(QStringLiteral("Recent Documents"));
                m_appMenu->addSeparator();
            }
            m_appMenu->addAction(action);
            if (info.quickAccess)
                m_quickAccess->addAction(action);
            continue;
        }
        QHBoxLayout* pageRow = pageRows.value(category);
        if (!pageRow)
            continue; // no ribbon entry
        const QString panelKey = category + QLatin1Char('/') + QString::fromUtf8(info.panel);
        QHBoxLayout* buttons = panelRows.value(panelKey);
        if (info.id == CmdId::ID_WINDOW_NEW) {
            // A sub-item of the Windows button.
            if (QToolButton* windows = m_buttons.value(CmdId::ID_WINDOW_MANAGER)) {
                auto* menu = new QMenu(windows);
                menu->addAction(action);
                // The windows dialog is also offered by its menu text.
                QAction* manager = actions.value(CmdId::ID_WINDOW_MANAGER);
                QAction* dialogItem = menu->addAction(manager->icon(), VtrString(131));
                dialogItem->setObjectName(QStringLiteral("windowsDialogItem"));
                connect(dialogItem, &QAction::triggered, manager, &QAction::trigger);
                windows->setMenu(menu);
                windows->setPopupMode(QToolButton::MenuButtonPopup);
            }
            continue;
        }
        if (!buttons) {
            pageRow->insertWidget(pageRow->count() - 1, MakePanel(QString::fromUtf8(info.panel), buttons));
            panelRows.insert(panelKey, buttons);
            m_panels[category].append(QString::fromUtf8(info.panel));
        }
        auto* button = new QToolButton;
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setIconSize(info.large ? QSize(kLargeIcon, kLargeIcon) : QSize(kSmallIcon, kSmallIcon));
        button->setToolButtonStyle(info.large ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextBesideIcon);
        button->setMinimumWidth(56);
        button->setObjectName(QString::fromUtf8(info.name));
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
        buttons->addWidget(button);
        m_buttons.insert(info.id, button);
    }
}

bool CRibbonBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            if (auto* button = qobject_cast<QToolButton*>(watched); button && button->isEnabled()) {
                button->click();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

QStringList CRibbonBar::PanelTitles(const QString& category) const
{
    return m_panels.value(category);
}
