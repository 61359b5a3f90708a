#pragma once

#include <QString>

// The two log wrappers every log line goes through.
// Replaces every "%s" in message with text and logs it (line 296).
void LogWithText(const QString& message, const QString& text);
// Replaces every "%d" in message with a decimal number and logs it (line 307).
void LogWithNumber(const QString& message, long long number);
// Logs a message that takes no argument.
void LogLine(const QString& message);

namespace VTRUIUtils {
// The source file name every log line carries.
inline constexpr char kLogSource[] = "VTRRuleBuilder\\Utilities\\VTRUIUtils";
} // namespace VTRUIUtils
