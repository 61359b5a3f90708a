#include "VtrSettingsFile.h"

#include "VtrProLog.h"
#include "VtrRegularFile.h"

#include <mutex>

#include <QFileInfo>
#include <QLibraryInfo>
#include <QSet>
#include <QStandardPaths>

namespace {
// Why the path cannot hold settings, or empty when it can: missing (created
// on the first save) or a regular file.
QString Unusable(const QString& path)
{
    if (!QFileInfo::exists(path))
        return {};
    QString why;
    return VtrIsRegularFile(path, &why) ? QString() : why;
}

void LogOnce(const QString& path, const QString& why)
{
    static std::mutex mutex;
    static QSet<QString> logged;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (logged.contains(path))
            return;
        logged.insert(path);
    }
    CVtrProLog::PrintMessage(
        QStringLiteral("Settings file %1 not used: %2; settings are kept for this session only").arg(path, why),
        __FILE__, __LINE__);
}

// A QSettings without a file: it keeps what is set and never touches a disk.
std::unique_ptr<QSettings> InMemory()
{
    return std::make_unique<QSettings>(QString(), QSettings::IniFormat);
}
} // namespace

std::unique_ptr<QSettings> VtrOpenSettingsFile(const QString& path)
{
    const QString why = Unusable(path);
    if (!why.isEmpty()) {
        LogOnce(path, why);
        return InMemory();
    }
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

std::unique_ptr<QSettings> VtrOpenUserProfile(const QString& organization, const QString& application)
{
    for (const QString& file : VtrUserProfileFiles(organization, application)) {
        const QString why = Unusable(file);
        if (!why.isEmpty()) {
            LogOnce(file, why);
            return InMemory();
        }
    }
    return std::make_unique<QSettings>(organization, application);
}

QStringList VtrUserProfileFiles(const QString& organization, const QString& application)
{
    // Where QSettings looks on this system: the user's configuration folder,
    // then the system's, each with the application's file and the
    // organization's.
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/');
    const QString system = QLibraryInfo::path(QLibraryInfo::SettingsPath) + QLatin1Char('/');
    QStringList files;
    for (const QString& folder : { user, system }) {
        files << folder + organization + QLatin1Char('/') + application + QStringLiteral(".conf");
        files << folder + organization + QStringLiteral(".conf");
    }
    return files;
}
