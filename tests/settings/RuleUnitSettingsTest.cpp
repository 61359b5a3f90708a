// Stored unit names and the default unit pair.

#include "TestSupport.h"
#include "PLQSettingUtil.h"
#include "document/FileDetails.h"
#include "settings/RuleUnitSettings.h"

#include <memory>

#include <gtest/gtest.h>

TEST(UnitNameToCode, MatchesStoredNamesIgnoringCase)
{
    struct Case
    {
        const char* name;
        int32_t code;
    };
    const Case cases[] = {
        { "millimeters", 0 },
        { "MILLIMETERS", 0 },
        { "centimeters", 1 },
        { "meters", 2 },
        { "Inches", 3 },
        { "feet", 4 },
        { "feet & inches", 5 },
        { "angstroms", 6 },
        { "nanometers", 7 },
        { "microns", 8 },
        { "miles", 9 },
        { "microinches", 10 },
        { "degrees", 0 },
        { "degrees/minutes", 1 },
        { "Degrees/Minutes/Seconds", 2 },
        { "radians", 3 },
        { "", 0 },
        { "furlongs", 0 },
        { " inches", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnitNameToCode(QString::fromUtf8(c.name)), c.code) << c.name;
}

TEST(UnitStoredNames, UnknownCodesFallBack)
{
    EXPECT_EQ(LinearUnitStoredName(5), QStringLiteral("feet & inches"));
    EXPECT_EQ(LinearUnitStoredName(11), QStringLiteral("millimeters"));
    EXPECT_EQ(LinearUnitStoredName(-1), QStringLiteral("millimeters"));
    EXPECT_EQ(AngularUnitStoredName(3), QStringLiteral("radians"));
    EXPECT_EQ(AngularUnitStoredName(4), QStringLiteral("degrees"));
}

TEST(DefaultRuleUnits, SaveThenLoadAndMissingSettingsKeepTheCode)
{
    ScopedTestEnv env;
    RuleUnits units { 7, 2 };
    LoadDefaultRuleUnits(units); // nothing stored yet
    EXPECT_EQ(units, (RuleUnits { 7, 2 }));

    SaveDefaultRuleUnits({ 3, 3 });
    QString text;
    ASSERT_TRUE(CPLQSettingUtil::GetSettingWStringValue(23, text));
    EXPECT_EQ(text, QStringLiteral("inches"));
    ASSERT_TRUE(CPLQSettingUtil::GetSettingWStringValue(24, text));
    EXPECT_EQ(text, QStringLiteral("radians"));

    units = {};
    LoadDefaultRuleUnits(units);
    EXPECT_EQ(units, (RuleUnits { 3, 3 }));

    // A linear setting holding an angular name reads through the shared table.
    CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(23), QStringLiteral("RADIANS")));
    CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(24), QStringLiteral("bogus")));
    LoadDefaultRuleUnits(units);
    EXPECT_EQ(units, (RuleUnits { 3, 0 }));

    // Fresh records start from the stored pair.
    SaveDefaultRuleUnits({ 8, 1 });
    CVTRFileDetails record;
    EXPECT_EQ(record.units, (RuleUnits { 8, 1 }));
    EXPECT_EQ(record.previousUnits, (RuleUnits { 0, 0 }));
}
