#pragma once

#include "custommsg/CustomMessageImport.h"

#include <QList>
#include <QString>
#include <QStringList>

class ICustomMessageRows;
struct CustomMessageServices;

// The export and import commands of custom messages over the listed rows,
// for the rule list view and the command-line tool alike. Messages go
// through the message interface; what differs between the two (the file
// dialogs, the warning and error dialogs) stays with the caller.
namespace CustomMessageTransfer {
// The export dialog: title 116, this name, this filter; it starts in the
// user's documents folder.
inline constexpr char kExportName[] = "CustomMessageTemplate.xlsx";
inline constexpr char kExportFilter[] = "Excel Files (*.xls;*.xlsx)|*.xls;*.xlsx|";
// The import dialog: this default extension and filter.
inline constexpr char kImportExtension[] = "XLS";
inline constexpr char kImportFilter[] = "XLS Files (*.xls;*.xlsx)|*.xls; *.xlsx|";

// The sheet of an export: the header row, then per listed row the help id,
// display name, category and the message the row shows.
QList<QStringList> ExportTable(const ICustomMessageRows& rows);
// Why an export path is refused (61666 empty, 61667 not ".xls" or ".xlsx"
// in any case), or 0.
int CheckExportPath(const QString& path);
// Writes the listed rows' messages to path: false after showing why (the
// path's refusal or the helper's reason). Opens nothing.
bool Export(const QString& path, const ICustomMessageRows& rows);

// What an import did.
struct ImportResult
{
    // The sheet was read, passed the header and count checks and its log
    // was written: storing was tried.
    bool checked = false;
    // Storing ran to its end.
    bool stored = false;
    // The three logged checks.
    CustomMessageImport::CheckResult checks;
    QString logPath;
    bool AnyFlag() const { return checks.AnyFlag(); }
};
// Reads path, checks it, writes its log under tempFolder and stores what it
// may; shows each refusal, and 61664 when everything was stored without a
// flag. The error dialog for a raised flag is the caller's.
ImportResult Import(
    const QString& path, ICustomMessageRows& rows, const CustomMessageServices& services, const QString& tempFolder);
} // namespace CustomMessageTransfer
