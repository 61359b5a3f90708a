// Sorting by a column, the search dialog's filter, which keeps the rows
// whose texts contain the search text and lists every rule again when
// cleared, and the filter bar's, applied on top of it.
#include "views/RuleListController.h"

#include "VtrRule.h"
#include "document/VTRRuleBuilderDoc.h"

#include <cstdlib>
#include <utility>

#include <QSet>

void RuleListController::SortByColumn(int column)
{
    if (column < RuleListModel::RuleColumn || column > RuleListModel::CriticalityColumn)
        return;
    m_sortState = (std::abs(m_sortState) == column + 1) ? -m_sortState : column + 1;
    m_model.SortRows(column, m_sortState < 0);
}

void RuleListController::ReapplySort()
{
    if (m_sortState != 0)
        m_model.SortRows(std::abs(m_sortState) - 1, m_sortState < 0);
}

void RuleListController::Search(const QString& text)
{
    if (!m_doc)
        return;
    const QString lower = text.toLower();
    if (lower != m_searchText) {
        // A new text searches every rule: the hint lists them all again in
        // the other views, and in this one lists only those that match, in
        // one pass.
        m_filterOnRestore = lower;
        m_filterPending = true;
        if (!m_doc->Views().isEmpty())
            m_doc->UpdateAllViews(9);
        if (m_filterPending) // this list is not among the document's views
            ClearSearch();
    } else if (!m_filter.IsEmpty()) {
        // Listed again, so that the filter bar counts the rows the search keeps.
        ListEveryRow(&lower);
        ApplyFilter(false);
        ReapplySort();
    } else {
        m_model.KeepRowsContaining(lower);
    }
    m_searchText = lower;
    m_searchActive = true;
    RefreshStatus();
}

void RuleListController::ClearSearch()
{
    const bool filter = std::exchange(m_filterPending, false);
    ListEveryRow(filter ? &m_filterOnRestore : nullptr);
    m_searchActive = false;
    ApplyFilter(false);
    ReapplySort();
    RefreshStatus();
}

void RuleListController::ListEveryRow(const QString* containing)
{
    if (m_allRowsValid) {
        // Check boxes changed while the search was active go back first.
        for (const RuleListModel::Row& row : m_model.Rows()) {
            if (row.slot < m_allRows.size() && m_allRows[row.slot].rule == row.rule) {
                m_allRows[row.slot].checked = row.checked;
            }
        }
        if (containing)
            m_model.SetRowsContaining(m_allRows, *containing);
        else
            m_model.SetRows(m_allRows);
    } else {
        // Rules listed before keep their keys: taking them again means a
        // look-up of every rule's texts, slow for a big list whose texts are
        // out of cache. The pool's own index tells where each row's rule
        // sits in the pool.
        const std::vector<RuleListModel::Row> listed = m_model.TakeRows();
        std::vector<const RuleListModel::Row*> atPlace(m_pool.PlaceCount(), nullptr);
        constexpr size_t kAhead = 16;
        for (size_t i = 0; i < listed.size(); ++i) {
            if (i + kAhead < listed.size())
                m_pool.Prefetch(listed[i + kAhead].rule);
            const size_t place = m_pool.PlaceOf(listed[i].rule);
            if (place != OrderedRuleSet::kNoPlace)
                atPlace[place] = &listed[i];
        }
        QList<CVtrRule*> rules;
        std::vector<const RuleListModel::Row*> keyed;
        rules.reserve(m_pool.Size());
        keyed.reserve(static_cast<size_t>(m_pool.Size()));
        m_pool.ForEachPlace([&](CVtrRule* rule, size_t place) {
            rules.append(rule);
            keyed.push_back(atPlace[place]);
        });
        InsertRows(rules, false, keyed);
        NumberRows();
        m_allRows = m_model.Rows();
        m_allRowsValid = true;
        if (containing)
            m_model.KeepRowsContaining(*containing);
    }
}

void RuleListController::SetFilter(const RuleListFilter& filter)
{
    if (!m_doc || filter == m_filter)
        return;
    // Rows the old filter removed may pass the new one.
    const bool relist = !m_filter.IsEmpty();
    m_filter = filter;
    ApplyFilter(relist);
    ReapplySort();
    RefreshStatus();
}

void RuleListController::ApplyFilter(bool relist)
{
    if (m_filter.IsEmpty() && !relist)
        return;
    if (relist)
        ListEveryRow(m_searchActive ? &m_searchText : nullptr);
    m_unfilteredRows = m_model.RowCount();
    m_model.KeepRowsPassing(m_filter);
    if (onRowsFiltered)
        onRowsFiltered();
}

QString RuleListController::FilterCountText() const
{
    return QStringLiteral("%1 of %2").arg(m_model.RowCount()).arg(UnfilteredRowCount());
}

QStringList RuleListController::ModuleNames() const
{
    QSet<QString> seen;
    QStringList names;
    m_pool.ForEach([&](CVtrRule* rule) {
        const QString& module = rule->GetRuleModuleName();
        if (!module.isEmpty() && !seen.contains(module)) {
            seen.insert(module);
            names.append(module);
        }
    });
    names.sort(Qt::CaseInsensitive);
    return names;
}

void RuleListController::SetDiffering(QHash<const CVtrRule*, QStringList> differing)
{
    m_model.SetDiffering(std::move(differing));
    if (m_filter.differsOnly) {
        ApplyFilter(true);
        ReapplySort();
        RefreshStatus();
    }
}
