#pragma once

#include "ProductData.h"
#include "VTRDataHelper.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// One product table as an editor shows it: a copy of the stored rows that
// the user edits, adds to and deletes from, checked as values are typed, and
// written back in one transaction on Store. Nothing reaches the database
// before Store, so dropping the model is Cancel. Some columns of the table
// are shown as text; processes can be shown as one check box column each.
class ProductTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The role the editors sort by: numbers as numbers, text without case,
    // check boxes as 0 or 1.
    static constexpr int SortRole = Qt::UserRole + 1;

    // shownColumns index the table's columns; checkProcesses add one check
    // box column each (Materials only), after the shown columns.
    ProductTableModel(vtr_db::ProductTable table, QList<int> shownColumns, QStringList checkProcesses = {},
        QObject* parent = nullptr);

    // Every column of a table that shows as text (all but the process set).
    static QList<int> TextColumns(vtr_db::ProductTable table);

    vtr_db::ProductTable Table() const { return m_table; }
    // Replaces the rows by the stored ones; false with the reason when the
    // database cannot be read (the model is then empty).
    bool Load(vtr_db::IDatabaseCollector* db, QString& error);
    // Checks every row and writes the changes in one transaction; on success
    // the model holds what is stored. False with the reason (and the row at
    // fault, or -1) otherwise; the edits stay in the model.
    bool Store(vtr_db::IDatabaseCollector* db, QString& error, int& badRow);
    // Whether anything was added, changed or deleted since Load.
    bool IsModified() const;
    // The changes Store would write.
    vtr_db::ProductChanges Changes() const;
    // The first row that cannot be stored (a check of the row, or a value
    // that another row already has), or -1.
    int FindProblem(QString& error) const;

    // Appends an empty row and returns its index.
    int AddRow();
    // Deletes a row; a stored row is deleted from the database on Store.
    bool RemoveRow(int row);
    // A row as it stands.
    const vtr_db::ProductRow& Row(int row) const { return m_rows[row].row; }
    // The table column shown in a model column, or -1 for a process column.
    int TableColumn(int modelColumn) const;
    // Refuses every edit.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool IsReadOnly() const { return m_readOnly; }
    // Why the last edit was refused.
    QString LastRefusal() const { return m_lastRefusal; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Typed text (EditRole) is parsed and checked; check boxes toggle a
    // process. A refused value leaves the cell as it was and emits Refused.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // An edit was refused, with the reason.
    void Refused(const QString& reason);

private:
    struct Entry
    {
        vtr_db::ProductRow row;
        bool changed = false;
    };

    bool Refuse(const QString& reason);
    // Whether another row than row holds text in a unique column.
    bool IsTaken(int tableColumn, const QString& text, int row) const;

    vtr_db::ProductTable m_table;
    QList<int> m_shown;
    QStringList m_processes;
    int m_processColumn = -1;
    QList<Entry> m_rows;
    QList<int64_t> m_removed;
    bool m_readOnly = false;
    QString m_lastRefusal;
};
