#pragma once

class QJsonValue;

// What the listing commands print for "--format json".
namespace OutputFormat {
// Writes value indented on stdout, with a final line feed.
void PrintJson(const QJsonValue& value);
} // namespace OutputFormat
