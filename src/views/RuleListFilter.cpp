// The filter bar's filter over the rule list's rows and the marks of rules
// whose settings differ from their defaults, which it can filter by.
#include "views/RuleListFilter.h"

#include "VtrRule.h"
#include "views/RuleListModel.h"

namespace {
// Codes outside 1..5 show as Medium.
int ShownCriticality(int32_t code)
{
    return code >= 1 && code <= 5 ? code : 3;
}
} // namespace

std::vector<signed char> RuleListModel::KeyDictionary::Equal(const QString& text) const
{
    std::vector<signed char> equal(m_values.size(), 0);
    for (size_t k = 0; k < m_values.size(); ++k)
        equal[k] = m_values[k] == text ? 1 : 0;
    return equal;
}

void RuleListModel::KeepRowsPassing(const RuleListFilter& filter)
{
    if (filter.IsEmpty())
        return;
    const QString lower = filter.text.toLower();
    std::vector<signed char> name;
    std::vector<signed char> category;
    std::vector<signed char> module;
    if (!lower.isEmpty()) {
        name = m_names.Containing(lower);
        category = m_categories.Containing(lower);
        module = m_modules.Containing(lower);
    }
    std::vector<signed char> moduleIs;
    if (!filter.module.isEmpty())
        moduleIs = m_modules.Equal(filter.module);
    const int criticality = filter.criticality == 0 ? 0 : ShownCriticality(filter.criticality);
    // The cheap tests first; the message, which may have to be looked up,
    // last and only for rows that pass everything else.
    KeepRows([&](const Row& row) {
        if (filter.tickedOnly && !row.checked)
            return false;
        if (criticality != 0 && ShownCriticality(row.criticality) != criticality)
            return false;
        if (!moduleIs.empty() && moduleIs[row.moduleKey] != 1)
            return false;
        if (filter.differsOnly && !m_differing.contains(row.rule))
            return false;
        if (lower.isEmpty())
            return true;
        if (name[row.nameKey] == 1 || category[row.categoryKey] == 1 || module[row.moduleKey] == 1)
            return true;
        return MessageOf(row.rule).contains(filter.text, Qt::CaseInsensitive);
    });
}

void RuleListModel::SetDiffering(QHash<const CVtrRule*, QStringList> differing)
{
    m_differing = std::move(differing);
    if (!m_rows.empty())
        emit dataChanged(index(0, RuleColumn), index(RowCount() - 1, RuleColumn), { Qt::ToolTipRole, DiffersRole });
}

const QStringList* RuleListModel::DifferingSettings(const CVtrRule* rule) const
{
    const auto it = m_differing.constFind(rule);
    return it == m_differing.constEnd() ? nullptr : &it.value();
}

QString RuleListModel::DifferingText(const CVtrRule* rule) const
{
    const QStringList* settings = DifferingSettings(rule);
    if (!settings)
        return {};
    return QStringLiteral("Differs from the defaults: %1").arg(settings->join(QLatin1String(", ")));
}
