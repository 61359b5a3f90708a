#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ICustomMessageRows;

// A sheet read for import, column by column: columns A to D, each the texts
// of its cells from row 1 down (index 0 is the header).
using CustomMessageColumns = QList<QStringList>;

namespace CustomMessageImport {
// Longest custom message; longer ones are cut and reported.
inline constexpr int kMaxMessageLength = 256;

// The import log of a sheet: "<temp>/VTRProTemp/<name>_log.txt", named after
// the sheet's file name without its extension.
QString LogPath(const QString& sheetPath, const QString& tempFolder);
// Makes the log folder exist, as a folder of the current user that only the
// user may enter (mode 0700): a shared temporary folder must not let others
// plant or read import logs. False, with the reason, when the place is taken
// by something else (a link, a file, another user's folder).
bool PreparePrivateFolder(const QString& folder, QString& reason);

// What the checks of a table found.
struct CheckResult
{
    // The string id of the message that refuses the table (61653 headers,
    // 61654 counts), or 0 when the table may be stored.
    int refusal = 0;
    bool duplicateIds = false;
    bool unknownIds = false;
    bool longMessages = false;
    // The log's text, as written.
    QString log;
    bool AnyFlag() const { return duplicateIds || unknownIds || longMessages; }
};

// Checks a table before storing: the headers (string ids 61649 to 61652,
// case ignored), equal cell counts of columns A to C, then the three logged
// checks over rows 2 and below: help ids given twice, help ids no listed row
// has, and messages over 256 characters, which are cut in the table.
CheckResult Check(CustomMessageColumns& table, const ICustomMessageRows& rows);

// A sheet's help id as a number; false for a text that is not a whole number
// (such a row matches no rule).
bool ReadHelpId(const QString& text, int32_t& helpId);
} // namespace CustomMessageImport
