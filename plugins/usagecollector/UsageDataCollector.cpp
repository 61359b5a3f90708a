// The usage-data collector: each usage event becomes one line
// "value<TAB>kind<TAB>text" of "UsageEvents.log" in the data-settings folder.
// Events are rare (one per command), so the file is opened, appended to and
// closed for each one and nothing is lost when the program ends abruptly.

#include "VTRFrameWrkUtils.h"

#include <cstdint>

#include <QDir>
#include <QFile>
#include <QString>

namespace {
// Tabs, line breaks and backslashes in the text are escaped so that one event
// stays one line with three fields.
QString Escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}
} // namespace

// One usage event; a folder or file that cannot be written drops it, as the
// program must behave the same with or without the collector.
extern "C" __attribute__((visibility("default"))) void PLQTrackEvent(int32_t value, int32_t kind, const QString* text)
{
    const QString folder = CVTRFrameWrkUtils::GetDataSettingsFolder();
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("UsageEvents.log"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString line = QString::number(value) + QLatin1Char('\t') + QString::number(kind) + QLatin1Char('\t')
        + (text ? Escaped(*text) : QString()) + QLatin1Char('\n');
    file.write(line.toUtf8());
}
