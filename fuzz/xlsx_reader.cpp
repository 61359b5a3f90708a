// Feeds arbitrary bytes to the ".xlsx" reader of the spreadsheet helper and
// checks what a successful read promises. An input that starts like a zip
// archive ("PK") is read as a workbook in memory; any other input is split at
// lines "====" into the unpacked parts of a workbook (the first worksheet, the
// shared strings, the workbook, its relationships, the package's), so that
// mutations reach the XML instead of failing the archive's checksums.

#include "XlsxReader.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace {
std::map<std::string, std::string> Parts(std::string_view input)
{
    static const char* const names[] = { "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml",
        "xl/_rels/workbook.xml.rels", "_rels/.rels" };
    constexpr std::string_view separator = "\n====\n";
    std::map<std::string, std::string> parts;
    for (const char* name : names) {
        const size_t end = input.find(separator);
        const std::string_view part = input.substr(0, end);
        if (!part.empty()) // an empty part is a missing one
            parts.emplace(name, std::string(part));
        if (end == std::string_view::npos)
            break;
        input.remove_prefix(end + separator.size());
    }
    return parts;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QStringList columns { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
        QStringLiteral("D") };
    Spreadsheet::Table table;
    QString error;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool ok = input.substr(0, 2) == "PK" ? Spreadsheet::ReadXlsxBuffer(data, size, columns, table, error)
                                               : Spreadsheet::ReadXlsxParts(Parts(input), columns, table, error);
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
