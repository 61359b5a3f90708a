#pragma once

#include "CellText.h"

#include <QString>

namespace Spreadsheet {
// Writes the custom-message sheet to an ".xlsx" file: sheet "Custom_Message",
// columns A to D 11, 45, 22 and 40 wide with wrapping and vertical centring,
// thin borders round every cell of A1:D(n+1), column A of the rows below the
// header as numbers. Rows are written in constant memory; the file replaces
// path only once it is complete. False with the reason in error.
bool WriteXlsx(const QString& path, const Table& rows, QString& error);
} // namespace Spreadsheet
