#include "OutputFormat.h"

#include <cstdio>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace OutputFormat {
bool Take(QStringList& args, bool& json)
{
    json = false;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString format;
        if (args[i] == QLatin1String("--format")) {
            if (i + 1 >= args.size())
                return false;
            format = args[++i];
        } else if (args[i].startsWith(QLatin1String("--format="))) {
            format = args[i].mid(9);
        } else {
            rest.append(args[i]);
            continue;
        }
        if (format == QLatin1String("json"))
            json = true;
        else if (format == QLatin1String("text"))
            json = false;
        else
            return false;
    }
    args = rest;
    return true;
}

bool Requested(const QStringList& args)
{
    for (const QString& a : args)
        if (a == QLatin1String("--format") || a.startsWith(QLatin1String("--format=")))
            return true;
    return false;
}

void PrintJson(const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    const QByteArray text = document.toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
}
} // namespace OutputFormat
