#include "views/RuleListController.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "userrules/UserRuleCommands.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <utility>

// The list's life and commands. Filling is in RuleListFill.cpp, matching the
// file's rules in RuleListMatch.cpp, check boxes in RuleListTicks.cpp,
// sorting and searching in RuleListSearch.cpp.

RuleListController::RuleListController(CVTRRuleBuilderDoc* doc, std::unique_ptr<IModuleRuleSource> source)
    : m_doc(doc)
    , m_source(source ? std::move(source) : std::make_unique<AppModuleRuleSource>())
{
    m_model.SetCheckHandler([this](int row) { OnCheckChanged(row); });
    m_model.SetBatchCheckHandler([this](const QList<int>& rows, bool checked) { SetCheckedRows(rows, checked); });
    m_model.SetCustomMessageLookup([this](const CVtrRule* rule) { return m_source->CustomMessage(rule); });
}

RuleListController::~RuleListController() = default;

void RuleListController::InitialUpdate()
{
    if (!m_doc)
        return;
    Fill(true, true);
    m_sortState = 1;
    m_model.SortRows(RuleListModel::RuleColumn, false);
    if (AppContext* app = AppContext::Instance())
        app->SetConfigureRuleEnabled(false);
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    RefreshAllRulesFile(m_installedRules, previous, current, true);
    BringRowsToDocumentUnits();
    RefreshStatus();
}

void RuleListController::BringRowsToDocumentUnits()
{
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    // Rules the document holds are already in its units; the others follow.
    QSet<QString> held;
    m_doc->SelectedRules().ForEach([&held](CVtrRule* r) {
        held.insert(r->GetRuleName().toLower() + QChar(0x1f) + r->GetRuleCategory().toLower());
    });
    for (const RuleListModel::Row& row : m_model.Rows()) {
        const QString key = row.rule->GetRuleName().toLower() + QChar(0x1f) + row.rule->GetRuleCategory().toLower();
        if (held.contains(key))
            row.rule->UpdateRule(&current, &current);
        else
            row.rule->UpdateRule(&previous, &current);
    }
}

void RuleListController::OnUpdate(int hint)
{
    if (!m_doc)
        return;
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    switch (hint) {
    case 1:
        if (m_doc->TakeFileRulesToMatch()) {
            // The document read its file again: the list is filled as on
            // opening, keeping its sort and search.
            Fill(true, true);
            BringRowsToDocumentUnits();
        } else {
            Fill(false, false);
        }
        if (m_searchActive) {
            const QString text = m_searchText;
            m_model.KeepRowsContaining(text);
        }
        // Rows of a refill join those the filter bar had left: all are listed again.
        ApplyFilter(!m_filter.IsEmpty());
        for (const RuleListModel::Row& row : m_model.Rows())
            if (!(row.rule->GetRuleUnits() == current))
                row.rule->UpdateRule(&previous, &current);
        ReapplySort();
        RefreshStatus();
        break;
    case 3:
        // Every rule of the pool, not just the rows a search left, so that a
        // cleared search shows no rule in old units.
        m_pool.ForEach([&](CVtrRule* rule) { rule->UpdateRule(&previous, &current); });
        if (m_writesAllRulesFile) {
            RefreshAllRulesFile(m_installedRules, previous, current, true);
        } else {
            for (CVtrRule* rule : m_installedRules)
                rule->UpdateRule(&previous, &current);
        }
        break;
    case 9:
        ClearSearch();
        break;
    default:
        break;
    }
}

void RuleListController::RefreshRuleTexts()
{
    m_model.RefreshKeys();
    m_model.AnnounceTexts();
    // The rows kept for a cleared search hold the old keys.
    m_allRowsValid = false;
}

void RuleListController::OnSelectionChanged(int selectedRows, int changedRow)
{
    AppContext* app = AppContext::Instance();
    if (!app)
        return;
    const bool one = selectedRows == 1;
    app->SetConfigureRuleEnabled(one);
    const CVtrRule* rule = m_model.RuleAt(changedRow);
    if (one && rule && rule->GetValidatorName().compare(QLatin1String("PLQRuleValidator"), Qt::CaseInsensitive) == 0) {
        const bool custom = rule->GetRuleModuleName().contains(QLatin1String("Custom"), Qt::CaseSensitive);
        app->SetEditCustomRuleEnabled(custom);
        app->SetEditProductRuleEnabled(!custom);
    } else {
        app->SetEditCustomRuleEnabled(false);
        app->SetEditProductRuleEnabled(false);
    }
}

