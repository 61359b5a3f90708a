#pragma once

#include "CellText.h"

#include <cstddef>
#include <map>
#include <string>

#include <QString>

namespace Spreadsheet {
// Reads the first worksheet of an ".xlsx" file column by column (see
// ColumnTable): shared and inline strings, numbers as NumberText prints them,
// cells placed by their references. No part is unpacked beyond kMaxPartBytes
// and no sheet is read past row 1,048,576. False with the reason in error.
bool ReadXlsxFile(const QString& path, const QStringList& columns, Table& table, QString& error);
// The same for a workbook held in memory.
bool ReadXlsxBuffer(const void* data, size_t size, const QStringList& columns, Table& table, QString& error);
// The same for a workbook given as its unpacked parts by name
// ("xl/workbook.xml"), so that the XML can be fuzzed past the zip layer.
bool ReadXlsxParts(
    const std::map<std::string, std::string>& parts, const QStringList& columns, Table& table, QString& error);
} // namespace Spreadsheet
