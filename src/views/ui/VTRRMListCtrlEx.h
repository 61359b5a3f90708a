#pragma once

#include <functional>

#include <QIcon>
#include <QTableView>

// The rule list: a table over RuleListModel with check boxes drawn by two
// state icons, column-click sorting, the space bar toggling check boxes of
// the selection, Ctrl+L for the password and a context menu.
class CVTRRMListCtrlEx : public QTableView
{
    Q_OBJECT
public:
    explicit CVTRRMListCtrlEx(QWidget* parent = nullptr);

    // The two state icons (unchecked, checked), 16 x 16.
    static QIcon StateIcon(bool checked);
    // Widens each column to 1.2 times the text of the visible rows where it
    // is narrower (never measures rows that are not on screen).
    void FitColumnsToVisibleRows();
    // Selected rows in ascending order.
    QList<int> SelectedRows() const;
    // Decides, each time the context menu opens, whether "Reset to Default"
    // is offered for the selected rows (without one: whenever a row is selected).
    void SetResetEnabler(std::function<bool()> enabler) { m_resetEnabler = std::move(enabler); }

signals:
    // A header was clicked (sorting).
    void ColumnClicked(int column);
    // Double click on a cell.
    void CellDoubleClicked(int row, int column);
    // Ctrl+L.
    void PasswordRequested();
    // Context menu commands 637 and 638.
    void ConfigureRequested();
    void ResetRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ToggleWithSpace();
    bool m_ctrlLHandled = false;
    std::function<bool()> m_resetEnabler;
};
