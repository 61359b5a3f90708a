#include "ProductTableModel.h"

#include <QHash>
#include <QLocale>

using vtr_db::ColumnKind;
using vtr_db::ProductColumn;

namespace {
QString DisplayText(const ProductColumn& column, const QVariant& value)
{
    if (!value.isValid())
        return {};
    if (column.kind == ColumnKind::Number)
        return QLocale::c().toString(value.toDouble(), 'g', 10);
    if (column.kind == ColumnKind::ProcessSet)
        return value.toStringList().join(QStringLiteral("; "));
    return value.toString();
}
} // namespace

ProductTableModel::ProductTableModel(
    vtr_db::ProductTable table, QList<int> shownColumns, QStringList checkProcesses, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_shown(std::move(shownColumns))
    , m_processes(std::move(checkProcesses))
    , m_processColumn(vtr_db::ProductColumnIndex(table, "Processes"))
{
    if (m_processColumn < 0)
        m_processes.clear();
}

QList<int> ProductTableModel::TextColumns(vtr_db::ProductTable table)
{
    QList<int> shown;
    const std::vector<ProductColumn>& columns = vtr_db::ProductColumns(table);
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].kind != ColumnKind::ProcessSet)
            shown << static_cast<int>(c);
    return shown;
}

bool ProductTableModel::Load(vtr_db::IDatabaseCollector* db, QString& error)
{
    QList<vtr_db::ProductRow> rows;
    bool ok = false;
    if (!db)
        error = QStringLiteral("no product database is configured");
    else
        ok = db->ReadProductTable(m_table, rows, error);
    beginResetModel();
    m_rows.clear();
    m_removed.clear();
    for (vtr_db::ProductRow& row : rows)
        m_rows.push_back(Entry { std::move(row), false });
    endResetModel();
    return ok;
}

bool ProductTableModel::IsModified() const
{
    if (!m_removed.isEmpty())
        return true;
    for (const Entry& e : m_rows)
        if (e.changed || e.row.id == 0)
            return true;
    return false;
}

vtr_db::ProductChanges ProductTableModel::Changes() const
{
    vtr_db::ProductChanges changes;
    changes.table = m_table;
    changes.removed = m_removed;
    for (const Entry& e : m_rows)
        if (e.changed || e.row.id == 0)
            changes.rows << e.row;
    return changes;
}

int ProductTableModel::FindProblem(QString& error) const
{
    const std::vector<ProductColumn>& columns = vtr_db::ProductColumns(m_table);
    QList<QHash<QString, int>> seen(static_cast<qsizetype>(columns.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        const vtr_db::ProductRow& row = m_rows[r].row;
        error = vtr_db::CheckProductRow(m_table, row);
        if (!error.isEmpty())
            return r;
        for (size_t c = 0; c < columns.size(); ++c) {
            if (!columns[c].unique)
                continue;
            const QString key = row.values[static_cast<qsizetype>(c)].toString().toLower();
            auto& taken = seen[static_cast<qsizetype>(c)];
            if (taken.contains(key)) {
                error = QStringLiteral("%1 \"%2\" is listed twice.")
                            .arg(QString::fromUtf8(columns[c].label), row.values[static_cast<qsizetype>(c)].toString());
                return r;
            }
            taken.insert(key, r);
        }
    }
    error.clear();
    return -1;
}

bool ProductTableModel::Store(vtr_db::IDatabaseCollector* db, QString& error, int& badRow)
{
    badRow = FindProblem(error);
    if (badRow >= 0)
        return false;
    if (!db) {
        error = QStringLiteral("no product database is configured");
        return false;
    }
    if (!db->WriteProductChanges(Changes(), error))
        return false;
    // Reading back gives new rows their ids, so a second Store does not add them again.
    QString readError;
    Load(db, readError);
    return true;
}

int ProductTableModel::AddRow()
{
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    Entry e;
    e.row.values.resize(static_cast<qsizetype>(vtr_db::ProductColumns(m_table).size()));
    if (m_processColumn >= 0)
        e.row.values[m_processColumn] = QStringList();
    // A choice column starts on its first choice, so the new row is closer to valid.
    const std::vector<ProductColumn>& columns = vtr_db::ProductColumns(m_table);
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].kind == ColumnKind::Choice && !columns[c].choices.isEmpty())
            e.row.values[static_cast<qsizetype>(c)] = columns[c].choices.first();
    m_rows.push_back(e);
    endInsertRows();
    return row;
}

