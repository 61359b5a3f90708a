#pragma once

#include <functional>

#include <QDialog>
#include <QString>

class CVTRRuleBuilderView;
class QLineEdit;

// The modeless search window: "Search" keeps only the rows of the active
// view that contain the text, "Clear" lists every rule again, "Cancel" (and
// Esc) clears and hides. The text is kept between openings.
class CSearchDlg : public QDialog
{
    Q_OBJECT
public:
    // Finds the view of the active child window, or null.
    using ActiveViewFinder = std::function<CVTRRuleBuilderView*()>;

    explicit CSearchDlg(ActiveViewFinder findActiveView, QWidget* parent = nullptr);

    QString SearchText() const { return m_text; }
    void SetSearchText(const QString& text);
    QLineEdit* Field() const { return m_field; }
    // Shows the window, raised and active, with the focus in the field and its
    // text selected, so typing replaces it and Enter searches.
    void ShowWithFocusInField();
    void SetActiveViewFinder(ActiveViewFinder finder) { m_findActiveView = std::move(finder); }

    // The buttons.
    void OnSearch();
    void OnClear();
    void reject() override;

private:
    ActiveViewFinder m_findActiveView;
    QLineEdit* m_field = nullptr;
    QString m_text;
};

// The search command: creates the one search window on first use and shows
// it with the kept text, the typing in its field. With a parent (the main
// window) it stays above that window, so a click on the list does not bury
// it. The caller records the command's usage event. The window lives until
// DestroySearchDialog (at exit) or until its parent goes.
CSearchDlg* ShowSearchDialog(CSearchDlg::ActiveViewFinder findActiveView, QWidget* parent = nullptr);
// The search window, or null before the first ShowSearchDialog.
CSearchDlg* SearchDialog();
// Destroys the search window (at exit).
void DestroySearchDialog();
