// Conversions of rule values between unit pairs, by what the values measure.

#include "RuleUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using VtrUnits::Quantity;

TEST(RuleUnitQuantities, UnitTypesNameWhatIsMeasured)
{
    EXPECT_EQ(VtrUnits::QuantityOfUnitType(u"Length"), Quantity::Length);
    EXPECT_EQ(VtrUnits::QuantityOfUnitType(u"Angle"), Quantity::Angle);
    EXPECT_EQ(VtrUnits::QuantityOfUnitType(u"Area"), Quantity::Area);
    EXPECT_EQ(VtrUnits::QuantityOfUnitType(u"Volume"), Quantity::Volume);
    for (const char16_t* other : { u"None", u"", u"length", u"Mass" })
        EXPECT_EQ(VtrUnits::QuantityOfUnitType(other), Quantity::None);
}

TEST(RuleUnitQuantities, ConvertWithThePowerOfTheLengthFactor)
{
    const struct
    {
        const char* label;
        Quantity quantity;
        double value;
        RuleUnits from;
        RuleUnits to;
        double expected;
        bool changes; // whether the pair change concerns the quantity at all
    } cases[] = {
        { "length mm to in", Quantity::Length, 25.4, { 0, 0 }, { 3, 0 }, 1.0, true },
        { "area mm2 to cm2", Quantity::Area, 250.0, { 0, 0 }, { 1, 0 }, 2.5, true },
        { "area in2 to mm2", Quantity::Area, 1.0, { 3, 0 }, { 0, 0 }, 645.16, true },
        { "area m2 to mm2", Quantity::Area, 2.0, { 2, 0 }, { 0, 0 }, 2.0e6, true },
        { "volume mm3 to cm3", Quantity::Volume, 5000.0, { 0, 0 }, { 1, 0 }, 5.0, true },
        { "volume in3 to mm3", Quantity::Volume, 1.0, { 3, 0 }, { 0, 0 }, 16387.064, true },
        { "volume ft3 to in3", Quantity::Volume, 1.0, { 4, 0 }, { 3, 0 }, 1728.0, true },
        { "angle deg to rad", Quantity::Angle, 180.0, { 0, 0 }, { 0, 3 }, std::numbers::pi, true },
        { "area ignores the angular unit", Quantity::Area, 3.0, { 0, 0 }, { 0, 3 }, 3.0, false },
        { "angle ignores the linear unit", Quantity::Angle, 3.0, { 0, 0 }, { 3, 0 }, 3.0, false },
        { "nothing measured", Quantity::None, 3.0, { 0, 0 }, { 3, 3 }, 3.0, false },
        { "unknown linear code", Quantity::Volume, 3.0, { 0, 0 }, { 42, 0 }, 3.0, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const double got = VtrUnits::ConvertQuantity(c.quantity, c.value, c.from, c.to);
        EXPECT_NEAR(got, c.expected, 1e-12 * std::fabs(c.expected));
        EXPECT_EQ(VtrUnits::ChangesWith(c.quantity, c.from, c.to), c.changes);
    }
}
