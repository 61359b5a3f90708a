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
    // Widens columns 0 to 3 to 1.2 times their texts where they are
    // narrower, measured on a sample of rows: the first screenfuls and rows
    // spread over the whole list, never every row (lists reach 100,000).
    // Needs no shown viewport, so a window filled before it shows fits too.
    void FitColumnsToSample();
    // The width column 0 to 3 wants for its texts (0 before any fit).
    int FittedWidth(int column) const;
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
    // F1 with a row selected: the help of the selected rule.
    void HelpRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ToggleWithSpace();
    bool m_ctrlLHandled = false;
    std::function<bool()> m_resetEnabler;
    int m_fitted[4] = {};
};
