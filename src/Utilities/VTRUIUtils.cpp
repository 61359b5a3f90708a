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
