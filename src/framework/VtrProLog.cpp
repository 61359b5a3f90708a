#include "VtrProLog.h"

#include "VTRFrameWrkUtils.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include <QDir>

namespace {
// Lines are buffered: a save of 100,000 rules writes 100,000 lines, and one
// write call per line would cost more than the save itself. The buffer is
// flushed at exit, by Flush, and when the log file moves.
struct LogFile
{
    std::mutex mutex;
    std::string key;
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
    static std::string EnvKey()
    {
        std::string k;
        for (const char* name : {"VTRPRO_DATA_SETTINGS_DIR", "XDG_CONFIG_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            k += v ? v : "";
            k += '\n';
        }
        return k;
    }
    FILE* Get()
    {
        std::string wanted = EnvKey();
        if (file && wanted == key)
            return file;
        Close();
        key = std::move(wanted);
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
    std::fprintf(f, "%s [%s:%d] ", log.Stamp(), sourceFile ? sourceFile : "", line);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), f);
    std::fputc('\n', f);
}

void CVtrProLog::Flush()
{
    LogFile& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (log.file)
        std::fflush(log.file);
}
