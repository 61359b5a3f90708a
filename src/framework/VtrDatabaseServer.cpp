#include "VtrDatabaseServer.h"

#include "VTRFrameWrkUtils.h"
#include "VtrSettingsFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace vtr_db {

namespace {
const char kGroupKey[] = "Server/Connection";

bool IsUri(const QString& connection)
{
    return connection.startsWith(QLatin1String("postgresql://")) || connection.startsWith(QLatin1String("postgres://"));
}
} // namespace

QString DatabaseServerSettingsPath()
{
    return CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("VTRProDatabase.ini");
}

QString DatabaseServer(QString* source)
{
    const QString fromEnvironment = qEnvironmentVariable(kDatabaseUrlVariable).trimmed();
    if (!fromEnvironment.isEmpty()) {
        if (source)
            *source = QStringLiteral("environment");
        return fromEnvironment;
    }
    const auto settings = VtrOpenSettingsFile(DatabaseServerSettingsPath());
    const QString stored = settings->value(QLatin1String(kGroupKey)).toString().trimmed();
    if (source)
        *source = stored.isEmpty() ? QString() : QStringLiteral("setting");
    return stored;
}

bool SetDatabaseServer(const QString& connection, QString& error)
{
    const QString path = DatabaseServerSettingsPath();
    const auto settings = VtrOpenSettingsFile(path);
    if (connection.trimmed().isEmpty())
        settings->remove(QLatin1String(kGroupKey));
    else
        settings->setValue(QLatin1String(kGroupKey), connection.trimmed());
    settings->sync();
    if (settings->status() != QSettings::NoError || (!connection.trimmed().isEmpty() && !QFile::exists(path))) {
        error = QStringLiteral("%1 cannot be written").arg(path);
        return false;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString WithoutPassword(const QString& connection)
{
    if (IsUri(connection)) {
        QUrl url(connection, QUrl::StrictMode);
        if (!url.isValid()) {
            // Not a URI QUrl can read: drop everything between "://" and "@".
            QString text = connection;
            static const QRegularExpression credentials(QStringLiteral("(://[^/@:]*):[^/@]*@"));
            text.replace(credentials, QStringLiteral("\\1@"));
            static const QRegularExpression query(QStringLiteral("([?&]password=)[^&]*"));
            return text.replace(query, QStringLiteral("\\1***"));
        }
        if (!url.password().isEmpty())
            url.setPassword(QString());
        QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("password"))) {
            query.removeAllQueryItems(QStringLiteral("password"));
            query.addQueryItem(QStringLiteral("password"), QStringLiteral("***"));
            url.setQuery(query);
        }
        return url.toString();
    }
    // key=value pairs: a value is a word or a quoted text with \' and \\.
    static const QRegularExpression password(
        QStringLiteral("(\\bpassword\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|\\S*)"), QRegularExpression::CaseInsensitiveOption);
    QString text = connection;
    return text.replace(password, QStringLiteral("\\1***"));
}

} // namespace vtr_db
