#include "views/ui/ChildFrame.h"

#include "document/VTRRuleBuilderDoc.h"

#include "views/ui/VTRRuleBuilderView.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QSplitter>

CChildFrame::CChildFrame(CVTRRuleBuilderDoc* doc, QWidget* parent)
    : QMdiSubWindow(parent)
    , m_doc(doc)
    , m_splitter(new QSplitter(Qt::Horizontal))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("childFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    m_splitter->setChildrenCollapsible(false);
    m_view = new CVTRRuleBuilderView(doc, m_splitter);
    m_splitter->addWidget(m_view);
    setWidget(m_splitter);
    setWindowTitle(doc->GetTitle());
    connect(doc, &CVTRRuleBuilderDoc::TitleChanged, this, [this](const QString& title) {
        setWindowTitle(title);
        emit DocumentTitleChanged();
    });
}

CChildFrame::~CChildFrame()
{
    // The view refers to the document, so it goes first.
    setWidget(nullptr);
    delete m_splitter;
    delete m_doc;
}

void CChildFrame::InitialUpdate()
{
    m_view->OnInitialUpdate();
}

void CChildFrame::CloseAnswered()
{
    m_answered = true;
    close();
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    if (!m_answered && !m_doc->SaveModified()) {
        event->ignore();
        return;
    }
    const bool last = !mdiArea() || mdiArea()->subWindowList().size() <= 1;
    m_doc->OnCloseDocument(last);
    m_closed = true;
    QMdiSubWindow::closeEvent(event);
}
