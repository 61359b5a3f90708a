#include "settings/RuleUnitSettings.h"

#include "PLQSettingUtil.h"

#include <memory>

QString LinearUnitStoredName(int32_t code)
{
    return VtrUnits::LinearStoredName(code);
}

QString AngularUnitStoredName(int32_t code)
{
    return VtrUnits::AngularStoredName(code);
}

int32_t UnitNameToCode(const QString& name)
{
    // Linear names first, then angular, each returning its position within
    // its own table: one shared search, so a linear setting holding an
    // angular name reads as that angular code.
    for (int32_t code = 0; code < VtrUnits::kLinearCount; ++code)
        if (name.compare(VtrUnits::LinearStoredName(code), Qt::CaseInsensitive) == 0)
            return code;
    for (int32_t code = 0; code < VtrUnits::kAngularCount; ++code)
        if (name.compare(VtrUnits::AngularStoredName(code), Qt::CaseInsensitive) == 0)
            return code;
    return 0;
}

void LoadDefaultRuleUnits(RuleUnits& units)
{
    QString text;
    if (CPLQSettingUtil::GetSettingWStringValue(RuleUnitSettingIds::kLinear, text))
        units.LinearUnit = UnitNameToCode(text);
    text.clear();
    if (CPLQSettingUtil::GetSettingWStringValue(RuleUnitSettingIds::kAngular, text))
        units.AngularUnit = UnitNameToCode(text);
}

void SaveDefaultRuleUnits(const RuleUnits& units)
{
    // A failed write keeps the previous default; nothing the user could act on.
    CPLQSettingUtil::SetSettingValue(
        std::make_shared<plq::Value>(RuleUnitSettingIds::kLinear, LinearUnitStoredName(units.LinearUnit)));
    CPLQSettingUtil::SetSettingValue(
        std::make_shared<plq::Value>(RuleUnitSettingIds::kAngular, AngularUnitStoredName(units.AngularUnit)));
}
