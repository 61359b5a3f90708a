// Feeds arbitrary bytes to the ".xls" reader of the spreadsheet helper
// (FreeXL reads from a file, so each input is written to one first).

#include "XlsReader.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <cstddef>
#include <cstdint>

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("input.xls"));
    static const QStringList columns { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
        QStringLiteral("D") };
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    Spreadsheet::Table table;
    QString error;
    int32_t messageId = -1;
    const bool ok = Spreadsheet::ReadXls(path, columns, table, messageId, error);
    if (!ok) {
        if (error.isEmpty() || !table.isEmpty() || messageId != 61660)
            __builtin_trap();
        return 0;
    }
    if (messageId != 0 || table.size() != columns.size())
        __builtin_trap();
    for (const QStringList& column : table)
        if (column.size() > VTRCLRMangedHelper::kMaxRows || (!column.isEmpty() && column.last().isEmpty()))
            __builtin_trap();
    return 0;
}
