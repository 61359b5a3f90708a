#include "Utilities/FileOpener.h"

#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"

#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {
constexpr char kOpenerVariable[] = "VTRPRO_FILE_OPENER";
} // namespace

QString FileOpenerProgram()
{
    const QString opener = qEnvironmentVariable(kOpenerVariable);
    return opener.isEmpty() ? QStringLiteral("xdg-open") : opener;
}

bool OpenWithFileOpener(const QString& target, QString* why)
{
    QString reason;
    bool started = false;
    const bool isFile = target.startsWith(QLatin1Char('/')) || QFileInfo::exists(target);
    if (target.isEmpty()) {
        reason = QStringLiteral("there is nothing to open");
    } else if (isFile && !QFileInfo::exists(target)) {
        reason = QStringLiteral("the file does not exist");
    } else {
        // "www.example.com" is an address, as a browser's address bar takes it.
        const QString argument
            = isFile ? QFileInfo(target).absoluteFilePath() : QUrl::fromUserInput(target).toString();
        // Detached: the viewer outlives this program, and nothing waits for it.
        started = QProcess::startDetached(FileOpenerProgram(), { argument });
        if (!started)
            reason = QStringLiteral("the program \"%1\" that opens files could not be started (%2 names another)")
                         .arg(FileOpenerProgram(), QLatin1String(kOpenerVariable));
    }
    if (!started) {
        LogWithText(QStringLiteral("Could not open %s"), target + QStringLiteral(": ") + reason);
        if (why)
            *why = reason;
    }
    return started;
}

bool OpenWithFileOpenerOrSay(const QString& target)
{
    QString why;
    if (OpenWithFileOpener(target, &why))
        return true;
    ShowMessage(QStringLiteral("%1 could not be opened: %2. Open it with a program of your choice.").arg(target, why),
        VtrString(StrId::AppCaption), MsgIcon::Warning);
    return false;
}
