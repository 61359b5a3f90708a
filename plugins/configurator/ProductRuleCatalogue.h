#pragma once

#include <span>

#include <QString>

// A configurator key with the categories of its rule module, as the rule list
// pairs configurator rules with modules.
struct ProductRuleKey
{
    const char* key;
    const char* categories[3]; // unused slots are null
};

// The product rules shipped with the configurator, as rule elements.
struct ProductRuleEntry
{
    const char* key; // configurator key of the module the rule belongs to
    const char* summary; // text of the rule list's summary pane
    const char* element; // the "Rule" element
};

namespace ProductRuleCatalogue {
// Every configurator key, as the rule list maps module libraries to them.
std::span<const ProductRuleKey> Keys();
// Whether key is one of Keys().
bool IsKnownKey(const QString& key);
// The shipped rules; Count() entries.
const ProductRuleEntry* Entries();
int Count();
} // namespace ProductRuleCatalogue
