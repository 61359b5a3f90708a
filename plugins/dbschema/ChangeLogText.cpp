#include "ChangeLogText.h"

#include "VTRFrameWrkUtils.h"

#include <QDateTime>
#include <QLocale>
#include <QSysInfo>
#include <QTimeZone>

namespace vtr_db {

QString ChangeUser()
{
    return CVTRFrameWrkUtils::LoggedOnUserName();
}

QString ChangeHost()
{
    return QSysInfo::machineHostName();
}

QString ChangeTime()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString ChangeTimeFrom(const QString& text)
{
    const QString trimmed = text.trimmed();
    QDateTime time = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!time.isValid())
        time = QDateTime::fromString(trimmed, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        time = QDateTime::fromString(trimmed, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!time.isValid()) {
        const QDate date = QDate::fromString(trimmed, Qt::ISODate);
        if (date.isValid())
            time = date.startOfDay();
    }
    if (!time.isValid())
        return {};
    return time.toUTC().toString(Qt::ISODate);
}

QString MessageChangeKey(int32_t helpId, const QString& ruleName, const QString& category)
{
    return QStringLiteral("%1 %2/%3").arg(helpId).arg(category, ruleName);
}

QString RuleChangeKey(const QString& key, const QString& ruleName, const QString& category)
{
    return QStringLiteral("%1 %2/%3").arg(key, category, ruleName);
}

QString ProductChangeKey(ProductTable table, int64_t id)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(ProductSqlTable(table))).arg(id);
}

QString ProductRowText(ProductTable table, const ProductRow& row)
{
    const std::vector<ProductColumn>& columns = ProductColumns(table);
    QStringList parts;
    for (size_t i = 0; i < columns.size() && static_cast<qsizetype>(i) < row.values.size(); ++i) {
        const QVariant& value = row.values[static_cast<qsizetype>(i)];
        if (!value.isValid() || value.isNull())
            continue;
        QString text;
        if (columns[i].kind == ColumnKind::ProcessSet)
            text = value.toStringList().join(QStringLiteral(", "));
        else if (columns[i].kind == ColumnKind::Number)
            text = QString::number(value.toDouble(), 'g', 15);
        else
            text = value.toString();
        if (!text.isEmpty())
            parts << QString::fromUtf8(columns[i].label) + QStringLiteral(": ") + text;
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace vtr_db
