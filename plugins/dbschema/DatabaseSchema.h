#pragma once

#include <cstdint>

// The product database's schema, one list of steps for every database
// module: step n takes a database from version n to n + 1. Each step has
// its statements in each module's dialect and, where it moves or seeds
// data, names the data step the module runs after them in the same
// transaction. The version reached is kept in SchemaVersion (Version).
namespace vtr_db {

inline constexpr int32_t kSchemaVersion = 6;
// The first version whose stored rules carry help ids and a unique
// case-folded name and category.
inline constexpr int32_t kRuleIdentityVersion = 5;
// The first version with a change log and versioned product rows.
inline constexpr int32_t kChangeLogVersion = 6;

enum class SchemaData {
    None,
    // Fill the product tables from SeedRows (keeping rows the user has).
    SeedProducts,
    // Give each stored rule a help id in text order (category, name, key),
    // move its messages from help id 0 to that id, store the folded
    // identity, then create the unique indexes UserRulesHelpId (HelpId) and
    // UserRulesIdentity (FoldedName, FoldedCategory) and set the help id
    // counter (StoredRuleHelpIds.Next) past the last id given.
    NumberStoredRules,
};

struct SchemaStep
{
    const char* sqlite;
    const char* postgres;
    SchemaData data;
};

// The steps, kSchemaVersion of them.
extern const SchemaStep kSchemaSteps[];

} // namespace vtr_db
