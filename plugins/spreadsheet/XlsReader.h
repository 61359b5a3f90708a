#pragma once

#include "CellText.h"

#include <cstdint>

#include <QString>

namespace Spreadsheet {
// The message shown for a file that is not a readable ".xls" workbook.
inline constexpr int32_t kMsgInvalidFileFormat = 61660;

// Reads the first worksheet of an ".xls" file column by column (see
// ColumnTable), numbers as NumberText prints them; an .xlsx workbook under
// another name is read as one. False with messageId kMsgInvalidFileFormat and
// the reason in error.
bool ReadXls(const QString& path, const QStringList& columns, Table& table, int32_t& messageId, QString& error);
} // namespace Spreadsheet
