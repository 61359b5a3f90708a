#include "settings/ui/SearchDlg.h"

#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ui/VTRRuleBuilderView.h"
#include "Utilities/StringTable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
CSearchDlg* g_searchDialog = nullptr;
}

CSearchDlg::CSearchDlg(ActiveViewFinder findActiveView, QWidget* parent)
    : QDialog(parent)
    , m_findActiveView(std::move(findActiveView))
{
    setWindowTitle(VtrString(61614));
    setModal(false);
    // A tool window: it never keeps the program running on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(VtrString(61611), this));
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("searchField"));
    row->addWidget(m_field, 1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* search = new QPushButton(VtrString(61612), this);
    search->setObjectName(QStringLiteral("searchButton"));
    search->setDefault(true);
    auto* clear = new QPushButton(VtrString(61613), this);
    clear->setObjectName(QStringLiteral("clearButton"));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    buttons->addStretch(1);
    buttons->addWidget(search);
    buttons->addWidget(clear);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(search, &QPushButton::clicked, this, &CSearchDlg::OnSearch);
    connect(clear, &QPushButton::clicked, this, &CSearchDlg::OnClear);
    connect(cancel, &QPushButton::clicked, this, &CSearchDlg::reject);
}

void CSearchDlg::SetSearchText(const QString& text)
{
    m_text = text;
    m_field->setText(text);
}

void CSearchDlg::OnSearch()
{
    m_text = m_field->text();
    if (m_text.isEmpty())
        return;
    if (CVTRRuleBuilderView* view = m_findActiveView ? m_findActiveView() : nullptr)
        view->Search(m_text);
}

void CSearchDlg::OnClear()
{
    CVTRRuleBuilderView* view = m_findActiveView ? m_findActiveView() : nullptr;
    if (view && view->GetDocument())
        view->GetDocument()->UpdateAllViews(UpdateHint::SearchCleared);
}

void CSearchDlg::reject()
{
    OnClear();
    QDialog::reject();
}

CSearchDlg* ShowSearchDialog(CSearchDlg::ActiveViewFinder findActiveView)
{
    if (!g_searchDialog)
        g_searchDialog = new CSearchDlg(std::move(findActiveView));
    else if (findActiveView)
        g_searchDialog->SetActiveViewFinder(std::move(findActiveView));
    g_searchDialog->SetSearchText(g_searchDialog->SearchText());
    g_searchDialog->show();
    g_searchDialog->raise();
    g_searchDialog->activateWindow();
    return g_searchDialog;
}

CSearchDlg* SearchDialog()
{
    return g_searchDialog;
}

void DestroySearchDialog()
{
    delete g_searchDialog;
    g_searchDialog = nullptr;
}
