#pragma once

#include <cstdint>
#include <memory>

#include <QString>
#include <QVariant>

namespace plq {
// One setting value tagged with its setting id.
class IValue
{
public:
    virtual ~IValue() = default;
    // The setting id.
    virtual uint16_t GetSettingId() const = 0;
    // The value as it is stored.
    virtual QVariant GetVariant() const = 0;
};

// A wide-string or boolean setting value.
class Value : public IValue
{
public:
    Value(uint16_t id, const QString& text) : m_id(id), m_value(text) {}
    Value(uint16_t id, bool flag) : m_id(id), m_value(flag) {}
    uint16_t GetSettingId() const override { return m_id; }
    QVariant GetVariant() const override { return m_value; }

private:
    uint16_t m_id;
    QVariant m_value;
};
} // namespace plq

// The framework's setting store: one file, "PLQSettings.ini", in the
// data-settings folder. Ids used by the system: 23 and 24 (default units,
// wide strings) and 73 (usage-event hook, boolean).
class CPLQSettingUtil
{
public:
    // Reads the settings file, creating it with the defaults when missing.
    static bool InitializePLQSettingsFromFile();
    // A boolean setting; false when it is missing or not a boolean.
    static bool GetSettingBooleanValue(uint16_t id, bool& value);
    // A wide-string setting; false when it is missing.
    static bool GetSettingWStringValue(uint16_t id, QString& value);
    // Writes one setting to the file at once.
    static bool SetSettingValue(const std::shared_ptr<plq::IValue>& value);
    // Path of the settings file.
    static QString SettingsFilePath();
};
