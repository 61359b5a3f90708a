// The exports of the spreadsheet helper. Each guards its pointers and keeps
// every exception inside the library, since its callers are C entries.

#include "XlsConverter.h"
#include "XlsReader.h"
#include "XlsxReader.h"
#include "XlsxWriter.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <exception>
#include <new>

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
template <typename Fn> bool Guarded(QString* error, Fn fn)
{
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        if (error)
            *error = QStringLiteral("Not enough memory for the sheet.");
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
    }
    return false;
}

QString MissingArgument()
{
    return QStringLiteral("The spreadsheet helper was called without a file name or table.");
}
} // namespace

VTR_EXPORT bool RuleManagerExportCustomMsg(const QString* path, const QList<QStringList>* rows, QString* error)
{
    QString why;
    const bool ok = Guarded(&why, [&] {
        if (!path || !rows) {
            why = MissingArgument();
            return false;
        }
        return Spreadsheet::WriteXlsx(*path, *rows, why);
    });
    if (error)
        *error = ok ? QString() : why;
    return ok;
}

VTR_EXPORT bool ReadExcelAndFillTableColByCol(
    const QString* path, const QStringList* columns, QList<QStringList>* table, QString* error)
{
    QString why;
    Spreadsheet::Table read;
    const bool ok = Guarded(&why, [&] {
        if (!path || !columns || !table) {
            why = MissingArgument();
            return false;
        }
        return Spreadsheet::ReadXlsxFile(*path, *columns, read, why);
    });
    if (table)
        *table = ok ? std::move(read) : Spreadsheet::Table();
    if (error)
        *error = ok ? QString() : why;
    return ok;
}

VTR_EXPORT bool RuleManagerExportCustomMsgXls(
    const QString* path, const QList<QStringList>* rows, int32_t* messageId, QString* error)
{
    QString why;
    int32_t id = Spreadsheet::kMsgUnableToCreateSheet;
    const bool ok = Guarded(&why, [&] {
        if (!path || !rows) {
            why = MissingArgument();
            return false;
        }
        return Spreadsheet::WriteXls(*path, *rows, id, why);
    });
    if (messageId)
        *messageId = ok ? 0 : id;
    if (error)
        *error = ok ? QString() : why;
    return ok;
}

VTR_EXPORT bool ReadXlsAndFillTableColByCol(
    const QString* path, const QStringList* columns, QList<QStringList>* table, int32_t* messageId, QString* error)
{
    QString why;
    int32_t id = Spreadsheet::kMsgInvalidFileFormat;
    Spreadsheet::Table read;
    const bool ok = Guarded(&why, [&] {
        if (!path || !columns || !table) {
            why = MissingArgument();
            return false;
        }
        return Spreadsheet::ReadXls(*path, *columns, read, id, why);
    });
    if (table)
        *table = ok ? std::move(read) : Spreadsheet::Table();
    if (messageId)
        *messageId = ok ? 0 : id;
    if (error)
        *error = ok ? QString() : why;
    return ok;
}
