#pragma once

#include <QMdiSubWindow>

class CVTRRuleBuilderDoc;
class CVTRRuleBuilderView;
class QSplitter;

// The window of one rule document: a one-pane splitter holding the document's
// rule list view. Owns the document; closing asks to save first.
class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT
public:
    // Takes ownership of doc and creates its one view.
    explicit CChildFrame(CVTRRuleBuilderDoc* doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CVTRRuleBuilderDoc* Document() const { return m_doc; }
    // The document's one rule list view.
    CVTRRuleBuilderView* View() const { return m_view; }
    // Runs the view's first update once the frame is shown.
    void InitialUpdate();
    // Closes without asking to save: the question was already answered.
    void CloseAnswered();

signals:
    // The document's title changed.
    void DocumentTitleChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CVTRRuleBuilderDoc* m_doc;
    QSplitter* m_splitter;
    CVTRRuleBuilderView* m_view = nullptr;
    bool m_closed = false;
    bool m_answered = false;
};
