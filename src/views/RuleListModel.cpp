#include "views/RuleListModel.h"

#include "VtrRule.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <utility>

#include <QHash>

namespace {
// Appends text.toLower() as UTF-8. ASCII text, nearly all of it, is lowered
// straight into the buffer instead of through two copies.
void AppendLowerUtf8(std::string& out, const QString& text)
{
    if (!QtPrivate::isAscii(QStringView(text))) {
        out += text.toLower().toStdString();
        return;
    }
    const char16_t* units = QStringView(text).utf16();
    const auto size = static_cast<size_t>(text.size());
    const size_t start = out.size();
    out.resize(start + size);
    char* to = out.data() + start;
    for (size_t i = 0; i < size; ++i) {
        const char16_t c = units[i];
        to[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
    }
}

// Texts copied back to back, for ordering. Compared where they lie,
// scattered over the heap, a big list's sort would wait on memory at
// nearly every comparison.
class PackedTexts
{
public:
    explicit PackedTexts(const std::vector<QString>& values)
        : m_start(values.size() + 1, 0)
    {
        size_t total = 0;
        for (const QString& value : values)
            total += static_cast<size_t>(value.size());
        m_units.reserve(total);
        for (size_t k = 0; k < values.size(); ++k) {
            if (k + 8 < values.size())
                __builtin_prefetch(values[k + 8].constData());
            const QStringView value(values[k]);
            m_units.insert(m_units.end(), value.utf16(), value.utf16() + value.size());
            m_start[k + 1] = m_units.size();
        }
    }

    // Puts the text numbers in the order of QString::compare, case-sensitive:
    // UTF-16 unit by unit, a text before the longer texts it begins.
    void Sort(std::vector<uint32_t>& order) const
    {
        std::vector<uint32_t> scratch(order.size());
        SortFrom(order.data(), order.data() + order.size(), 0, 0, scratch.data());
    }

private:
    QStringView At(uint32_t k) const
    {
        return QStringView(m_units.data() + m_start[k], static_cast<qsizetype>(m_start[k + 1] - m_start[k]));
    }
    size_t Length(uint32_t k) const { return m_start[k + 1] - m_start[k]; }
    // The unit at depth, or -1 where the text has ended.
    int32_t UnitAt(uint32_t k, size_t depth) const
    {
        const size_t at = m_start[k] + depth;
        return at < m_start[k + 1] ? m_units[at] : -1;
    }

    // A most-significant-unit radix sort of texts that agree on their first
    // depth units. A group first skips the units all its texts share, so a
    // unit is read about once however long the shared beginnings are; the
    // work grows with the length of the texts, not with n log n
    // comparisons. Small groups, wide spreads of units and deep levels are
    // left to a comparison sort, which keeps the worst case at n log n.
    void SortFrom(uint32_t* first, uint32_t* last, size_t depth, int level, uint32_t* scratch) const
    {
        const auto n = static_cast<size_t>(last - first);
        if (n < 2)
            return;
        auto suffixLess = [this, depth](uint32_t a, uint32_t b) {
            return At(a).sliced(static_cast<qsizetype>(depth)).compare(At(b).sliced(static_cast<qsizetype>(depth))) < 0;
        };
        constexpr size_t kSmall = 24;
        constexpr int kDeepest = 48;
        if (n <= kSmall || level > kDeepest) {
            std::sort(first, last, suffixLess);
            return;
        }
        // Skip what every text of the group shares.
        const QStringView pivot = At(first[0]).sliced(static_cast<qsizetype>(depth));
        size_t common = static_cast<size_t>(pivot.size());
        for (const uint32_t* p = first + 1; p != last && common > 0; ++p) {
            const char16_t* a = pivot.utf16();
            const char16_t* b = m_units.data() + m_start[*p] + depth;
            const size_t limit = std::min(common, Length(*p) - depth);
            size_t i = 0;
            while (i < limit && a[i] == b[i])
                ++i;
            common = i;
        }
        depth += common;

        int32_t low = INT32_MAX;
        int32_t high = -1;
        for (const uint32_t* p = first; p != last; ++p) {
            const int32_t unit = UnitAt(*p, depth);
            low = std::min(low, unit);
            high = std::max(high, unit);
        }
        const auto spread = static_cast<size_t>(high - low) + 1;
        if (spread > 4 * n + 256) {
            std::sort(first, last, suffixLess);
            return;
        }
        // Counting sort on the unit; a text that ends here comes first.
        std::vector<size_t> bucketStart(spread + 1, 0);
        for (const uint32_t* p = first; p != last; ++p)
            ++bucketStart[static_cast<size_t>(UnitAt(*p, depth) - low) + 1];
        for (size_t b = 1; b <= spread; ++b)
            bucketStart[b] += bucketStart[b - 1];
        std::vector<size_t> next(bucketStart.begin(), bucketStart.end() - 1);
        for (const uint32_t* p = first; p != last; ++p)
            scratch[next[static_cast<size_t>(UnitAt(*p, depth) - low)]++] = *p;
        std::copy(scratch, scratch + n, first);
        for (size_t b = 0; b < spread; ++b) {
            // Texts that ended are equal; the others go on one unit further.
            if (low + static_cast<int32_t>(b) < 0)
                continue;
            SortFrom(first + bucketStart[b], first + bucketStart[b + 1], depth + 1, level + 1, scratch);
        }
    }

    std::vector<char16_t> m_units;
    std::vector<size_t> m_start;
};
} // namespace

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
        return MessageOf(rule);
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
        return CellText(index.row(), index.column());
    case Qt::ToolTipRole:
        if (index.column() == RuleColumn) {
            const QString differing = DifferingText(m_rows[static_cast<size_t>(index.row())].rule);
            if (!differing.isEmpty())
                return CellText(index.row(), index.column()) + QLatin1Char('\n') + differing;
        }
        return CellText(index.row(), index.column());
    case DiffersRole:
        return index.column() == RuleColumn && m_differing.contains(m_rows[static_cast<size_t>(index.row())].rule);
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

bool RuleListModel::SetCustomMessage(int row, const QString& text)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_customMessages.insert(m_rows[static_cast<size_t>(row)].rule, text);
    const QModelIndex i = index(row, CustomMessageColumn);
    emit dataChanged(i, i, { Qt::DisplayRole });
    return true;
}

