#include "Utilities/VTRUIUtils.h"

#include "VtrProLog.h"

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

namespace {
void AppendUtf8(std::string& out, QStringView text)
{
    // Rule names are nearly always ASCII: copied in one pass, and only the
    // others pay for a conversion.
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(text.size()));
    char* to = out.data() + start;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            out.resize(start);
            const QByteArray utf8 = text.toUtf8();
            out.append(utf8.constData(), static_cast<size_t>(utf8.size()));
            return;
        }
        *to++ = static_cast<char>(c.unicode());
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
