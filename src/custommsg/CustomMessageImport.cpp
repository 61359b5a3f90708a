#include "custommsg/CustomMessageImport.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace CustomMessageImport {

namespace {
const int kHeaderIds[] = { 61649, 61650, 61651, 61652 };

// One line of the log: the help id, a tab, " : " and the rule name.
QString LogLine(const QString& helpId, const QString& ruleName)
{
    return helpId + QStringLiteral("\t : ") + ruleName + QLatin1Char('\n');
}

// The heading of the rows whose help id several listed rules share, none of
// them with the row's name and category.
constexpr char kUnmatchedHeading[] = "No Rule With This Help ID, Name And Category List";

// A listed rule's or a sheet row's identity for matching: the help id, then
// the name and the category with case and spacing ignored.
QString NameKey(int32_t helpId, const QString& name, const QString& category)
{
    // simplified() leaves no line feed inside, so it can part the fields.
    return QString::number(helpId) + QLatin1Char('\n') + name.simplified().toCaseFolded() + QLatin1Char('\n')
        + category.simplified().toCaseFolded();
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
    // What a number cell prints reads, and so does the same number typed as
    // text with spaces around it or zeros before it. A sign the export never
    // writes ("+"), decimals and exponents do not: the log calls such an id
    // wrong, so it must not be stored either.
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    const bool negative = trimmed.startsWith(QLatin1Char('-'));
    if (negative)
        ++i;
    if (i == trimmed.size())
        return false;
    int64_t value = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
        if (value > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return false;
    helpId = static_cast<int32_t>(value);
    return true;
}

bool IsBlankRow(const CustomMessageColumns& table, qsizetype r)
{
    for (const QStringList& column : table)
        if (!column.value(r).isEmpty())
            return false;
    return true;
}

RowMatch MatchRows(const CustomMessageColumns& table, const ICustomMessageRows& rows)
{
    using Fate = RowMatch::Fate;
    RowMatch match;
    match.sheetRow.fill(-1, rows.RowCount());
    if (table.size() < 4)
        return match;
    const QStringList& ids = table[0];
    const QStringList& names = table[1];
    const QStringList& categories = table[2];
    match.fate.fill(Fate::Blank, ids.size());

    // Indexes of the listed rows: by help id, and by help id, name and
    // category for the help ids several rules share.
    QHash<int32_t, QList<int>> byId;
    for (int row = 0; row < rows.RowCount(); ++row)
        if (const CVtrRule* rule = rows.RuleAt(row))
            byId[rule->GetHelpId()].append(row);
    QHash<QString, QList<int>> byName;
    for (auto it = byId.cbegin(); it != byId.cend(); ++it) {
        if (it.value().size() < 2)
            continue;
        for (int row : it.value()) {
            const CVtrRule* rule = rows.RuleAt(row);
            const QString key = NameKey(it.key(), rule->GetRuleName(), rule->GetRuleCategory());
            byName[key].append(row);
            const QString shown = NameKey(it.key(), rule->GetDisplayName(), rule->GetRuleCategory());
            if (shown != key)
                byName[shown].append(row);
        }
    }

    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (IsBlankRow(table, r))
            continue;
        int32_t id = 0;
        const auto found = ReadHelpId(ids[r], id) ? byId.constFind(id) : byId.constEnd();
        if (found == byId.constEnd()) {
            match.fate[r] = Fate::WrongId;
            continue;
        }
        const QList<int> targets
            = found.value().size() == 1 ? found.value() : byName.value(NameKey(id, names.value(r), categories.value(r)));
        Fate fate = targets.isEmpty() ? Fate::NoRule : Fate::ManualCheck;
        for (int row : targets) {
            if (CustomMessageStore::IsManualCheckRule(*rows.RuleAt(row)))
                continue;
            if (match.sheetRow[row] >= 0) {
                if (fate != Fate::Imported)
                    fate = Fate::Repeated;
                continue;
            }
            match.sheetRow[row] = r;
            fate = Fate::Imported;
        }
        match.fate[r] = fate;
    }
    return match;
}

CheckResult Check(CustomMessageColumns& table, const ICustomMessageRows& rows)
{
    using Fate = RowMatch::Fate;
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
    const QStringList& categories = table[2];
    if (names.size() != ids.size() || categories.size() != ids.size()) {
        result.refusal = 61654;
        return result;
    }
    const RowMatch match = MatchRows(table, rows);

    // Help ids given more than once: each repetition is one line. Ids that
    // read as numbers compare as numbers, as storing reads them.
    QSet<QString> seen;
    seen.reserve(ids.size());
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (match.fate[r] == Fate::Blank)
            continue;
        int32_t id = 0;
        const QString key = ReadHelpId(ids[r], id) ? QString::number(id) : ids[r].toUpper();
        if (seen.contains(key)) {
            if (!result.duplicateIds)
                result.log += VtrString(106);
            result.duplicateIds = true;
            result.log += LogLine(ids[r], names[r]);
        } else {
            seen.insert(key);
        }
    }

    // Help ids that do not read or that no listed rule has.
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (match.fate[r] != Fate::WrongId)
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

    // Rows that name no listed rule, and rows of manual-check rules.
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (match.fate[r] != Fate::NoRule)
            continue;
        if (!result.unmatchedRows)
            result.log += QStringLiteral("\n\n") + QLatin1String(kUnmatchedHeading) + QLatin1Char('\n');
        result.unmatchedRows = true;
        result.log += LogLine(ids[r], names[r] + QStringLiteral("\t : ") + categories[r]);
    }
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (match.fate[r] != Fate::ManualCheck)
            continue;
        if (!result.manualCheckRows)
            result.log += QStringLiteral("\n\n") + VtrString(582) + QLatin1Char('\n');
        result.manualCheckRows = true;
        result.log += LogLine(ids[r], names[r]);
    }

    int dataRows = 0;
    for (qsizetype r = 1; r < ids.size(); ++r) {
        if (match.fate[r] == Fate::Blank)
            continue;
        ++dataRows;
        if (match.fate[r] != Fate::Imported)
            ++result.notImported;
    }
    if (result.notImported > 0)
        result.log += QStringLiteral("\n\nRows not imported: %1 of %2\n").arg(result.notImported).arg(dataRows);
    return result;
}

} // namespace CustomMessageImport