QString RuleListModel::MessageOf(const CVtrRule* rule) const
{
    auto it = m_customMessages.constFind(rule);
    if (it == m_customMessages.constEnd())
        it = m_customMessages.insert(rule, m_lookup ? m_lookup(rule) : QString());
    return it.value();
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

bool RuleListModel::SetCheckedQuietly(int row, bool checked)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_rows[static_cast<size_t>(row)].checked = checked;
    return true;
}

void RuleListModel::AnnounceChecks(int first, int last)
{
    if (first < 0 || last < first || last >= RowCount())
        return;
    emit dataChanged(index(first, RuleColumn), index(last, RuleColumn), { Qt::CheckStateRole });
}

void RuleListModel::AnnounceTexts()
{
    if (!m_rows.empty())
        emit dataChanged(index(0, RuleColumn), index(RowCount() - 1, CriticalityColumn), { Qt::DisplayRole });
}

void RuleListModel::SetCheckedMany(const QList<int>& rows, bool checked)
{
    if (m_onCheckMany) {
        m_onCheckMany(rows, checked);
        return;
    }
    for (int row : rows)
        SetChecked(row, checked);
}

void RuleListModel::AppendRows(std::vector<Row> rows)
{
    if (rows.empty())
        return;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    m_names.Reserve(rows.size());
    for (Row& r : rows) {
        if (!r.keyed)
            TakeKeys(r);
        m_rows.push_back(std::move(r));
    }
    endInsertRows();
}

void RuleListModel::KeepRows(const std::function<bool(const Row&)>& keep)
{
    // Every row is decided before the views hear of a reset, so keep may
    // read the model; the rows then close up in place, allocating little.
    std::vector<char> kept(m_rows.size());
    bool dropsAny = false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        kept[i] = keep(m_rows[i]) ? 1 : 0;
        dropsAny = dropsAny || !kept[i];
    }
    if (!dropsAny)
        return;
    beginResetModel();
    size_t to = 0;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (kept[i])
            m_rows[to++] = m_rows[i];
    m_rows.resize(to);
    endResetModel();
}

void RuleListModel::SetRows(const std::vector<Row>& rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void RuleListModel::NumberRows()
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i].slot = static_cast<uint32_t>(i);
}

void RuleListModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

std::vector<RuleListModel::Row> RuleListModel::TakeRows()
{
    if (m_rows.empty())
        return {};
    beginResetModel();
    std::vector<Row> rows = std::exchange(m_rows, {});
    endResetModel();
    return rows;
}

