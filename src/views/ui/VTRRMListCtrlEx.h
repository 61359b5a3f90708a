#pragma once

#include "custommsg/UsageHook.h"

#include <functional>

#include <QIcon>
#include <QPersistentModelIndex>
#include <QTableView>

class QLineEdit;

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

    // Editing a custom message in place: an edit box over the row's column 4
    // cell, holding its text, at most limit characters. Enter commits,
    // Escape and any scrolling hide it without storing; Down commits and
    // edits the next row, Up commits and edits the previous one (260
    // characters then).
    void StartMessageEdit(int row, int limit = kMessageLimit);
    // Hides the edit box without storing.
    void EndMessageEdit();
    bool IsEditingMessage() const;
    // The edit box (hidden while no message is edited).
    QLineEdit* MessageEditor() const { return m_editor; }
    // Stores an edited message: the row, the message it showed when editing
    // started, the new text. Called after the edit box is hidden.
    void SetMessageCommitter(std::function<void(int, const QString&, const QString&)> commit)
    {
        m_commit = std::move(commit);
    }
    // The list's own usage hook, which reports messages edited here.
    const UsageHook& Usage() const { return m_usage; }
    static constexpr int kMessageLimit = 256;
    static constexpr int kArrowMessageLimit = 260;

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
    // Context menu "Compare with…".
    void CompareRequested();
    // F1 with a row selected: the help of the selected rule.
    void HelpRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ToggleWithSpace();
    // Hides the edit box and hands its text to the committer; returns the row.
    int CommitMessageEdit();
    bool m_ctrlLHandled = false;
    std::function<bool()> m_resetEnabler;
    int m_fitted[4] = {};
    QLineEdit* m_editor = nullptr;
    QPersistentModelIndex m_editIndex;
    QString m_oldMessage;
    std::function<void(int, const QString&, const QString&)> m_commit;
    UsageHook m_usage;
};
