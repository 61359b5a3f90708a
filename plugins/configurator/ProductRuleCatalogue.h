#pragma once

#include <QString>

// The product rules shipped with the configurator, as rule elements.
struct ProductRuleEntry
{
    const char* key; // configurator key of the module the rule belongs to
    const char* summary; // text of the rule list's summary pane
    const char* element; // the "Rule" element
};

namespace ProductRuleCatalogue {
// Every configurator key, as the rule list maps module libraries to them.
bool IsKnownKey(const QString& key);
// The shipped rules; Count() entries.
const ProductRuleEntry* Entries();
int Count();
} // namespace ProductRuleCatalogue