uint32_t RuleListModel::KeyDictionary::Key(const QString& text)
{
    // The same characters in the same place are the same text.
    if (!m_values.empty() && text.size() == m_lastText.size() && text.constData() == m_lastText.constData())
        return m_lastKey;
    auto it = m_keys.constFind(text);
    uint32_t key = 0;
    if (it != m_keys.constEnd()) {
        key = it.value();
    } else {
        key = static_cast<uint32_t>(m_values.size());
        m_keys.insert(text, key);
        m_values.push_back(text);
        m_dirty = true;
    }
    m_lastText = text;
    m_lastKey = key;
    return key;
}

void RuleListModel::KeyDictionary::Reserve(size_t more)
{
    // Geometric, so that many small reservations stay linear in all.
    const size_t need = m_values.size() + more;
    if (need > m_values.capacity()) {
        const size_t capacity = std::max(need, 2 * m_values.capacity());
        m_keys.reserve(static_cast<qsizetype>(capacity));
        m_values.reserve(capacity);
    }
}

const std::vector<uint32_t>& RuleListModel::KeyDictionary::Ranks()
{
    if (m_dirty || m_ranks.size() != m_values.size()) {
        const PackedTexts texts(m_values);
        std::vector<uint32_t> order(m_values.size());
        std::iota(order.begin(), order.end(), 0u);
        texts.Sort(order);
        m_ranks.assign(m_values.size(), 0);
        for (size_t r = 0; r < order.size(); ++r)
            m_ranks[order[r]] = static_cast<uint32_t>(r);
        m_dirty = false;
    }
    return m_ranks;
}

std::vector<signed char> RuleListModel::KeyDictionary::Containing(const QString& lowerText)
{
    // Texts are lower-cased once, into one buffer. UTF-8 is matched byte by
    // byte: a hit always starts and ends on whole characters.
    if (m_lowerStart.empty())
        m_lowerStart.push_back(0);
    for (size_t k = m_lowerStart.size() - 1; k < m_values.size(); ++k) {
        // The texts lie all over the heap: fetch ahead.
        if (k + 8 < m_values.size())
            __builtin_prefetch(m_values[k + 8].constData());
        AppendLowerUtf8(m_lowerText, m_values[k]);
        m_lowerStart.push_back(m_lowerText.size());
    }
    std::vector<signed char> found(m_values.size(), lowerText.isEmpty() ? 1 : 0);
    if (lowerText.isEmpty() || found.empty())
        return found;
    const std::string needle = lowerText.toStdString();
    const char* const text = m_lowerText.data();
    const size_t size = m_lowerText.size();
    // One pass over the buffer; a hit that runs across the end of a text is
    // not one, and the search goes on inside that text.
    size_t key = 0;
    size_t from = 0;
    while (from < size) {
        const void* hit = memmem(text + from, size - from, needle.data(), needle.size());
        if (!hit)
            break;
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text);
        while (m_lowerStart[key + 1] <= at)
            ++key;
        if (at + needle.size() <= m_lowerStart[key + 1]) {
            found[key] = 1;
            from = m_lowerStart[key + 1]; // the next text may hold a hit too
        } else {
            from = at + 1;
        }
    }
    return found;
}

bool RuleListModel::TextFilter::operator()(const Row& row) const
{
    // Codes 1 to 5 have their own word; every other code shows as 0 does.
    const int32_t code = row.criticality >= 1 && row.criticality <= 5 ? row.criticality : 0;
    return name[row.nameKey] == 1 || category[row.categoryKey] == 1 || module[row.moduleKey] == 1
        || criticality[code] == 1;
}

RuleListModel::TextFilter RuleListModel::FilterFor(const QString& lowerText)
{
    TextFilter filter;
    filter.name = m_names.Containing(lowerText);
    filter.category = m_categories.Containing(lowerText);
    filter.module = m_modules.Containing(lowerText);
    for (int32_t code = 0; code < 6; ++code)
        filter.criticality[code] = CriticalityWord(code).toLower().contains(lowerText) ? 1 : 0;
    return filter;
}

void RuleListModel::KeepRowsContaining(const QString& lowerText)
{
    const TextFilter filter = FilterFor(lowerText);
    KeepRows([&filter](const Row& row) { return filter(row); });
}

void RuleListModel::SetRowsContaining(const std::vector<Row>& from, const QString& lowerText)
{
    const TextFilter filter = FilterFor(lowerText);
    beginResetModel();
    m_rows.clear();
    for (const Row& row : from)
        if (filter(row))
            m_rows.push_back(row);
    endResetModel();
}

