#pragma once

#include <string>

#include <QString>

// The two log wrappers every log line goes through.
// Replaces every "%s" in message with text and logs it (line 296).
void LogWithText(const QString& message, const QString& text);
// Replaces every "%d" in message with a decimal number and logs it (line 307).
void LogWithNumber(const QString& message, long long number);
// Logs a message that takes no argument.
void LogLine(const QString& message);

// The login name of the user the program runs as: the password database
// first (services, cron and containers often set neither USER nor LOGNAME),
// then USER and LOGNAME. Used for "Createdby", the lock holder and the tool.
QString LoggedOnUserName();

// Lines of one action over many rules (ticking every row), logged together
// when the batch is flushed or destroyed: the same lines LogWithText would
// write one by one, at a fraction of the cost.
class LogTextBatch
{
public:
    LogTextBatch() = default;
    LogTextBatch(const LogTextBatch&) = delete;
    LogTextBatch& operator=(const LogTextBatch&) = delete;
    ~LogTextBatch() { Flush(); }
    // Adds message with every "%s" replaced by text.
    void AddWithText(QStringView message, QStringView text);
    // Logs the lines added so far.
    void Flush();

private:
    // Logs the lines so far, keeping the buffer for more.
    void Write();

    std::string m_lines;
    // Time and source place of the lines since the last flush.
    std::string m_prefix;
};

namespace VTRUIUtils {
// The source file name every log line carries.
inline constexpr char kLogSource[] = "VTRRuleBuilder\\Utilities\\VTRUIUtils";
} // namespace VTRUIUtils
