#include "custommsg/CustomMessageImport.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "Utilities/StringTable.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace CustomMessageImport {

namespace {
const int kHeaderIds[] = { 61649, 61650, 61651, 61652 };

// One line of the log: the help id, a tab, " : " and the rule name.
QString LogLine(const QString& helpId, const QString& ruleName)
{
    return helpId + QStringLiteral("\t : ") + ruleName + QLatin1Char('\n');
}

// The first kMaxMessageLength characters, never ending inside a surrogate pair.
QString Cut(const QString& message)
{
    qsizetype length = kMaxMessageLength;
    if (message.at(length - 1).isHighSurrogate())
        --length;
    return message.left(length);
}
} // namespace

QString LogPath(const QString& sheetPath, const QString& tempFolder)
{
    QString folder = tempFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("VTRProTemp/") + QFileInfo(sheetPath).completeBaseName()
        + QStringLiteral("_log.txt");
}

bool PreparePrivateFolder(const QString& folder, QString& reason)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        reason = QStringLiteral("cannot create %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // lstat: a link planted in the shared folder is not followed.
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) != 0) {
        reason = QStringLiteral("cannot read %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        reason = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        reason = QStringLiteral("%1 belongs to another user").arg(folder);
        return false;
    }
    // A folder left open to others by an older copy is closed again.
    if ((st.st_mode & 0077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        reason = QStringLiteral("cannot make %1 private: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool ReadHelpId(const QString& text, int32_t& helpId)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok)
        helpId = value;
    return ok;
}

CheckResult Check(CustomMessageColumns& table, const ICustomMessageRows& rows)
{
    CheckResult result;
    if (table.size() < 4) {
        result.refusal = 61653;
        return result;
    }
    for (int c = 0; c < 4; ++c) {
        if (table[c].isEmpty() || table[c].first().compare(VtrString(kHeaderIds[c]), Qt::CaseInsensitive) != 0) {
            result.refusal = 61653;
            return result;
        }
    }
    const QStringList& ids = table[0];
    const QStringList& names = table[1];
    if (names.size() != ids.size() || table[2].size() != ids.size()) {
        result.refusal = 61654;
        return result;
    }

    // Help ids given more than once: each repetition is one line.
    QSet<QString> seen;
    seen.reserve(ids.size());
    for (qsizetype r = 1; r < ids.size(); ++r) {
        const QString key = ids[r].toUpper();
        if (seen.contains(key)) {
            if (!result.duplicateIds)
                result.log += VtrString(106);
            result.duplicateIds = true;
            result.log += LogLine(ids[r], names[r]);
        } else {
            seen.insert(key);
        }
    }

    // Help ids that no listed rule has, compared as the texts a sheet holds.
    QSet<QString> listed;
    listed.reserve(rows.RowCount());
    for (int row = 0; row < rows.RowCount(); ++row)
        if (const CVtrRule* rule = rows.RuleAt(row))
            listed.insert(QString::number(rule->GetHelpId()));
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (listed.contains(ids[r]))
            continue;
        if (!result.unknownIds)
            result.log += QStringLiteral("\n\n") + VtrString(107) + QLatin1Char('\n');
        result.unknownIds = true;
        result.log += LogLine(ids[r], names[r]);
    }

    // Messages too long for the database are cut here, before storing.
    QStringList& messages = table[3];
    const qsizetype messageRows = std::min(messages.size(), ids.size());
    for (qsizetype r = 1; r < messageRows; ++r) {
        if (messages[r].size() <= kMaxMessageLength)
            continue;
        messages[r] = Cut(messages[r]);
        if (!result.longMessages)
            result.log += QStringLiteral("\n\n") + VtrString(61662) + QLatin1Char('\n');
        result.longMessages = true;
        result.log += LogLine(ids[r], names[r]);
    }
    return result;
}

} // namespace CustomMessageImport