bool ProductTableModel::RemoveRow(int row)
{
    if (m_readOnly || row < 0 || row >= m_rows.size())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    if (m_rows[row].row.id > 0)
        m_removed << m_rows[row].row.id;
    m_rows.removeAt(row);
    endRemoveRows();
    return true;
}

int ProductTableModel::TableColumn(int modelColumn) const
{
    return modelColumn >= 0 && modelColumn < m_shown.size() ? m_shown[modelColumn] : -1;
}

int ProductTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ProductTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size() + m_processes.size());
}

QVariant ProductTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const vtr_db::ProductRow& row = m_rows[index.row()].row;
    const int tableColumn = TableColumn(index.column());
    if (tableColumn < 0) {
        const QString& process = m_processes.value(index.column() - m_shown.size());
        const bool on = row.values.value(m_processColumn).toStringList().contains(process);
        if (role == Qt::CheckStateRole)
            return on ? Qt::Checked : Qt::Unchecked;
        if (role == SortRole)
            return on ? 1 : 0;
        if (role == Qt::ToolTipRole)
            return process;
        return {};
    }
    const ProductColumn& column = vtr_db::ProductColumns(m_table)[static_cast<size_t>(tableColumn)];
    const QVariant& value = row.values.value(tableColumn);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return DisplayText(column, value);
    case SortRole:
        if (column.kind == ColumnKind::Number)
            return value.isValid() ? value.toDouble() : -1e300;
        return DisplayText(column, value).toLower();
    case Qt::TextAlignmentRole:
        if (column.kind == ColumnKind::Number)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant ProductTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    const int tableColumn = TableColumn(section);
    if (tableColumn >= 0)
        return QString::fromUtf8(vtr_db::ProductColumns(m_table)[static_cast<size_t>(tableColumn)].label);
    return m_processes.value(section - m_shown.size());
}

Qt::ItemFlags ProductTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_readOnly)
        return f;
    return f | (TableColumn(index.column()) < 0 ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable);
}

bool ProductTableModel::Refuse(const QString& reason)
{
    m_lastRefusal = reason;
    emit Refused(reason);
    return false;
}

bool ProductTableModel::IsTaken(int tableColumn, const QString& text, int row) const
{
    for (int r = 0; r < m_rows.size(); ++r)
        if (r != row && m_rows[r].row.values.value(tableColumn).toString().compare(text, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool ProductTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= m_rows.size() || m_readOnly)
        return false;
    Entry& entry = m_rows[index.row()];
    const int tableColumn = TableColumn(index.column());
    if (tableColumn < 0) {
        if (role != Qt::CheckStateRole)
            return false;
        const QString& process = m_processes.value(index.column() - m_shown.size());
        QStringList processes = entry.row.values.value(m_processColumn).toStringList();
        const bool on = value.toInt() == Qt::Checked;
        if (processes.contains(process) == on)
            return true;
        if (on)
            processes << process;
        else
            processes.removeAll(process);
        entry.row.values[m_processColumn] = processes;
    } else {
        if (role != Qt::EditRole)
            return false;
        const ProductColumn& column = vtr_db::ProductColumns(m_table)[static_cast<size_t>(tableColumn)];
        QVariant parsed;
        QString error;
        if (!vtr_db::ParseProductValue(column, value.toString(), parsed, error))
            return Refuse(error);
        if (column.unique && IsTaken(tableColumn, parsed.toString(), index.row()))
            return Refuse(
                QStringLiteral("%1 \"%2\" already exists.").arg(QString::fromUtf8(column.label), parsed.toString()));
        if (parsed == entry.row.values[tableColumn])
            return true;
        entry.row.values[tableColumn] = parsed;
    }
    entry.changed = true;
    m_lastRefusal.clear();
    emit dataChanged(index, index);
    return true;
}
