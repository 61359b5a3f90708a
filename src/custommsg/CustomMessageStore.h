#pragma once

#include "custommsg/CustomMessageImport.h"

#include <cstdint>
#include <functional>

#include <QString>

class CVtrRule;
class ICustomMessageRows;

namespace vtr_db {
class IDatabaseCollector;
}

// What storing custom messages needs from around it.
struct CustomMessageServices
{
    // The product database; null when there is none.
    vtr_db::IDatabaseCollector* database = nullptr;
    // Asked before anything is stored; false (Cancel) stores nothing. Null
    // stores without asking. See ConfirmCentralDatabase.
    std::function<bool()> confirm;
    // Sends a usage event (value, kind, text); null without a usage hook.
    std::function<void(int32_t, int32_t, const QString&)> trackEvent;
    // Ends any editing of a cell in the list before an import stores.
    std::function<void()> endEditing;
};

namespace CustomMessageStore {
// The usage event numbers: kind 11 with 56 for each imported message, with
// 37 for each message edited in place.
inline constexpr int32_t kUsageKind = 11;
inline constexpr int32_t kImportEvent = 56;
inline constexpr int32_t kEditEvent = 37;

// The text of the centralized-database warning.
QString CentralDatabaseWarningText();

// The centralized-database warning: while warningOn, ask() shows the warning;
// its OK turns the warning off for the rest of the run. False on Cancel.
bool ConfirmCentralDatabase(bool& warningOn, const std::function<bool()>& ask);

// Stores the table's messages for the listed rows, in list order: each row
// takes the first sheet row that matches it (see
// CustomMessageImport::MatchRows; rows without one, or without a message
// cell, are left alone), stored under the rule's own name and category. The
// messages are stored in one batch: when the database refuses it, 61661 is
// shown, nothing is stored and every row keeps its message, and the result
// is false. False also when confirming was cancelled or there is no database.
bool StoreImported(const CustomMessageColumns& table, ICustomMessageRows& rows, const CustomMessageServices& services);

// Whether a rule's custom message may not be set (manual-check rules).
bool IsManualCheckRule(const CVtrRule& rule);

// Whether editing in place may start; shows 581 when the database is not
// connected.
bool CanEdit(vtr_db::IDatabaseCollector* database);

// How an edit in place ended.
enum class EditResult {
    Unchanged, // equal to the old message but for letter case: nothing stored
    Refused, // a manual-check rule: 582 shown, old message kept
    Cancelled, // the warning was cancelled: nothing stored
    Stored,
    Failed, // the database refused: 61661 shown, old message back
};
// Commits a message edited in row: see EditResult.
EditResult CommitEdit(ICustomMessageRows& rows, int row, const QString& oldMessage, const QString& text,
    const CustomMessageServices& services);
} // namespace CustomMessageStore
