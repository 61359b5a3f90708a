#include "settings/DatabaseServerText.h"

#include "VtrDatabaseServer.h"
#include "VtrSettingsFile.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace DatabaseServerText {

namespace {
// The key SetDatabaseServer writes in its file.
const char kSettingKey[] = "Server/Connection";
const char kMask[] = "***";

bool IsUri(const QString& connection)
{
    return connection.startsWith(QLatin1String("postgresql://")) || connection.startsWith(QLatin1String("postgres://"));
}

// "password=VALUE" as written: a URI's query value ends at "&", a key=value
// pair's at a blank unless quoted.
const QRegularExpression& PasswordPair(bool uri)
{
    static const QRegularExpression inUri(QStringLiteral("([?&]password=)([^&#]*)"));
    static const QRegularExpression inPairs(QStringLiteral("(\\bpassword\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|\\S*)"),
        QRegularExpression::CaseInsensitiveOption);
    return uri ? inUri : inPairs;
}
} // namespace

QString PasswordOf(const QString& connection)
{
    if (IsUri(connection)) {
        const QUrl url(connection);
        QString password = url.isValid() ? url.password(QUrl::FullyDecoded) : QString();
        if (password.isEmpty() && url.isValid())
            password = QUrlQuery(url).queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
        if (password.isEmpty()) {
            // Not a URI QUrl reads: the text between "user:" and "@", or the query's value.
            static const QRegularExpression credentials(QStringLiteral("://[^/@:]*:([^/@]*)@"));
            password = credentials.match(connection).captured(1);
            if (password.isEmpty())
                password = PasswordPair(true).match(connection).captured(2);
        }
        return password;
    }
    QString value = PasswordPair(false).match(connection).captured(2);
    if (value.startsWith(QLatin1Char('\'')) && value.size() >= 2) {
        value = value.mid(1, value.size() - 2);
        value.replace(QLatin1String("\\'"), QLatin1String("'")).replace(QLatin1String("\\\\"), QLatin1String("\\"));
    }
    return value;
}

QString Scrubbed(QString text, const QString& connection)
{
    if (connection.isEmpty())
        return text;
    text.replace(connection, vtr_db::WithoutPassword(connection));
    const QString password = PasswordOf(connection);
    if (!password.isEmpty() && password != QLatin1String(kMask)) {
        text.replace(password, QLatin1String(kMask));
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
        if (encoded != password)
            text.replace(encoded, QLatin1String(kMask));
    }
    return text;
}

QString StoredSetting()
{
    const auto settings = VtrOpenSettingsFile(vtr_db::DatabaseServerSettingsPath());
    return settings->value(QLatin1String(kSettingKey)).toString().trimmed();
}

QString Shown(const QString& stored)
{
    return stored.isEmpty() ? QString() : vtr_db::WithoutPassword(stored);
}

QString ToStore(const QString& edited, const QString& stored)
{
    QString text = edited.trimmed();
    const bool uri = IsUri(text);
    const QRegularExpressionMatch masked = PasswordPair(uri).match(text);
    if (!masked.hasMatch() || masked.captured(2) != QLatin1String(kMask))
        return text;
    const QRegularExpressionMatch original = PasswordPair(IsUri(stored)).match(stored);
    if (!original.hasMatch() || original.captured(2).isEmpty())
        return text;
    // The value as the stored text wrote it: quoted or percent-encoded alike.
    return text.replace(masked.capturedStart(2), masked.capturedLength(2), original.captured(2));
}

bool IsPlausible(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

} // namespace DatabaseServerText
