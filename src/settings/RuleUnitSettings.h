#pragma once

#include "RuleUnits.h"

#include <cstdint>

#include <QString>

// Setting ids of the stored default unit pair in the framework's setting store.
namespace RuleUnitSettingIds {
inline constexpr uint16_t kLinear = 23;
inline constexpr uint16_t kAngular = 24;
} // namespace RuleUnitSettingIds

// Stored name of a linear code; any other code gives "millimeters".
QString LinearUnitStoredName(int32_t code);
// Stored name of an angular code; any other code gives "degrees".
QString AngularUnitStoredName(int32_t code);
// Code of a stored name of either kind, compared without regard to case
// ("degrees" gives 0, "radians" 3); a name that matches nothing gives 0.
int32_t UnitNameToCode(const QString& name);
// Fills the pair from settings 23 and 24; a setting that cannot be read
// leaves that code as the caller had it.
void LoadDefaultRuleUnits(RuleUnits& units);
// Stores the pair as names in settings 23 (linear) then 24 (angular).
void SaveDefaultRuleUnits(const RuleUnits& units);
