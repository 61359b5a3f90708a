#pragma once

#include <memory>

#include <QSettings>
#include <QString>
#include <QStringList>

// QSettings over an INI file, unless something other than a regular file sits
// where the file belongs: QSettings would wait for ever for a writer to a
// FIFO, and a save would replace what is there. Then the settings live in
// memory only (empty at first, never written, sync() reports an access
// error) and the log says why, once per path.
std::unique_ptr<QSettings> VtrOpenSettingsFile(const QString& path);

// The user's profile of organization/application as QSettings keeps it on
// this system, guarded the same way.
std::unique_ptr<QSettings> VtrOpenUserProfile(const QString& organization, const QString& application);

// The files QSettings reads for the profile of organization/application,
// most specific first.
QStringList VtrUserProfileFiles(const QString& organization, const QString& application);
