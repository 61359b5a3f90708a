#include "document/FileDetails.h"

#include "VtrRule.h"
#include "settings/RuleUnitSettings.h"

CVTRFileDetails::CVTRFileDetails()
{
    // units and previousUnits start as (0, 0); a setting that cannot be read
    // leaves millimeters / degrees in force.
    LoadDefaultRuleUnits(units);
}

void CVTRFileDetails::AddRule(CVtrRule* rule)
{
    if (!rule)
        return;
    m_rules.push_back(rule);
    rule->SetSequenceNumber(RuleCount());
}

CVtrRule* CVTRFileDetails::RuleAt(int32_t sequence) const
{
    if (sequence < 1 || sequence > RuleCount())
        return nullptr;
    return m_rules[static_cast<size_t>(sequence - 1)];
}
