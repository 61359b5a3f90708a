#include "CliContext.h"
#include "ExitCodes.h"

#include "VTRFrameWrkUtils.h"
#include "modules/ModuleLists.h"

#include <cstdio>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

CliContext::CliContext() = default;

CliContext::~CliContext()
{
    if (m_started)
        UnloadAllModules(m_app.Modules());
}

bool CliContext::EnsureWritableFolder(const QString& folder, QString& reason)
{
    if (folder.isEmpty()) {
        reason = QStringLiteral("no data-settings folder is known");
        return false;
    }
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        reason = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    if (!info.exists() && !QDir().mkpath(folder)) {
        reason = QStringLiteral("%1 cannot be created").arg(folder);
        return false;
    }
    // Permission bits do not tell the whole story (root, read-only mounts):
    // only writing a file proves the folder takes one.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vtrpro-write-test-XXXXXX")));
    if (!probe.open()) {
        reason = QStringLiteral("%1 is not writable (%2)").arg(folder, probe.errorString());
        return false;
    }
    return true;
}

int CliContext::Start()
{
    const QString folder = CVTRFrameWrkUtils::GetDataSettingsFolder();
    QString reason;
    if (!EnsureWritableFolder(folder, reason)) {
        std::fprintf(stderr, "vtrpro-rules: the data-settings folder cannot be used: %s\n", qUtf8Printable(reason));
        return ExitCode::kRefused;
    }
    LoadAllModules(m_app.Modules());
    m_started = true;
    return ExitCode::kDone;
}
