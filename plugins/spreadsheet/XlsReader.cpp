#include "XlsReader.h"

#include "VtrRegularFile.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <freexl.h>

#include <QFile>
#include <QFileInfo>

namespace Spreadsheet {
namespace {
// Closes the workbook however the reading ends; FreeXL wants a close even
// after a failed open.
class XlsHandle
{
public:
    ~XlsHandle()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    const void** Out() { return &m_handle; }
    const void* Get() const { return m_handle; }

private:
    const void* m_handle = nullptr;
};

QString FreeXlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("the file was not found");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("not enough memory");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("the workbook is damaged");
    default:
        return QStringLiteral("not a readable .xls workbook (FreeXL error %1)").arg(code);
    }
}
} // namespace

bool ReadXls(const QString& path, const QStringList& columns, Table& table, int32_t& messageId, QString& error)
{
    table.clear();
    messageId = kMsgInvalidFileFormat;
    ColumnTable out;
    if (!out.Init(columns, error)) {
        messageId = 0;
        return false;
    }
    // FreeXL opens by name: refuse a FIFO or device first (opening a FIFO
    // waits for a writer) and files far larger than any workbook.
    QString why;
    if (!VtrIsRegularFile(path, &why)) {
        error = QStringLiteral("%1 cannot be read: %2").arg(path, why);
        return false;
    }
    if (QFileInfo(path).size() > kMaxPartBytes) {
        error
            = QStringLiteral("%1 is larger than %2 MiB; it is not read.").arg(path).arg(kMaxPartBytes / (1024 * 1024));
        return false;
    }
    XlsHandle xls;
    int code = freexl_open(QFile::encodeName(path).constData(), xls.Out());
    if (code != FREEXL_OK) {
        error = QStringLiteral("%1: %2.").arg(path, FreeXlError(code));
        return false;
    }
    unsigned int info = 0;
    if (freexl_get_info(xls.Get(), FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) {
        error = QStringLiteral("%1: the workbook is protected by a password.").arg(path);
        return false;
    }
    if (freexl_get_info(xls.Get(), FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0) {
        error = QStringLiteral("%1: the workbook has no worksheet.").arg(path);
        return false;
    }
    unsigned int rows = 0;
    unsigned short lastColumn = 0;
    if (freexl_select_active_worksheet(xls.Get(), 0) != FREEXL_OK
        || freexl_worksheet_dimensions(xls.Get(), &rows, &lastColumn) != FREEXL_OK) {
        error = QStringLiteral("%1: the first worksheet cannot be read.").arg(path);
        return false;
    }
    if (rows > static_cast<unsigned int>(VTRCLRMangedHelper::kMaxRows)) {
        error = QStringLiteral("%1: the sheet has more rows than a worksheet can hold (%2).")
                    .arg(path)
                    .arg(VTRCLRMangedHelper::kMaxRows);
        return false;
    }
    for (unsigned int r = 0; r < rows; ++r) {
        for (int c = 0; c <= lastColumn; ++c) {
            if (!out.Wants(c))
                continue;
            FreeXL_CellValue cell;
            code = freexl_get_cell_value(xls.Get(), r, static_cast<unsigned short>(c), &cell);
            if (code != FREEXL_OK) {
                error = QStringLiteral("%1: cell %2%3 cannot be read (FreeXL error %4).")
                            .arg(path, ColumnLetters(c))
                            .arg(r + 1)
                            .arg(code);
                return false;
            }
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                text = NumberText(cell.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                text = NumberText(cell.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                if (cell.value.text_value)
                    text = CellTextFromUtf8(cell.value.text_value);
                break;
            default:
                break;
            }
            out.Set(c, static_cast<int64_t>(r) + 1, std::move(text));
        }
    }
    table = out.Take();
    messageId = 0;
    return true;
}
} // namespace Spreadsheet
