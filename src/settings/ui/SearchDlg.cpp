#include "settings/ui/SearchDlg.h"

#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ui/VTRRuleBuilderView.h"
#include "Utilities/StringTable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QVBoxLayout>

namespace {
// Deleted with its parent too, so never left dangling.
QPointer<CSearchDlg> g_searchDialog;
} // namespace

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
    auto* label = new QLabel(VtrString(61611), this);
    row->addWidget(label);
    m_field = new QLineEdit(this);
    label->setBuddy(m_field);
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
    // Enter always searches: a button that had the focus must not take it.
    clear->setAutoDefault(false);
    cancel->setAutoDefault(false);
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

void CSearchDlg::ShowWithFocusInField()
{
    show();
    raise();
    activateWindow();
    // A dialog gives the focus back to the widget that last had it (Cancel,
    // after a Cancel): the field takes it every time instead.
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->selectAll();
}

CSearchDlg* ShowSearchDialog(CSearchDlg::ActiveViewFinder findActiveView, QWidget* parent)
{
    if (g_searchDialog && parent && g_searchDialog->parentWidget() != parent) {
        // Another main window than before: the window follows it.
        const QString kept = g_searchDialog->SearchText();
        delete g_searchDialog;
        g_searchDialog = new CSearchDlg(std::move(findActiveView), parent);
        g_searchDialog->SetSearchText(kept);
    } else if (!g_searchDialog) {
        g_searchDialog = new CSearchDlg(std::move(findActiveView), parent);
    } else if (findActiveView) {
        g_searchDialog->SetActiveViewFinder(std::move(findActiveView));
    }
    g_searchDialog->SetSearchText(g_searchDialog->SearchText());
    g_searchDialog->ShowWithFocusInField();
    return g_searchDialog;
}

CSearchDlg* SearchDialog()
{
    return g_searchDialog.data();
}

void DestroySearchDialog()
{
    delete g_searchDialog;
    g_searchDialog = nullptr;
}
