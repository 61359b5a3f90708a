#pragma once

#include <QStringList>

class QJsonValue;

// "--format text|json" as every listing command takes it.
namespace OutputFormat {
// Removes "--format VALUE" and "--format=VALUE" from args and sets json.
// False when a value is missing or is neither "text" nor "json".
bool Take(QStringList& args, bool& json);

// True when args hold a "--format" option of any value.
bool Requested(const QStringList& args);

// Writes value indented on stdout, with a final line feed.
void PrintJson(const QJsonValue& value);
} // namespace OutputFormat
