#pragma once

#include <cstdint>
#include <vector>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The product data behind the hardware, thread and material editors: which
// tables there are, their columns and the checks a row must pass. The
// database module builds its statements from these columns and the editors
// their tables, so both agree on one description.
namespace vtr_db {

// The editable tables of the product database.
enum class ProductTable { Fasteners, Threads, Materials };

// How a column's value is typed and checked.
enum class ColumnKind {
    Text, // free text
    Choice, // one of the column's choices
    Number, // a real number within the column's range
    ProcessSet, // the manufacturing processes a material suits (a QStringList)
};

// One column of a product table.
struct ProductColumn
{
    const char* sqlName; // column in the database
    const char* label; // heading in the editors
    ColumnKind kind;
    bool required; // an empty value is refused
    bool unique; // no two rows share the value (compared without regard to case)
    double minimum; // Number: the smallest value allowed
    double maximum; // Number: the largest value allowed
    QStringList choices; // Choice: the values allowed
};

// One row as the editors see it: the database id (0 for a row not stored
// yet) and one value per column of the table, in column order. An empty
// value is an invalid QVariant.
struct ProductRow
{
    int64_t id = 0;
    QVariantList values;
    // The row's version as it was read (raised by every write); a write
    // naming a version that is no longer the stored one is refused, so that
    // nobody's change is overwritten unseen. 0 writes without that check.
    int64_t version = 0;
    // Who last wrote the row, and when (UTC); empty for seed data.
    QString changedBy;
    QString changedAt;
};

// What an editor hands back on OK: rows to write (id 0 inserts) and the ids
// of rows to delete. Written in one transaction or not at all.
struct ProductChanges
{
    ProductTable table = ProductTable::Materials;
    QList<ProductRow> rows;
    QList<int64_t> removed;
    bool IsEmpty() const { return rows.isEmpty() && removed.isEmpty(); }
};

// The database table of a product table and its id column.
const char* ProductSqlTable(ProductTable table);
const char* ProductSqlId(ProductTable table);
// The columns of a product table, in order.
const std::vector<ProductColumn>& ProductColumns(ProductTable table);
// The index of a column by its database name, or -1.
int ProductColumnIndex(ProductTable table, const char* sqlName);

// The manufacturing processes materials are mapped to, in the order the
// process map shows them.
const QStringList& ManufacturingProcesses();

// Turns typed text into a column's value: numbers accept "." or "," as the
// decimal mark, empty text gives an empty value. False with the reason when
// the text does not fit the column.
bool ParseProductValue(const ProductColumn& column, const QString& text, QVariant& value, QString& error);
// The checks of one row on its own: required columns, kinds, ranges and the
// relations between columns (a length range, yield below tensile strength, a
// tap drill below the major diameter). Empty when the row is fine.
QString CheckProductRow(ProductTable table, const ProductRow& row);

} // namespace vtr_db
