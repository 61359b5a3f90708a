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
    // Rows whose help id several listed rules share, none of them with the
    // row's name and category.
    bool unmatchedRows = false;
    // Rows of manual-check rules, which take no custom message.
    bool manualCheckRows = false;
    // Rows with text that will not be stored, for whichever reason.
    int notImported = 0;
    // The log's text, as written.
    QString log;
    bool AnyFlag() const
    {
        return duplicateIds || unknownIds || longMessages || unmatchedRows || manualCheckRows || notImported > 0;
    }
};

// Checks a table before storing: the headers (string ids 61649 to 61652,
// case ignored), equal cell counts of columns A to C, then the logged checks
// over rows 2 and below: help ids given twice, help ids no listed row has,
// messages over 256 characters (cut in the table), rows that match no rule
// and rows of manual-check rules, ending with the count of rows not imported.
// Rows without text in any column are skipped.
CheckResult Check(CustomMessageColumns& table, const ICustomMessageRows& rows);

// A sheet's help id as a number: decimal digits, a "-" before them allowed,
// leading zeros and the spaces around them ignored, within 32 bits. False for
// anything else ("+7", "7.5", "1e3", "7a", ""): such a row matches no rule.
bool ReadHelpId(const QString& text, int32_t& helpId);

// Whether sheet row r (an index into the columns) has no text in any column:
// such a row is no row.
bool IsBlankRow(const CustomMessageColumns& table, qsizetype r);

// Which listed rule each sheet row is for.
struct RowMatch
{
    enum class Fate {
        Blank, // no text at all: not a row
        Imported, // a listed row takes its message
        WrongId, // its help id does not read, or no listed rule has it
        NoRule, // several listed rules share its help id, none has its name and category
        ManualCheck, // the rule is a manual-check rule
        Repeated, // an earlier row already gave the rule its message
    };
    // Per sheet row, index 0 (the headers) included.
    QList<Fate> fate;
    // Per listed row: the sheet row it takes its message from, or -1.
    QList<qsizetype> sheetRow;
};
// Matches sheet rows to listed rows. The help id decides when one listed rule
// has it. When several share it (rules without a help id of their own), the
// row's name and category decide among them, without regard to case and
// spacing; the name may be the rule's display name (what an export writes)
// or its name. Manual-check rules take no message; the first row for a rule
// wins.
RowMatch MatchRows(const CustomMessageColumns& table, const ICustomMessageRows& rows);
} // namespace CustomMessageImport
