#include "VtrProLog.h"

#include "VTRFrameWrkUtils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <mutex>
#include <string>

#include <QDir>

namespace {
// Lines are buffered: a save of 100,000 rules writes 100,000 lines, and one
// write call per line would cost more than the save itself. The buffer is
// flushed at exit, by Flush, and when the log file moves.
struct LogFile
{
    static constexpr const char* kPlaceVariables[] = { "VTRPRO_DATA_SETTINGS_DIR", "XDG_CONFIG_HOME", "HOME" };

    std::mutex mutex;
    // The variables that decide the log's folder, as they were when the file was opened.
    std::string place[std::size(kPlaceVariables)];
    FILE* file = nullptr;
    time_t stampSecond = -1;
    char stamp[32] = {};

    ~LogFile() { Close(); }
    void Close()
    {
        if (file) {
            std::fclose(file);
            file = nullptr;
        }
    }
    // Compared on every line without building anything, since a line
    // must be cheap.
    bool SamePlace() const
    {
        for (size_t i = 0; i < std::size(kPlaceVariables); ++i) {
            const char* v = std::getenv(kPlaceVariables[i]);
            if (std::strcmp(v ? v : "", place[i].c_str()) != 0)
                return false;
        }
        return true;
    }
    FILE* Get()
    {
        if (file && SamePlace())
            return file;
        Close();
        for (size_t i = 0; i < std::size(kPlaceVariables); ++i) {
            const char* v = std::getenv(kPlaceVariables[i]);
            place[i] = v ? v : "";
        }
        QDir().mkpath(CVTRFrameWrkUtils::GetDataSettingsFolder());
        file = std::fopen(CVtrProLog::LogFilePath().toLocal8Bit().constData(), "ae");
        if (file)
            std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
        return file;
    }
    const char* Stamp()
    {
        const time_t now = std::time(nullptr);
        if (now != stampSecond) {
            stampSecond = now;
            struct tm local {};
            localtime_r(&now, &local);
            std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
        }
        return stamp;
    }
    // Time, source file and line: what every line starts with.
    std::string Prefix(const char* sourceFile, int line)
    {
        const char* source = sourceFile ? sourceFile : "";
        const char* stamp = Stamp();
        const int length = std::snprintf(nullptr, 0, "%s [%s:%d] ", stamp, source, line);
        if (length <= 0)
            return {};
        std::string prefix(static_cast<size_t>(length), '\0');
        std::snprintf(prefix.data(), prefix.size() + 1, "%s [%s:%d] ", stamp, source, line);
        return prefix;
    }
};

LogFile& Log()
{
    static LogFile log;
    return log;
}
} // namespace

QString CVtrProLog::LogFilePath()
{
    return CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("VTRPro.log");
}

void CVtrProLog::PrintMessage(const QString& message, const char* sourceFile, int line)
{
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    FILE* f = log.Get();
    if (!f)
        return; // logging must never stop the program
    const QByteArray text = message.toUtf8();
    const std::string prefix = log.Prefix(sourceFile, line);
    std::fwrite(prefix.data(), 1, prefix.size(), f);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), f);
    std::fputc('\n', f);
}

std::string CVtrProLog::LinePrefix(const char* sourceFile, int line)
{
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    return log.Prefix(sourceFile, line);
}

void CVtrProLog::PrintFormatted(std::string_view lines)
{
    if (lines.empty())
        return;
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (FILE* f = log.Get())
        fwrite_unlocked(lines.data(), 1, lines.size(), f);
}

void CVtrProLog::Flush()
{
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (log.file)
        std::fflush(log.file);
}
