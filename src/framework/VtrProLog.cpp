#include "VtrProLog.h"

#include "VTRFrameWrkUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

namespace {
// Lines are gathered and written whole, many at a time: a save of 100,000
// rules logs 100,000 lines, and one write call per line would cost more than
// the save itself. Every write holds whole lines only and appends (O_APPEND),
// so lines of two copies writing at once never split. The gathered lines are
// written at exit, by Flush, and when the log file moves.
struct LogFile
{
    static constexpr const char* kPlaceVariables[] = { "VTRPRO_DATA_SETTINGS_DIR", "XDG_CONFIG_HOME", "HOME" };
    // Gathered lines are written once they reach this size.
    static constexpr size_t kWriteAt = size_t(1) << 16;
    // Past this size the log moves to "VTRPro.log.1" (replacing the one
    // there) and a new one starts: two files of about this size at most.
    static constexpr off_t kRotateAt = off_t(4) << 20;

    std::mutex mutex;
    // The variables that decide the log's folder, as they were when the file was opened.
    std::string place[std::size(kPlaceVariables)];
    int fd = -1;
    std::string path;
    std::string pending;
    time_t stampSecond = -1;
    char stamp[32] = {};

    ~LogFile() { Close(); }
    void Close()
    {
        if (fd >= 0) {
            Write();
            ::close(fd);
            fd = -1;
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
    bool Open()
    {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        return fd >= 0;
    }
    // The open log, or false when it cannot be opened.
    bool Get()
    {
        if (fd >= 0 && SamePlace())
            return true;
        Close();
        for (size_t i = 0; i < std::size(kPlaceVariables); ++i) {
            const char* v = std::getenv(kPlaceVariables[i]);
            place[i] = v ? v : "";
        }
        QDir().mkpath(CVTRFrameWrkUtils::GetDataSettingsFolder());
        path = CVtrProLog::LogFilePath().toLocal8Bit().toStdString();
        return Open();
    }
    // Appends whole lines in as few writes as the system allows (one, but
    // for a full disk or a signal).
    void Append(std::string_view lines)
    {
        FollowMovedLog();
        while (!lines.empty()) {
            const ssize_t n = ::write(fd, lines.data(), lines.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // logging must never stop the program
            lines.remove_prefix(static_cast<size_t>(n));
        }
        RotateIfLarge();
    }
    void Write()
    {
        if (fd < 0 || pending.empty())
            return;
        Append(pending);
        pending.clear();
    }
    // Another copy may have moved the log aside: write to the new one.
    void FollowMovedLog()
    {
        struct stat ours = {};
        struct stat atPath = {};
        if (::fstat(fd, &ours) == 0 && ::stat(path.c_str(), &atPath) == 0 && ours.st_dev == atPath.st_dev
            && ours.st_ino == atPath.st_ino)
            return;
        const int old = fd;
        if (Open())
            ::close(old);
        else
            fd = old;
    }
    void RotateIfLarge()
    {
        struct stat ours = {};
        if (fd < 0 || ::fstat(fd, &ours) != 0 || ours.st_size < kRotateAt)
            return;
        // One copy moves the file; another that finds it past the size too
        // waits here, then finds a new file at the path and only follows it.
        // (flock needs no more than the open we have, and goes with the copy.)
        if (::flock(fd, LOCK_EX) != 0)
            return;
        struct stat atPath = {};
        if (::stat(path.c_str(), &atPath) == 0 && ours.st_dev == atPath.st_dev && ours.st_ino == atPath.st_ino)
            ::rename(path.c_str(), (path + ".1").c_str());
        const int old = fd;
        if (Open())
            ::close(old);
        else {
            fd = old;
            ::flock(fd, LOCK_UN);
        }
    }
    const char* Stamp()
    {
        const time_t now = std::time(nullptr);
        if (now != stampSecond) {
            stampSecond = now;
            struct tm local
            {
            };
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
    if (!log.Get())
        return; // logging must never stop the program
    const QByteArray text = message.toUtf8();
    log.pending += log.Prefix(sourceFile, line);
    log.pending.append(text.constData(), static_cast<size_t>(text.size()));
    log.pending.push_back('\n');
    if (log.pending.size() >= LogFile::kWriteAt)
        log.Write();
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
    if (!log.Get())
        return;
    if (log.pending.size() + lines.size() < LogFile::kWriteAt) {
        log.pending.append(lines);
        return;
    }
    log.Write();
    log.Append(lines);
}

void CVtrProLog::Flush()
{
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    log.Write();
}
