#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What a spreadsheet call gave: success, or what to tell the user.
struct SpreadsheetOutcome
{
    // Whether the call did its work.
    bool ok = false;
    // Id of the system's message for the failure (108, 109, 61660, 61663), or 0.
    int messageId = 0;
    // The helper's own reason for the failure; may be empty.
    QString error;
    // The text to show for a failure: the system's message when there is one,
    // then the reason on a line of its own; else the reason, else fallback.
    QString Message(const QString& fallback = QString()) const;
};

// The spreadsheet helper library "VTRCLRMangedHelper.so" beside the program,
// loaded for each call and freed after it. A name ending in ".xlsx" goes the
// ".xlsx" way (RuleManagerExportCustomMsg, ReadExcelAndFillTableColByCol);
// any other name the ".xls" way (FreeXL reading, LibreOffice writing).
namespace SpreadsheetHelper {
// The library's path in the program folder.
QString LibraryPath();
// Whether a path goes the ".xlsx" way: its last five characters are ".xlsx",
// compared exactly.
bool IsXlsxPath(const QString& path);
// The column letters of the custom-message table: "A", "B", "C", "D".
QStringList CustomMessageColumns();
// Writes rows (the header row first, four cells each) to path. Opens
// nothing; call OpenWithDefaultProgram after a success to show the file.
SpreadsheetOutcome Export(const QString& path, const QList<QStringList>& rows);
// Reads the custom-message table (columns A to D, column-major, index 0 the
// header) of path's first worksheet. On failure the table is empty and a
// failure without a reason reads "Failed to Open File".
SpreadsheetOutcome Read(const QString& path, QList<QStringList>& table);
// Opens a file with the program's one file opener (OpenWithFileOpener),
// without waiting for it. False when the opener could not be started.
bool OpenWithDefaultProgram(const QString& path);
} // namespace SpreadsheetHelper
