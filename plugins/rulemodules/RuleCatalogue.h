#pragma once

#include "ModuleRule.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QHash>

#include <pugixml.hpp>
#include <QSet>
#include <QString>
#include <QStringList>

// The rules a module offers, read once from the catalogue compiled into the
// module. Every rule handed out is a copy of a catalogue prototype, so the
// texts of all copies share the catalogue's strings.
class RuleCatalogue
{
public:
    // Reads a catalogue; false (with the reason in error) when it is unusable,
    // and the catalogue is then empty.
    bool Load(const char* data, std::size_t size, QString& error);

    // The library base name the catalogue was written for.
    const QString& Library() const { return m_library; }
    // Display name of the module ("Sheet Metal Rules").
    const QString& ModuleName() const { return m_moduleName; }
    // Description of the module.
    const QString& Summary() const { return m_summary; }
    // The prototypes, in catalogue order.
    const std::vector<std::unique_ptr<CVtrModuleRule>>& Rules() const { return m_rules; }
    // The prototype with that name and category (both without regard to case), or null.
    const CVtrModuleRule* Find(const QString& name, const QString& category) const;
    // The same for UTF-8 texts, without making strings of ASCII ones.
    const CVtrModuleRule* Find(const char* name, const char* category) const;
    // Whether an element stamped with this module name belongs to the module:
    // the module's display name or a module name one of its rules carries.
    bool OwnsModuleName(const QString& moduleName) const;
    // The same for UTF-8 text.
    bool OwnsModuleName(const char* moduleName) const;
    // Replaces every text of the rule that the catalogue also holds with the
    // catalogue's copy, so rules read from files share storage too. Texts
    // equal to those of origin (a rule of the catalogue the rule was copied
    // from, or one whose settings it probably repeats) are taken from origin.
    void Intern(CVtrModuleRule& rule, const CVtrModuleRule* origin = nullptr) const;
    // A prototype whose settings (the rule element's child elements) the
    // element probably repeats, or null: found by a hash of the element's
    // text, so the caller still compares before it shares them.
    const CVtrModuleRule* WithSettingsLike(pugi::xml_node ruleElement) const;

private:
    static QString Key(const QString& name, const QString& category);
    static size_t ItemsHash(const std::vector<VtrRuleItem>& items);
    void CollectStrings(const CVtrModuleRule& rule);
    void InternItem(VtrRuleItem& item) const;
    QString Shared(const QString& text) const;

    QString m_library;
    QString m_moduleName;
    QString m_summary;
    std::vector<std::unique_ptr<CVtrModuleRule>> m_rules;
    QHash<QString, const CVtrModuleRule*> m_index;
    // The same keys in UTF-8, looked up by views of them.
    struct Utf8Hash
    {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, const CVtrModuleRule*, Utf8Hash, std::equal_to<>> m_utf8Index;
    // The rules of the catalogue by the hash of their items.
    QMultiHash<size_t, const CVtrModuleRule*> m_byItems;
    // The same by the hash of their elements' text (see WithSettingsLike).
    QHash<size_t, const CVtrModuleRule*> m_byElementItems;
    QStringList m_ownModuleNames;
    // The same in lower case when all of them are ASCII, else empty.
    std::vector<std::string> m_ownAsciiNames;
    QSet<QString> m_strings;
};
