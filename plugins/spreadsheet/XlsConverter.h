#pragma once

#include "CellText.h"

#include <cstdint>

#include <QString>

namespace Spreadsheet {
// Messages of the ".xls" writer: the converter cannot be started, the
// workbook cannot be made.
inline constexpr int32_t kMsgCouldNotStartExcel = 108;
inline constexpr int32_t kMsgUnableToCreateSheet = 109;

// The LibreOffice program that converts sheets: VTRPRO_SOFFICE when set (a
// path or a name looked up in PATH), else "soffice" from PATH; empty when
// there is none.
QString FindOffice();

// Writes the custom-message sheet to an ".xls" file: the ".xlsx" of
// WriteXlsx converted by LibreOffice in a private folder, then put in place
// of path; a name ending in ".xlsx" in other letter case gets the ".xlsx"
// itself. False with messageId 108 (LibreOffice missing or not starting) or
// 109 (the conversion failed) and the details in error.
bool WriteXls(const QString& path, const Table& rows, int32_t& messageId, QString& error);
} // namespace Spreadsheet