void RuleListController::RefreshRow(int row)
{
    if (!m_model.RefreshRow(row))
        return;
    const RuleListModel::Row& fresh = m_model.Rows()[static_cast<size_t>(row)];
    if (m_allRowsValid && fresh.slot < m_allRows.size() && m_allRows[fresh.slot].rule == fresh.rule) {
        const bool checked = m_allRows[fresh.slot].checked;
        m_allRows[fresh.slot] = fresh;
        m_allRows[fresh.slot].checked = checked;
    }
}

bool RuleListController::TakeStoredRule(
    CVtrRule* rule, const UserRuleStore& store, const QString& name, const QString& category)
{
    // One rule per command: finding its row once is fine.
    int row = -1;
    for (int r = 0; r < m_model.RowCount() && row < 0; ++r)
        if (m_model.RuleAt(r) == rule)
            row = r;
    if (row < 0 || !UserRuleCommands::TakeStoredRule(*rule, store, name, category))
        return false;
    RefreshRow(row);
    if (m_model.IsChecked(row) && m_doc)
        m_doc->SetModifiedFlag(true);
    return true;
}

QString RuleListController::StatusText() const
{
    QString text = VtrString(StrId::StatusSelected);
    const qsizetype first = text.indexOf(QLatin1String("%d"));
    if (first >= 0)
        text.replace(first, 2, QString::number(m_selectedCount));
    const qsizetype second = text.indexOf(QLatin1String("%d"));
    if (second >= 0)
        text.replace(second, 2, QString::number(m_model.RowCount()));
    return text;
}

void RuleListController::RefreshStatus()
{
    const QString text = StatusText();
    if (AppContext* app = AppContext::Instance())
        app->ShowStatusText(text);
    if (onStatusChanged)
        onStatusChanged(text);
}

QList<CVtrRule*> RuleListController::ListedRules() const
{
    QList<CVtrRule*> out = m_pool.ToList();
    out.append(m_installedRules);
    return out;
}

void RuleListController::ClearAll()
{
    // The rules are about to be released; the application must not keep them.
    if (AppContext* app = AppContext::Instance();
        app && !m_installedRules.isEmpty() && app->AllRules() == m_installedRules) {
        app->AllRules().clear();
        // A refill (the document read its file again) hands it the new list.
        m_appListWasOurs = true;
    }
    m_model.Clear();
    m_model.ForgetCustomMessages();
    m_model.SetDiffering({});
    m_pool.Clear();
    m_allRows.clear();
    m_allRowsValid = false;
    m_places.clear();
    m_installedRules.clear();
    m_loadedPaths.clear();
    // The search and the sort stay: a refill after the document read its
    // file again applies them to the new rows.
    m_selectedCount = 0;
}

RuleListDocLink::RuleListDocLink(RuleListController* list)
    : m_list(list)
{
    if (m_list && m_list->Document())
        m_list->Document()->AddView(this);
}

RuleListDocLink::~RuleListDocLink()
{
    if (m_list && m_list->Document())
        m_list->Document()->RemoveView(this);
}

void RuleListDocLink::OnUpdate(int hint)
{
    m_list->OnUpdate(hint);
}

QList<CVtrRule*> RuleListDocLink::ListedRules() const
{
    return m_list->ListedRules();
}

void RuleListDocLink::ClearRows()
{
    m_list->ClearAll();
}

QStringList SplitSummary(const QString& text, int columnWidth, int textPixelWidth)
{
    QStringList lines;
    if (text.isEmpty())
        return lines;
    qsizetype limit = text.size();
    if (textPixelWidth > 0 && columnWidth > 0)
        limit = std::max<qsizetype>(1, text.size() * columnWidth / textPixelWidth);
    QString rest = text;
    while (rest.size() > limit) {
        qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), limit);
        if (cut <= 0)
            cut = limit;
        lines.append(rest.left(cut));
        rest = rest.mid(cut);
        if (rest.startsWith(QLatin1Char(' ')))
            rest.remove(0, 1);
    }
    if (!rest.isEmpty())
        lines.append(rest);
    return lines;
}