void RuleListModel::TakeKeys(Row& row)
{
    row.keyed = true;
    row.nameKey = m_names.Key(row.rule->GetDisplayName());
    row.categoryKey = m_categories.Key(row.rule->GetRuleCategory());
    row.moduleKey = m_modules.Key(row.rule->GetRuleModuleName());
    row.criticality = row.rule->GetCriticality();
}

void RuleListModel::RefreshKeys()
{
    for (Row& row : m_rows)
        TakeKeys(row);
}

bool RuleListModel::RefreshRow(int row)
{
    if (row < 0 || row >= RowCount())
        return false;
    TakeKeys(m_rows[static_cast<size_t>(row)]);
    emit dataChanged(index(row, RuleColumn), index(row, CriticalityColumn), { Qt::DisplayRole, Qt::ToolTipRole });
    return true;
}

void RuleListModel::SortRows(int column, bool descending)
{
    if (column < RuleColumn || column > CriticalityColumn || m_rows.size() < 2)
        return;
    const size_t n = m_rows.size();
    // Every row gets a rank (equal rows share one); a stable counting sort
    // by rank then places the rows. Texts are ranked once per distinct text.
    std::vector<uint32_t> rank(n, 0);
    uint32_t rankCount = 0;
    if (column == CriticalityColumn) {
        int32_t low = m_rows[0].criticality;
        int32_t high = low;
        for (const Row& row : m_rows) {
            low = std::min(low, row.criticality);
            high = std::max(high, row.criticality);
        }
        if (static_cast<int64_t>(high) - low >= static_cast<int64_t>(n) + 64) {
            // Codes far apart (never the case for 1..5): rank the distinct values.
            std::vector<int32_t> values;
            values.reserve(n);
            for (const Row& row : m_rows)
                values.push_back(row.criticality);
            std::sort(values.begin(), values.end());
            values.erase(std::unique(values.begin(), values.end()), values.end());
            for (size_t i = 0; i < n; ++i)
                rank[i] = static_cast<uint32_t>(
                    std::lower_bound(values.begin(), values.end(), m_rows[i].criticality) - values.begin());
            rankCount = static_cast<uint32_t>(values.size());
        } else {
            for (size_t i = 0; i < n; ++i)
                rank[i] = static_cast<uint32_t>(m_rows[i].criticality - low);
            rankCount = static_cast<uint32_t>(high - low + 1);
        }
    } else {
        KeyDictionary& dictionary
            = column == RuleColumn ? m_names : (column == CategoryColumn ? m_categories : m_modules);
        const std::vector<uint32_t>& ranks = dictionary.Ranks();
        rankCount = dictionary.Size();
        if (column == RuleColumn) {
            // Ticked rows by name; two unchecked rules compare equal, one
            // rank after every ticked one.
            for (size_t i = 0; i < n; ++i)
                rank[i] = m_rows[i].checked ? ranks[m_rows[i].nameKey] : rankCount;
            ++rankCount;
        } else {
            for (size_t i = 0; i < n; ++i)
                rank[i] = ranks[column == CategoryColumn ? m_rows[i].categoryKey : m_rows[i].moduleKey];
        }
    }

    // Stable counting sort; descending walks the ranks backwards but keeps
    // rows of equal rank in their order, as a stable sort would. Counts and
    // places are 32 bits wide (a list never has 2^32 rows), which keeps them
    // in cache for big lists.
    std::vector<uint32_t> start(static_cast<size_t>(rankCount) + 1, 0);
    for (size_t i = 0; i < n; ++i)
        ++start[(descending ? rankCount - 1 - rank[i] : rank[i]) + 1];
    for (size_t r = 1; r <= rankCount; ++r)
        start[r] += start[r - 1];
    std::vector<uint32_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[start[descending ? rankCount - 1 - rank[i] : rank[i]]++] = static_cast<uint32_t>(i);

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted;
    sorted.reserve(n);
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < n; ++i) {
        // Rows are gathered from all over the list: ask for later ones early.
        if (i + kAhead < n)
            __builtin_prefetch(&m_rows[order[i + kAhead]]);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    // Indexes that views hold (selection, current row) follow their rows.
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        std::vector<int> newRowOf(n);
        for (size_t i = 0; i < n; ++i)
            newRowOf[order[i]] = static_cast<int>(i);
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& i : before)
            after.append(i.isValid() && i.row() < static_cast<int>(n)
                    ? index(newRowOf[static_cast<size_t>(i.row())], i.column())
                    : QModelIndex());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
