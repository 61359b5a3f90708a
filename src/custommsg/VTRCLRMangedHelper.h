#pragma once

#include <cstdint>

#include <QList>
#include <QString>
#include <QStringList>

// The contract of the spreadsheet helper library "VTRCLRMangedHelper.so": its
// name, its exports and their signatures. The program loads it for each call
// and frees it after (see SpreadsheetHelper.h); nothing else links it.
//
// Tables are lists of lists of cell texts: for writing, rows (the header row
// first, four cells each); for reading, columns (one list per requested column
// letter, row 1 first, so index 0 is the header).
namespace VTRCLRMangedHelper {
// Base name of the library (the suffix is the platform's).
inline constexpr char kLibrary[] = "VTRCLRMangedHelper";
// Writes an ".xlsx" sheet.
inline constexpr char kExport[] = "RuleManagerExportCustomMsg";
// Reads the first worksheet of an ".xlsx" file column by column.
inline constexpr char kRead[] = "ReadExcelAndFillTableColByCol";
// Writes an ".xls" sheet (an ".xlsx" converted by LibreOffice).
inline constexpr char kExportXls[] = "RuleManagerExportCustomMsgXls";
// Reads the first worksheet of an ".xls" file column by column.
inline constexpr char kReadXls[] = "ReadXlsAndFillTableColByCol";
// Name of the sheet that both writers produce.
inline constexpr char kSheetName[] = "Custom_Message";
// The most rows a worksheet holds; a file claiming more is refused.
inline constexpr int32_t kMaxRows = 1048576;
} // namespace VTRCLRMangedHelper

extern "C" {
// RuleManagerExportCustomMsg(path, rows, error): writes rows to the ".xlsx"
// file at path (replacing it only once the new file is complete). True when
// written; on false the reason is in error.
typedef bool (*PFN_RuleManagerExportCustomMsg)(const QString* path, const QList<QStringList>* rows, QString* error);

// ReadExcelAndFillTableColByCol(path, columns, table, error): columns holds
// column letters ("A", "B", "C", "D"); table receives one list per letter, in
// the same order, each running from row 1 to the last row in which that column
// has a non-empty cell (empty cells before it read as ""). Rows with no text
// in any of the columns are left out; row 1 keeps index 0. Numbers read as
// their shortest decimal text ("1234", "12.5"). True on success; on false the
// reason is in error (possibly empty) and table is left empty.
typedef bool (*PFN_ReadExcelAndFillTableColByCol)(
    const QString* path, const QStringList* columns, QList<QStringList>* table, QString* error);

// RuleManagerExportCustomMsgXls(path, rows, messageId, error): as
// RuleManagerExportCustomMsg for an ".xls" file. On false, messageId holds
// the id of the system's message to show when the failure is one of them
// (108 LibreOffice missing, 109 conversion failed), else 0; error holds the
// details.
typedef bool (*PFN_RuleManagerExportCustomMsgXls)(
    const QString* path, const QList<QStringList>* rows, int32_t* messageId, QString* error);

// ReadXlsAndFillTableColByCol(path, columns, table, messageId, error): as
// ReadExcelAndFillTableColByCol for an ".xls" file. On false, messageId holds
// 61660 (not a readable ".xls" workbook) or 0; error holds the details.
typedef bool (*PFN_ReadXlsAndFillTableColByCol)(
    const QString* path, const QStringList* columns, QList<QStringList>* table, int32_t* messageId, QString* error);
}
