#include "views/RuleListModel.h"

#include "VtrRule.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <numeric>

#include <QHash>

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
    // Every row gets a rank (equal rows share one); a stable counting sort
    // by rank then orders the rows. Categories, modules and criticality
    // codes have few distinct values, so only those values are compared and
    // the sort stays linear in the number of rows; column 0 compares the
    // names of the ticked rules only.
    std::vector<uint32_t> rank(n, 0);
    uint32_t rankCount = 0;
    if (column == RuleColumn) {
        std::vector<size_t> checked;
        for (size_t i = 0; i < n; ++i) {
            m_rows[i].rule->SetSelected(m_rows[i].checked ? 1 : 0);
            if (m_rows[i].checked)
                checked.push_back(i);
        }
        std::stable_sort(checked.begin(), checked.end(), [this](size_t a, size_t b) {
            return m_rows[a].rule->GetDisplayName().compare(m_rows[b].rule->GetDisplayName(), Qt::CaseSensitive) < 0;
        });
        for (size_t k = 0; k < checked.size(); ++k) {
            if (k > 0 && m_rows[checked[k]].rule->GetDisplayName() != m_rows[checked[k - 1]].rule->GetDisplayName())
                ++rankCount;
            rank[checked[k]] = rankCount;
        }
        if (!checked.empty())
            ++rankCount;
        // Two unchecked rules compare equal: one rank after every ticked one.
        for (size_t i = 0; i < n; ++i)
            if (!m_rows[i].checked)
                rank[i] = rankCount;
        ++rankCount;
    } else if (column == CriticalityColumn) {
        std::vector<int> values;
        QHash<int, uint32_t> index;
        for (size_t i = 0; i < n; ++i) {
            const int v = m_rows[i].rule->GetCriticality();
            if (!index.contains(v)) {
                index.insert(v, 0);
                values.push_back(v);
            }
        }
        std::sort(values.begin(), values.end());
        for (size_t k = 0; k < values.size(); ++k)
            index[values[k]] = static_cast<uint32_t>(k);
        for (size_t i = 0; i < n; ++i)
            rank[i] = index.value(m_rows[i].rule->GetCriticality());
        rankCount = static_cast<uint32_t>(values.size());
    } else {
        auto key = [&](size_t i) -> const QString& {
            return column == CategoryColumn ? m_rows[i].rule->GetRuleCategory() : m_rows[i].rule->GetRuleModuleName();
        };
        QHash<QString, uint32_t> index;
        std::vector<QString> values;
        for (size_t i = 0; i < n; ++i) {
            if (!index.contains(key(i))) {
                index.insert(key(i), 0);
                values.push_back(key(i));
            }
        }
        std::sort(values.begin(), values.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseSensitive) < 0; });
        for (size_t k = 0; k < values.size(); ++k)
            index[values[k]] = static_cast<uint32_t>(k);
        for (size_t i = 0; i < n; ++i)
            rank[i] = index.value(key(i));
        rankCount = static_cast<uint32_t>(values.size());
    }

    // Stable counting sort; descending walks the ranks backwards but keeps
    // rows of equal rank in their order, as a stable sort would.
    std::vector<size_t> start(rankCount + 1, 0);
    for (size_t i = 0; i < n; ++i)
        ++start[(descending ? rankCount - 1 - rank[i] : rank[i]) + 1];
    for (size_t r = 1; r <= rankCount; ++r)
        start[r] += start[r - 1];
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[start[descending ? rankCount - 1 - rank[i] : rank[i]]++] = i;

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
