// Ticking: check boxes applied to the document's list of selected rules,
// one row at a time or many in a batch, and the selected count kept.
#include "views/RuleListController.h"

#include "VtrRule.h"
#include "document/VTRRuleBuilderDoc.h"
#include "Utilities/VTRUIUtils.h"

#include <algorithm>

bool RuleListController::SetChecked(int row, bool checked)
{
    return m_model.SetChecked(row, checked);
}

void RuleListController::SetCheckedRows(const QList<int>& rows, bool checked)
{
    const OrderedRuleSet* selected = m_doc ? &m_doc->SelectedRules() : nullptr;
    // Rules, their names and the document's index lie all over memory, and a
    // pass over a big list would wait on memory at every row. Rows go in
    // groups, in a pipeline: while one group is handled, the rules of a group
    // further on are fetched with their index entries, and the names of the
    // next group, which are read through its rules.
    constexpr qsizetype kGroup = 16;
    constexpr qsizetype kRulesAhead = 3;
    constexpr qsizetype kNamesAhead = 1;
    auto fetchRules = [&](qsizetype start) {
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k)
            if (const CVtrRule* rule = m_model.RuleAt(rows[k])) {
                // The flag and the name lie at the start of the rule, which
                // may straddle two lines.
                __builtin_prefetch(rule);
                __builtin_prefetch(reinterpret_cast<const char*>(rule) + 39);
                if (selected) {
                    // The remembered place, or the index when there is none.
                    const uint32_t slot = m_model.Rows()[static_cast<size_t>(rows[k])].slot;
                    if (slot < m_places.size() && m_places[slot] != kNoPlace)
                        selected->PrefetchPlace(m_places[slot]);
                    else
                        selected->Prefetch(rule);
                }
            }
    };
    auto fetchNames = [&](qsizetype start) {
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k)
            if (const CVtrRule* rule = m_model.RuleAt(rows[k])) {
                // The name is logged; it often spans two lines.
                const QString& name = rule->GetRuleName();
                __builtin_prefetch(name.constData());
                __builtin_prefetch(name.constData() + name.size());
            }
    };
    m_inBatch = true;
    int first = m_model.RowCount();
    int last = -1;
    for (qsizetype g = 0; g < kRulesAhead; ++g)
        fetchRules(g * kGroup);
    for (qsizetype g = 0; g < kNamesAhead; ++g)
        fetchNames(g * kGroup);
    for (qsizetype start = 0; start < rows.size(); start += kGroup) {
        fetchRules(start + kRulesAhead * kGroup);
        fetchNames(start + kNamesAhead * kGroup);
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k) {
            const int row = rows[k];
            if (!m_model.SetCheckedQuietly(row, checked))
                continue;
            first = std::min(first, row);
            last = std::max(last, row);
            OnCheckChanged(row);
        }
    }
    m_inBatch = false;
    m_logBatch.Flush();
    // One change for the span: a view repaints once, not once per row.
    m_model.AnnounceChecks(first, last);
    if (onTitleChanged)
        onTitleChanged();
    RefreshStatus();
}

void RuleListController::OnCheckChanged(int row)
{
    CVtrRule* rule = m_model.RuleAt(row);
    if (!rule || !m_doc)
        return;
    m_lastChangedRow = row;
    const bool wasSelected = rule->GetSelected() == 1;
    bool listed = false;
    bool wasListed = false;
    if (m_model.IsChecked(row)) {
        wasListed = WasListed(row, rule, true);
        listed = true;
        if (rule->GetSelected() == 0) {
            rule->SetSelected(1);
            m_doc->SetModifiedFlag(true);
            Log(QStringLiteral("%s Rule is Selected"), rule->GetRuleName());
        }
    } else if (wasSelected) {
        // The rule stays in the document's list with flag 0, so the file
        // keeps its settings marked as not selected.
        listed = wasListed = WasListed(row, rule, false);
        rule->SetSelected(0);
        if (listed) {
            m_doc->SetModifiedFlag(true);
            Log(QStringLiteral("%s Rule is Deselected"), rule->GetRuleName());
        }
    }
    const bool countedBefore = wasSelected && wasListed;
    const bool countedAfter = rule->GetSelected() == 1 && listed;
    m_selectedCount += (countedAfter ? 1 : 0) - (countedBefore ? 1 : 0);
    if (m_inBatch)
        return;
    if (onTitleChanged)
        onTitleChanged();
    RefreshStatus();
}

bool RuleListController::WasListed(int row, CVtrRule* rule, bool append)
{
    OrderedRuleSet& selected = m_doc->SelectedRules();
    const uint32_t slot = m_model.Rows()[static_cast<size_t>(row)].slot;
    uint32_t* remembered = slot < m_places.size() ? &m_places[slot] : nullptr;
    if (remembered && selected.IsAt(rule, *remembered))
        return true;
    size_t place = OrderedRuleSet::kNoPlace;
    bool was = false;
    if (append) {
        was = !selected.Append(rule, place);
    } else {
        place = selected.PlaceOf(rule);
        was = place != OrderedRuleSet::kNoPlace;
    }
    if (remembered)
        *remembered = place < kNoPlace ? static_cast<uint32_t>(place) : kNoPlace;
    return was;
}

void RuleListController::NumberRows()
{
    m_model.NumberRows();
    m_places.assign(static_cast<size_t>(m_model.RowCount()), kNoPlace);
}

void RuleListController::Log(const QString& message, const QString& text)
{
    if (m_inBatch)
        m_logBatch.AddWithText(message, text);
    else
        LogWithText(message, text);
}

void RuleListController::RecountSelected()
{
    int count = 0;
    if (m_doc)
        m_doc->SelectedRules().ForEach([&count](CVtrRule* r) { count += r->GetSelected() == 1 ? 1 : 0; });
    m_selectedCount = count;
}
