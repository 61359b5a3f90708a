#include "Utilities/VTRUIUtils.h"

#include "VTRFrameWrkUtils.h"

#include "VtrProLog.h"

#include <algorithm>
#include <vector>

#include <pwd.h>
#include <unistd.h>

void LogWithText(const QString& message, const QString& text)
{
    QString line = message;
    line.replace(QLatin1String("%s"), text);
    CVtrProLog::PrintMessage(line, VTRUIUtils::kLogSource, 296);
}

void LogWithNumber(const QString& message, long long number)
{
    QString line = message;
    line.replace(QLatin1String("%d"), QString::number(number));
    CVtrProLog::PrintMessage(line, VTRUIUtils::kLogSource, 307);
}

void LogLine(const QString& message)
{
    LogWithText(message, QString());
}

QString LoggedOnUserName()
{
    return CVTRFrameWrkUtils::LoggedOnUserName();
}

namespace {
void AppendUtf8(std::string& out, QStringView text)
{
    // Rule names are nearly always ASCII: they are checked and narrowed in
    // two plain loops the compiler turns into vector code, and only the
    // others pay for a conversion.
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    char16_t all = 0;
    for (qsizetype i = 0; i < size; ++i)
        all |= units[i];
    if (all >= 0x80) {
        const QByteArray utf8 = text.toUtf8();
        out.append(utf8.constData(), static_cast<size_t>(utf8.size()));
        return;
    }
    char narrow[256];
    for (qsizetype done = 0; done < size;) {
        const qsizetype chunk = std::min<qsizetype>(size - done, qsizetype(sizeof narrow));
        for (qsizetype i = 0; i < chunk; ++i)
            narrow[i] = static_cast<char>(units[done + i]);
        out.append(narrow, static_cast<size_t>(chunk));
        done += chunk;
    }
}
} // namespace

void LogTextBatch::AddWithText(QStringView message, QStringView text)
{
    if (m_lines.empty())
        m_prefix = CVtrProLog::LinePrefix(VTRUIUtils::kLogSource, 296);
    m_lines += m_prefix;
    qsizetype from = 0;
    for (qsizetype at = 0; at + 1 < message.size(); ++at) {
        if (message[at] == u'%' && message[at + 1] == u's') {
            AppendUtf8(m_lines, message.sliced(from, at - from));
            AppendUtf8(m_lines, text);
            from = at + 2;
            ++at;
        }
    }
    AppendUtf8(m_lines, message.sliced(from));
    m_lines.push_back('\n');
    // Keeps a huge action from holding its whole log in memory.
    if (m_lines.size() >= (size_t(1) << 20))
        Write();
}

void LogTextBatch::Write()
{
    CVtrProLog::PrintFormatted(m_lines);
    m_lines.clear();
}

void LogTextBatch::Flush()
{
    Write();
    // A big batch gives its memory back; a small one keeps it for the next.
    if (m_lines.capacity() > (size_t(1) << 16))
        std::string().swap(m_lines);
}
