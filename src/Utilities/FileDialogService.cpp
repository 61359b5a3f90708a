#include "Utilities/FileDialogService.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
class CancelAll : public IFileDialogService
{
public:
    int AskPath(bool, const QString&, const QString&, const QString&, const QString&, unsigned, const QString&,
                QString& chosen) override
    {
        chosen.clear();
        return 2;
    }
};

CancelAll g_default;
IFileDialogService* g_service = nullptr;

constexpr char kLastFolderKey[] = "FileDialogs/LastFolder";
QString g_lastFolder;
QSettings* g_store = nullptr;

bool IsFolder(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}
} // namespace

IFileDialogService* GetFileDialogService()
{
    return g_service ? g_service : &g_default;
}

void SetFileDialogService(IFileDialogService* service)
{
    g_service = service;
}

namespace FileDialogDefaults {
QString StartFolder(const QString& initial)
{
    if (IsFolder(initial))
        return initial;
    QString last = g_lastFolder;
    if (last.isEmpty() && g_store)
        last = g_store->value(QLatin1String(kLastFolderKey)).toString();
    if (IsFolder(last))
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return IsFolder(documents) ? documents : QDir::homePath();
}

void RememberChosen(const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    g_lastFolder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (g_store)
        g_store->setValue(QLatin1String(kLastFolderKey), g_lastFolder);
}

QString Title(bool open, const QString& title)
{
    if (!title.isEmpty())
        return title;
    return open ? QStringLiteral("Open") : QStringLiteral("Save As");
}

void SetStore(QSettings* settings)
{
    g_store = settings;
    // A new store (another profile, or a test's) starts from what it holds.
    g_lastFolder.clear();
}
} // namespace FileDialogDefaults
