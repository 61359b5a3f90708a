#include "Utilities/YesNo.h"

bool ParseYesNo(const QString& text, QString& normalized)
{
    const QString lower = text.trimmed().toLower();
    if (lower == QLatin1String("1") || lower == QLatin1String("true") || lower == QLatin1String("yes")) {
        normalized = QStringLiteral("1");
        return true;
    }
    if (lower == QLatin1String("0") || lower == QLatin1String("false") || lower == QLatin1String("no")) {
        normalized = QStringLiteral("0");
        return true;
    }
    return false;
}
