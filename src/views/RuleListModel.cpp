#include "views/RuleListModel.h"

#include "VtrRule.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <numeric>

RuleListModel::RuleListModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

int RuleListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int RuleListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString RuleListModel::CriticalityWord(int criticality)
{
    static const int kIds[] = { 567, 568, 569, 570, 571 };
    if (criticality < 1 || criticality > 5)
        return VtrString(569);
    return VtrString(kIds[criticality - 1]);
}

QString RuleListModel::CellText(int row, int column) const
{
    if (row < 0 || row >= RowCount())
        return {};
    const Row& r = m_rows[static_cast<size_t>(row)];
    const CVtrRule* rule = r.rule;
    switch (column) {
    case RuleColumn:
        return rule->GetDisplayName();
    case CategoryColumn:
        return rule->GetRuleCategory();
    case ModuleColumn:
        return rule->GetRuleModuleName();
    case CriticalityColumn:
        return CriticalityWord(rule->GetCriticality());
    case CustomMessageColumn:
        if (!r.customMessage)
            r.customMessage = m_lookup ? m_lookup(rule) : QString();
        return *r.customMessage;
    default:
        return {};
    }
}

QVariant RuleListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return CellText(index.row(), index.column());
    case Qt::CheckStateRole:
        if (index.column() == RuleColumn)
            return m_rows[static_cast<size_t>(index.row())].checked ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

QVariant RuleListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const int kHeaders[] = { 554, 555, 561, 562, 61652 };
    if (section < 0 || section >= ColumnCount)
        return {};
    return VtrString(kHeaders[section]);
}

Qt::ItemFlags RuleListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == RuleColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool RuleListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != RuleColumn)
        return false;
    return SetChecked(index.row(), value.toInt() == Qt::Checked);
}

CVtrRule* RuleListModel::RuleAt(int row) const
{
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].rule : nullptr;
}

bool RuleListModel::IsChecked(int row) const
{
    return row >= 0 && row < RowCount() && m_rows[static_cast<size_t>(row)].checked;
}

bool RuleListModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= RowCount())
        return false;
    Row& r = m_rows[static_cast<size_t>(row)];
    if (r.checked != checked) {
        r.checked = checked;
        const QModelIndex i = index(row, RuleColumn);
        emit dataChanged(i, i, { Qt::CheckStateRole });
    }
    if (m_onCheck)
        m_onCheck(row);
    return true;
}

void RuleListModel::AppendRows(std::vector<Row> rows)
{
    if (rows.empty())
        return;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    for (Row& r : rows)
        m_rows.push_back(std::move(r));
    endInsertRows();
}

void RuleListModel::KeepRows(const std::function<bool(const Row&)>& keep)
{
    std::vector<Row> kept;
    kept.reserve(m_rows.size());
    for (Row& r : m_rows)
        if (keep(r))
            kept.push_back(std::move(r));
    if (kept.size() == m_rows.size()) {
        m_rows = std::move(kept);
        return;
    }
    beginResetModel();
    m_rows = std::move(kept);
    endResetModel();
}

void RuleListModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void RuleListModel::SortRows(int column, bool descending)
{
    if (column < RuleColumn || column > CriticalityColumn || m_rows.size() < 2)
        return;
    const size_t n = m_rows.size();
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t { 0 });
    // Keys are computed once; the comparator only looks them up.
    std::vector<const QString*> textKey(n, nullptr);
    std::vector<int> numberKey(n, 0);
    for (size_t i = 0; i < n; ++i) {
        CVtrRule* rule = m_rows[i].rule;
        switch (column) {
        case RuleColumn:
            rule->SetSelected(m_rows[i].checked ? 1 : 0);
            numberKey[i] = m_rows[i].checked ? 0 : 1;
            textKey[i] = &rule->GetDisplayName();
            break;
        case CategoryColumn:
            textKey[i] = &rule->GetRuleCategory();
            break;
        case ModuleColumn:
            textKey[i] = &rule->GetRuleModuleName();
            break;
        default:
            numberKey[i] = rule->GetCriticality();
            break;
        }
    }
    auto compare = [&](size_t a, size_t b) -> int {
        switch (column) {
        case RuleColumn:
            if (numberKey[a] != numberKey[b])
                return numberKey[a] < numberKey[b] ? -1 : 1;
            if (numberKey[a] == 1)
                return 0; // two unchecked rules are equal
            return textKey[a]->compare(*textKey[b], Qt::CaseSensitive);
        case CategoryColumn:
        case ModuleColumn:
            return textKey[a]->compare(*textKey[b], Qt::CaseSensitive);
        default:
            return numberKey[a] == numberKey[b] ? 0 : (numberKey[a] < numberKey[b] ? -1 : 1);
        }
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = compare(a, b);
        return descending ? c > 0 : c < 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(n);
    std::vector<Row> sorted;
    sorted.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        newRowOf[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(i.isValid() && i.row() < static_cast<int>(n)
                ? index(newRowOf[static_cast<size_t>(i.row())], i.column())
                : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
