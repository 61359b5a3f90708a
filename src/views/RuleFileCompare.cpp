#include "views/RuleFileCompare.h"

#include "VtrRule.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "views/RuleSettingsReport.h"

#include <cstdlib>
#include <unordered_set>

#include <unordered_map>

namespace {
// The words a reader knows for the attributes that matter most.
std::string SettingLabel(const std::string& setting)
{
    if (setting == "@Selected")
        return "ticked";
    if (setting == "@Severity")
        return "criticality";
    return setting;
}

// What a file's or rule's units are recorded as: brought to one pair, they
// are the same.
bool IsUnitRecord(const std::string& setting)
{
    return setting == "@LinearUnit" || setting == "@AngularUnit" || setting == "@Unit";
}

void CompareSettings(const std::string& rule, const std::vector<CanonicalSetting>& a,
    const std::vector<CanonicalSetting>& b, std::vector<SettingDifference>& out)
{
    std::unordered_map<std::string, const CanonicalSetting*> inB;
    inB.reserve(b.size());
    for (const CanonicalSetting& s : b)
        inB.emplace(s.setting, &s);
    for (const CanonicalSetting& s : a) {
        const auto it = inB.find(s.setting);
        if (it == inB.end()) {
            out.push_back({ rule, SettingLabel(s.setting), s.value, std::nullopt });
            continue;
        }
        if (!IsUnitRecord(s.setting) && !SameSettingValue(s.value, it->second->value))
            out.push_back({ rule, SettingLabel(s.setting), s.value, it->second->value });
        inB.erase(it);
    }
    for (const CanonicalSetting& s : b)
        if (inB.count(s.setting))
            out.push_back({ rule, SettingLabel(s.setting), std::nullopt, s.value });
}
} // namespace

RuleFileComparison CompareRuleFiles(const CanonicalRuleFile& a, const CanonicalRuleFile& b)
{
    RuleFileComparison result;
    CompareSettings("(file)", a.file, b.file, result.settings);
    std::unordered_map<std::string, const CanonicalRule*> inB;
    inB.reserve(b.rules.size());
    for (const CanonicalRule& rule : b.rules)
        inB.emplace(rule.identity, &rule);
    for (const CanonicalRule& rule : a.rules) {
        const auto it = inB.find(rule.identity);
        if (it == inB.end()) {
            result.onlyInA.push_back(rule.owner);
            continue;
        }
        CompareSettings(rule.owner, rule.settings, it->second->settings, result.settings);
        inB.erase(it);
    }
    for (const CanonicalRule& rule : b.rules)
        if (inB.count(rule.identity))
            result.onlyInB.push_back(rule.owner);
    return result;
}

RuleUnits CanonicalFileUnits(const CanonicalRuleFile& file)
{
    RuleUnits units;
    for (const CanonicalSetting& s : file.file) {
        if (s.setting == "@Unit")
            units.LinearUnit = std::atoi(s.value.c_str());
        else if (s.setting == "@AngularUnit")
            units.AngularUnit = std::atoi(s.value.c_str());
    }
    return units;
}

bool ConvertCanonicalFile(CVTRFileDetails& record, const RuleUnits& units, const QString& scratchFile,
    CanonicalRuleFile& out, size_t& unconverted, QString& error)
{
    unconverted = 0;
    if (record.units == units)
        return true;
    for (CVtrRule* rule : record.Rules()) {
        const RuleUnits from = rule->GetRuleUnits();
        if (!(from == units))
            rule->UpdateRule(&from, &units);
    }
    record.units = units;
    CanonicalRuleFile raw = std::move(out);
    out = {};
    if (!WriteRuleFile(record, scratchFile, false) || !ReadCanonicalRuleFile(scratchFile, out, error)) {
        error = QStringLiteral("its rules cannot be converted to the other file's units");
        return false;
    }
    if (record.droppedRules.empty())
        return true;
    std::unordered_set<std::string> present;
    for (const CanonicalRule& rule : out.rules)
        present.insert(rule.identity);
    for (CanonicalRule& rule : raw.rules)
        if (!present.count(rule.identity)) {
            out.rules.push_back(std::move(rule));
            ++unconverted;
        }
    return true;
}
