#include "settings/MachineEnvironment.h"

#include "VtrRegularFile.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

namespace {
// The file is a few lines long; anything far larger is not that file.
constexpr qint64 kMaxFileBytes = 1024 * 1024;

void SetWhy(QString* why, const QString& text)
{
    if (why)
        *why = text;
}

bool IsName(const QString& name)
{
    if (name.isEmpty() || name.front().isDigit())
        return false;
    for (const QChar c : name)
        if (!(c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetterOrNumber())))
            return false;
    return true;
}

// Reads the whole file; a missing file reads as empty (exists is then false).
bool ReadFile(const QString& path, QByteArray& text, bool& exists, QString* why)
{
    text.clear();
    const QFileInfo info(path);
    exists = info.exists();
    if (!exists) {
        // A link that leads nowhere names a file that should be there.
        if (info.isSymLink()) {
            SetWhy(why, QStringLiteral("%1 is a broken link").arg(path));
            return false;
        }
        // Only the file may be missing, not the folder it belongs in.
        if (!QFileInfo(info.absolutePath()).isDir()) {
            SetWhy(why, QStringLiteral("%1 is not a folder").arg(info.absolutePath()));
            return false;
        }
        return true;
    }
    QString reason;
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(path).constData(), &reason);
    if (fd < 0) {
        SetWhy(why, QStringLiteral("%1 cannot be read: %2").arg(path, reason));
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        SetWhy(why, QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        SetWhy(why, QStringLiteral("%1 is too large to be a machine environment file").arg(path));
        return false;
    }
    text = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || text.size() > kMaxFileBytes) {
        SetWhy(why, QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

// The text after "NAME=" when line defines name ("export " and blanks
// allowed before the name, as login sessions read the file); nullopt otherwise.
std::optional<QByteArray> Definition(const QByteArray& line, const QByteArray& name)
{
    QByteArray rest = line.trimmed();
    if (rest.startsWith("export ") || rest.startsWith("export\t"))
        rest = rest.mid(7).trimmed();
    if (!rest.startsWith(name))
        return std::nullopt;
    rest = rest.mid(name.size());
    const qsizetype eq = rest.indexOf('=');
    if (eq < 0 || !rest.left(eq).trimmed().isEmpty())
        return std::nullopt;
    return rest.mid(eq + 1).trimmed();
}

// The characters a backslash escapes within double quotes, as a shell reads them.
bool Escapable(char c)
{
    return c == '"' || c == '$' || c == '`' || c == '\\';
}

QByteArray Unquoted(const QByteArray& value)
{
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        return value.mid(1, value.size() - 2);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return value;
    QByteArray out;
    out.reserve(value.size() - 2);
    const qsizetype end = value.size() - 1;
    for (qsizetype i = 1; i < end; ++i) {
        if (value[i] == '\\' && i + 1 < end && Escapable(value[i + 1]))
            ++i;
        out += value[i];
    }
    return out;
}

// The value as a double-quoted text that Unquoted reads back as it was.
QByteArray Quoted(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() + 2);
    out += '"';
    for (const char c : value) {
        if (Escapable(c))
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// Lines with their line breaks, so that kept lines are written back byte for byte.
QList<QByteArray> Lines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines.append(text.mid(start, end - start));
        start = end;
    }
    return lines;
}
} // namespace

namespace MachineEnvironment {
QString FilePath()
{
    const QString path = qEnvironmentVariable("VTRPRO_MACHINE_ENVIRONMENT_FILE");
    return path.isEmpty() ? QStringLiteral("/etc/environment") : path;
}

bool CanWrite(QString* why)
{
    const QString path = FilePath();
    QByteArray text;
    bool exists = false;
    if (!ReadFile(path, text, exists, why))
        return false;
    // What a store does, up to the rename.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        SetWhy(why, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
        return false;
    }
    file.cancelWriting();
    return true;
}

std::optional<QString> Value(const QString& name)
{
    QByteArray text;
    bool exists = false;
    if (!IsName(name) || !ReadFile(FilePath(), text, exists, nullptr))
        return std::nullopt;
    const QByteArray key = name.toLatin1();
    std::optional<QString> value;
    // The last definition wins, as when the file is read at login.
    for (const QByteArray& line : Lines(text))
        if (const std::optional<QByteArray> v = Definition(line, key))
            value = QString::fromUtf8(Unquoted(*v));
    return value;
}
} // namespace MachineEnvironment

bool SetMachineEnvironmentValue(const QString& name, const QString& value, QString* why)
{
    return SetMachineEnvironmentValues({ { name, value } }, why);
}

bool SetMachineEnvironmentValues(const std::vector<std::pair<QString, QString>>& values, QString* why)
{
    for (const auto& [name, value] : values) {
        if (!IsName(name)) {
            SetWhy(why, QStringLiteral("\"%1\" is not a variable name").arg(name));
            return false;
        }
        // A line break would end the line early and define whatever follows.
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value.contains(QChar(0))) {
            SetWhy(why, QStringLiteral("a value with a line break cannot be stored"));
            return false;
        }
    }
    const QString path = MachineEnvironment::FilePath();
    QByteArray text;
    bool exists = false;
    if (!ReadFile(path, text, exists, why))
        return false;

    QList<QByteArray> lines = Lines(text);
    for (const auto& [name, value] : values) {
        const QByteArray key = name.toLatin1();
        const QByteArray line = key + '=' + Quoted(value.toUtf8()) + '\n';
        QList<QByteArray> kept;
        kept.reserve(lines.size() + 1);
        bool written = false;
        for (const QByteArray& old : lines) {
            if (!Definition(old, key)) {
                kept += old;
                continue;
            }
            // The first definition takes the new value; later ones would override it.
            if (!written && !value.isEmpty()) {
                kept += line;
                written = true;
            }
        }
        if (!written && !value.isEmpty()) {
            if (!kept.isEmpty() && !kept.back().endsWith('\n'))
                kept.back() += '\n';
            kept += line;
        }
        lines = std::move(kept);
    }
    const QByteArray rewritten = lines.join();

    if (!exists && rewritten.isEmpty()) {
        // Removing a variable from a file that does not exist changes nothing.
    } else {
        // QSaveFile writes beside the target and renames it over the target,
        // keeping its permissions and following a link to it.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(rewritten) != rewritten.size() || !file.commit()) {
            SetWhy(why, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
            return false;
        }
    }
    for (const auto& [name, value] : values) {
        const QByteArray key = name.toLatin1();
        if (value.isEmpty())
            qunsetenv(key.constData());
        else
            qputenv(key.constData(), value.toUtf8());
    }
    return true;
}
