#pragma once

#include "RuleUnits.h"
#include "document/CanonicalRuleText.h"

class CVTRFileDetails;

#include <optional>
#include <string>
#include <vector>

// Two rule files compared by rule and setting, never by text: rules pair by
// module, category and name; settings by their path within the rule, and
// values by SameSettingValue. The callers bring both files in one unit pair
// (the second converted to the first's units); the units each file records
// are then no difference.
struct SettingDifference
{
    std::string rule; // "Category/Name", "(file)" for the file's own settings
    std::string setting; // "ticked", "criticality" or the setting's path
    std::optional<std::string> a; // none where the file lacks the setting
    std::optional<std::string> b;
};

struct RuleFileComparison
{
    std::vector<std::string> onlyInA; // rules
    std::vector<std::string> onlyInB;
    std::vector<SettingDifference> settings;
    bool Same() const { return onlyInA.empty() && onlyInB.empty() && settings.empty(); }
};

// Linear in the sizes of both files.
RuleFileComparison CompareRuleFiles(const CanonicalRuleFile& a, const CanonicalRuleFile& b);

// The units a file's settings record (its root's Unit and AngularUnit).
RuleUnits CanonicalFileUnits(const CanonicalRuleFile& file);

// Brings a file read both ways (out as it stands, record with the rules the
// modules made of it) to units: converts the record's rules, writes them to
// the scratch file and reads that back into out. Rules no loaded module
// offers cannot be converted and stay as they stand; unconverted counts
// them. The caller releases the record's rules. False with the reason.
bool ConvertCanonicalFile(CVTRFileDetails& record, const RuleUnits& units, const QString& scratchFile,
    CanonicalRuleFile& out, size_t& unconverted, QString& error);
