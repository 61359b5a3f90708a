#pragma once

#include "modules/ModuleContract.h"

#include <vector>

class CVtrRule;
struct ModuleSet;

// A rule as the rule list offers it, and the module entry that releases it.
struct ListedRule
{
    CVtrRule* rule;
    PFN_DeleteRule deleteRule;
};

// Every rule the rule list offers, in its order: the rules of each loaded
// rule module, each module's followed by the configurator's product rules
// for it, all stamped with the library they came from. `rules` prints this
// list and `new` picks from it, so every rule listed can be written.
std::vector<ListedRule> ListOfferedRules(ModuleSet& modules);
// Hands every rule back to its module; do so before the libraries are freed.
void ReleaseOfferedRules(std::vector<ListedRule>& rules);

// Whether the product database could be read for what the command shows;
// says why on stderr when it could not. True without a database module (the
// program then has no stored data to show).
bool DatabaseWasReadable();
