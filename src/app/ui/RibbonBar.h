#pragma once

#include <QChar>
#include <QHash>
#include <QList>
#include <QWidget>

class QAction;
class QMenu;
class QTabWidget;
class QToolBar;
class QToolButton;

// The ribbon: the "File" application button with its menu and recent
// documents, the quick access toolbar, and one tab per category whose panels
// hold the commands. Built from the command table; the buttons trigger the
// frame's actions, so enabling and hover texts live in one place.
class CRibbonBar : public QWidget
{
    Q_OBJECT
public:
    // actions: one per command id; recent: the "Recent Documents" menu;
    // looks: the application-look menu shown at the right of the tabs.
    CRibbonBar(const QHash<int, QAction*>& actions, QMenu* recent, QMenu* looks, QWidget* parent = nullptr);

    // The "File" application button.
    QToolButton* ApplicationButton() const { return m_appButton; }
    // The application menu behind it.
    QMenu* ApplicationMenu() const { return m_appMenu; }
    QToolBar* QuickAccessToolBar() const { return m_quickAccess; }
    QTabWidget* Categories() const { return m_tabs; }
    // The ribbon button of a command, or null.
    QToolButton* Button(int id) const { return m_buttons.value(id); }
    // Panel titles of a category in order.
    QStringList PanelTitles(const QString& category) const;
    // The letter that, with Alt, opens a category tab (upper case).
    QChar TabMnemonic(int tab) const { return m_tabMnemonics.value(tab); }

protected:
    // Enter and Return press a ribbon button that has the focus, as Space does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* m_appButton = nullptr;
    QMenu* m_appMenu = nullptr;
    QToolBar* m_quickAccess = nullptr;
    QTabWidget* m_tabs = nullptr;
    QHash<int, QToolButton*> m_buttons;
    QHash<QString, QStringList> m_panels;
    QList<QChar> m_tabMnemonics;
};
