#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include <QList>
#include <QString>
#include <QStringList>

// What the readers and writers of the spreadsheet helper share: cell texts,
// cell references and the column-major table a reader fills.
namespace Spreadsheet {
// A table of cell texts: rows when writing, columns when reading.
using Table = QList<QStringList>;

// The most columns a worksheet holds ("XFD").
inline constexpr int kMaxColumns = 16384;
// The most bytes one part of a workbook (or an ".xls" file) may unpack to;
// a zip bomb stops here instead of filling the memory.
inline constexpr qint64 kMaxPartBytes = 256ll * 1024 * 1024;

// A number as the custom-message table shows it: six decimals, then the
// trailing zeros and a trailing "." removed (1234 gives "1234", 12.5 "12.5").
QString NumberText(double value);
// The 0-based index of a column from its letters ("A" 0, "XFD" 16383), or -1.
int ColumnIndex(std::string_view letters);
// Splits a cell reference ("B12") into a 0-based column and a 1-based row;
// false when it is not one.
bool ParseCellReference(std::string_view reference, int& column, int64_t& row);
// The letters of a 0-based column index.
QString ColumnLetters(int column);
// Cell text from the XML of a workbook: "_xHHHH_" escapes decoded, then every
// control character other than tab, line feed and carriage return removed,
// since such characters cannot be stored, logged or shown as text.
QString CellTextFromXml(std::string_view utf8);
// Cell text from a library that hands out UTF-8: control characters removed
// as above; invalid UTF-8 becomes U+FFFD.
QString CellTextFromUtf8(std::string_view utf8);

// Collects the cells of the requested columns into one list per column, each
// running from row 1 to its last non-empty cell. A row with no text in any
// requested column is no row: it is left out, so that a single cell far down
// the sheet costs one entry, not a list padded to its row number. Row 1, the
// headers, always keeps index 0.
class ColumnTable
{
public:
    // Maps the requested column letters; false with the reason when one is
    // not a column.
    bool Init(const QStringList& letters, QString& error);
    // Whether cells of this 0-based column are wanted.
    bool Wants(int column) const { return column >= 0 && column < kMaxColumns && m_slot[column] >= 0; }
    // Puts a cell's text at a 1-based row; empty texts and unwanted columns
    // leave the table as it is. The last text given for a cell wins.
    void Set(int column, int64_t row, QString text);
    // The filled table, one list per requested letter in the requested order,
    // the rows with text in order of their row numbers. Costs linear time in
    // the cells set when they came row by row, as readers give them.
    Table Take();

private:
    struct Cell
    {
        int64_t row;
        int16_t slot;
        QString text;
    };
    std::vector<int16_t> m_slot;
    qsizetype m_columnCount = 0;
    std::vector<Cell> m_cells;
};
} // namespace Spreadsheet
