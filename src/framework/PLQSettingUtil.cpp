#include "PLQSettingUtil.h"

#include "VTRFrameWrkUtils.h"
#include "VtrSettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
QString Key(uint16_t id)
{
    return QStringLiteral("Settings/%1").arg(id);
}

// Defaults written to a new settings file.
void WriteDefaults(QSettings& s)
{
    if (!s.contains(Key(23)))
        s.setValue(Key(23), QStringLiteral("millimeters"));
    if (!s.contains(Key(24)))
        s.setValue(Key(24), QStringLiteral("degrees"));
    if (!s.contains(Key(73)))
        s.setValue(Key(73), false);
}
} // namespace

QString CPLQSettingUtil::SettingsFilePath()
{
    return CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("PLQSettings.ini");
}

bool CPLQSettingUtil::InitializePLQSettingsFromFile()
{
    const QString path = SettingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const std::unique_ptr<QSettings> s = VtrOpenSettingsFile(path);
    WriteDefaults(*s);
    s->sync();
    return s->status() == QSettings::NoError;
}

bool CPLQSettingUtil::GetSettingBooleanValue(uint16_t id, bool& value)
{
    const QVariant v = VtrOpenSettingsFile(SettingsFilePath())->value(Key(id));
    if (!v.isValid())
        return false;
    const QString t = v.toString().trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1")) {
        value = true;
        return true;
    }
    if (t == QLatin1String("false") || t == QLatin1String("0")) {
        value = false;
        return true;
    }
    return false;
}

bool CPLQSettingUtil::GetSettingWStringValue(uint16_t id, QString& value)
{
    const QVariant v = VtrOpenSettingsFile(SettingsFilePath())->value(Key(id));
    if (!v.isValid())
        return false;
    value = v.toString();
    return true;
}

bool CPLQSettingUtil::SetSettingValue(const std::shared_ptr<plq::IValue>& value)
{
    if (!value)
        return false;
    const QString path = SettingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const std::unique_ptr<QSettings> s = VtrOpenSettingsFile(path);
    s->setValue(Key(value->GetSettingId()), value->GetVariant());
    s->sync();
    return s->status() == QSettings::NoError;
}
