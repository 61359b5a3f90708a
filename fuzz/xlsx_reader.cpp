// Feeds arbitrary bytes to the ".xlsx" reader of the spreadsheet helper as a
// workbook held in memory, and checks what a successful read promises.

#include "XlsxReader.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QStringList columns { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
        QStringLiteral("D") };
    Spreadsheet::Table table;
    QString error;
    const bool ok = Spreadsheet::ReadXlsxBuffer(data, size, columns, table, error);
    if (!ok) {
        // A refusal always says why and hands out nothing.
        if (error.isEmpty() || !table.isEmpty())
            __builtin_trap();
        return 0;
    }
    if (table.size() != columns.size())
        __builtin_trap();
    for (const QStringList& column : table) {
        // Every list ends on a cell with text, within the rows of a worksheet.
        if (column.size() > VTRCLRMangedHelper::kMaxRows || (!column.isEmpty() && column.last().isEmpty()))
            __builtin_trap();
        for (const QString& cell : column)
            for (QChar c : cell)
                if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
                    __builtin_trap();
    }
    return 0;
}
