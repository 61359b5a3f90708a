#pragma once

#include "VtrXMLDocument.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include <QHash>
#include <QString>

// The "Rule" elements of one rule file, indexed by rule name and category
// (both in lower case), so that finding a rule's elements costs one look-up
// however many rules the file holds.
class RuleElementIndex
{
public:
    // A rule the file holds: the spelling of its first element.
    struct RuleKey
    {
        QString name;
        QString category;
    };

    RuleElementIndex() = default;
    RuleElementIndex(const RuleElementIndex&) = delete;
    RuleElementIndex& operator=(const RuleElementIndex&) = delete;

    // Loads a rule file; false (and an empty index) when it cannot be read or
    // is not well-formed.
    bool Load(const QString& path);
    bool IsLoaded() const { return m_loaded; }
    // Why the last Load failed.
    QString LastError() const { return m_error; }
    // The rule's elements in document order; empty when the file has none.
    const std::vector<pugi::xml_node>& Elements(const QString& name, const QString& category) const;
    // Every rule of the file once, in the order of its first element.
    const std::vector<RuleKey>& Rules() const { return m_rules; }
    // The loaded document, which owns the elements.
    VtrXMLDocument* Document() { return &m_doc; }

private:
    VtrXMLDocument m_doc;
    QHash<QString, std::vector<pugi::xml_node>> m_byKey;
    std::vector<RuleKey> m_rules;
    QString m_error;
    bool m_loaded = false;
};

// Whether two texts of one setting are the same setting: equal once the
// spaces around them are dropped, or numbers within a relative 1e-9 of each
// other (a change of units and back may leave the last digits apart). The
// one comparison behind the settings report, diff, Reset to Default and the
// marks of the parameter editor.
bool SameSettingValue(std::string_view a, std::string_view b);

// One line of a settings listing: key and value as the file holds them (UTF-8).
struct SettingsLine
{
    std::string key;
    std::string value;
    // Same key and, by SameSettingValue, the same value.
    bool operator==(const SettingsLine& other) const;
};

// Receives the lines of a settings listing in order.
class ISettingsSink
{
public:
    virtual ~ISettingsSink() = default;
    virtual void Line(const char* key, const char* value) = 0;
};

// Writes the settings listing of one rule from its elements of one file: the
// flat, ordered text of the settings that decide whether the rule differs
// from its defaults. ruleName, the rule being compared, decides the special
// cases.
void ListRuleSettings(const std::vector<pugi::xml_node>& elements, const QString& ruleName, ISettingsSink& sink);
// The same listing as lines.
std::vector<SettingsLine> RuleSettingsLines(const std::vector<pugi::xml_node>& elements, const QString& ruleName);
// MD5 of the listing as "key = value\r\n" lines (32 lowercase hex digits);
// empty when the digest cannot be made.
QString RuleSettingsDigest(const std::vector<pugi::xml_node>& elements, const QString& ruleName);

// Whether a rule's saved settings differ from its defaults.
enum class SettingsVerdict { Unknown, Same, Differs };

// Compares rules of a saved rule file with their defaults in the all-rules
// file. Both files are loaded once; each comparison then lists the rule in
// memory and compares the listings line by line, so comparing many rules
// stays linear.
class RuleSettingsReport
{
public:
    // Loads both files; false when either cannot be loaded (no verdicts then).
    bool Load(const QString& currentPath, const QString& defaultPath);
    bool IsLoaded() const { return m_current.IsLoaded() && m_defaults.IsLoaded(); }
    // Compares one rule. The flag becomes 1 when the listings differ, 0 when
    // they are equal, and is left as it was when no verdict can be made.
    SettingsVerdict Compare(const QString& name, const QString& category, int32_t& differsFlag) const;
    SettingsVerdict Compare(const QString& name, const QString& category) const;
    const RuleElementIndex& Current() const { return m_current; }
    const RuleElementIndex& Defaults() const { return m_defaults; }

private:
    RuleElementIndex m_current;
    RuleElementIndex m_defaults;
};

// The assembly rules whose settings are never compared, so "Reset to
// Default" is never offered for them.
bool IsNeverResetRule(const QString& ruleName);
