// Converting a rule's values to other units and back gives back the texts
// they started as, for every pair of units; a conversion that would overflow
// is found before anything is written.

#include "ConcreteVTRRule.h"
#include "RuleUnits.h"
#include "UnitConversionChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <string>

namespace {
VtrRuleItem ParameterItem(const QString& name, const QString& unitType, const QString& value)
{
    VtrRuleItem p;
    p.name = QStringLiteral("Parameter");
    p.attributes = { { QStringLiteral("Name"), name }, { QStringLiteral("UnitType"), unitType } };
    VtrRuleItem v;
    v.name = QStringLiteral("Value");
    v.text = value;
    p.children.push_back(v);
    return p;
}

QString ValueText(const ConcreteVTRRule& rule, size_t index)
{
    return rule.Items()[index].children.front().text;
}

// Values as a user types them, each with what it measures.
const struct
{
    const char* unitType;
    const char* value;
} kValues[] = {
    { "Length", "2" },
    { "Length", "3" },
    { "Length", "0.125" },
    { "Length", "7.5" },
    { "Length", "1000" },
    { "Length", "0.001" },
    { "Area", "2" },
    { "Area", "0.125" },
    { "Volume", "3" },
    { "Volume", "0.125" },
    { "Angle", "2" },
    { "Angle", "118" },
    { "Angle", "0.125" },
    { "Angle", "45" },
};
} // namespace

TEST(UnitRoundTrip, EveryPairOfUnitsGivesBackTheTextTyped)
{
    ConcreteVTRRule rule;
    for (const auto& c : kValues)
        rule.Items().push_back(ParameterItem(QStringLiteral("p"), QLatin1String(c.unitType), QLatin1String(c.value)));
    int pairs = 0;
    for (int32_t fromLinear = 0; fromLinear < VtrUnits::kLinearCount; ++fromLinear) {
        for (int32_t toLinear = 0; toLinear < VtrUnits::kLinearCount; ++toLinear) {
            // The angular units go round with the linear ones, so every
            // angular pair meets several linear pairs.
            const RuleUnits from { fromLinear, fromLinear % VtrUnits::kAngularCount };
            const RuleUnits to { toLinear, (toLinear + 1) % VtrUnits::kAngularCount };
            ConcreteVTRRule copy(rule);
            copy.SetRuleUnits(from);
            ASSERT_TRUE(copy.UpdateRule(&from, &to));
            ASSERT_TRUE(copy.UpdateRule(&to, &from));
            for (size_t i = 0; i < std::size(kValues); ++i)
                EXPECT_EQ(ValueText(copy, i).toStdString(), std::string(kValues[i].value))
                    << kValues[i].unitType << " " << kValues[i].value << " from " << fromLinear << ","
                    << from.AngularUnit << " to " << toLinear << "," << to.AngularUnit;
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, VtrUnits::kLinearCount * VtrUnits::kLinearCount);
}

TEST(UnitRoundTrip, AChainOfConversionsComesBackToo)
{
    // Millimetres -> inches -> centimetres -> miles -> millimetres, with
    // degrees -> radians -> degrees/minutes -> radians -> degrees.
    const RuleUnits chain[] = { { 0, 0 }, { 3, 3 }, { 1, 1 }, { 9, 3 }, { 0, 0 } };
    ConcreteVTRRule rule;
    for (const auto& c : kValues)
        rule.Items().push_back(ParameterItem(QStringLiteral("p"), QLatin1String(c.unitType), QLatin1String(c.value)));
    for (size_t step = 0; step + 1 < std::size(chain); ++step)
        ASSERT_TRUE(rule.UpdateRule(&chain[step], &chain[step + 1]));
    for (size_t i = 0; i < std::size(kValues); ++i)
        EXPECT_EQ(ValueText(rule, i).toStdString(), std::string(kValues[i].value)) << kValues[i].unitType;
}

TEST(UnitRoundTrip, ConvertedValuesKeepTheirPrecision)
{
    // Dropping the noise must not drop digits a value really has.
    const struct
    {
        double value;
        double expected;
    } cases[] = {
        { 1.9999999999999998, 2.0 },
        { 117.99999999999999, 118.0 },
        { 0.0590551181102362, 0.0590551181102362 },
        { 1.0 / 3.0, 0.333333333333333 },
        { 123456.789, 123456.789 },
        { -2.0000000000000004, -2.0 },
        { 0.0, 0.0 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR(VtrUnits::RoundConverted(c.value), c.expected, std::fabs(c.expected) * 1e-15) << c.value;
    EXPECT_TRUE(std::isinf(VtrUnits::RoundConverted(std::numeric_limits<double>::infinity())));
}

TEST(UnitRoundTrip, AValueThatWouldOverflowIsNamedBeforeConverting)
{
    const struct
    {
        const char* label;
        const char* unitType;
        const char* value;
        RuleUnits from;
        RuleUnits to;
        bool overflows;
    } cases[] = {
        { "huge length to angstroms", "Length", "1e308", { 0, 0 }, { 6, 0 }, true },
        { "huge length to inches", "Length", "1e308", { 0, 0 }, { 3, 0 }, false },
        { "large area to angstroms", "Area", "1e300", { 0, 0 }, { 6, 0 }, true },
        { "large volume miles to microinches", "Volume", "1e290", { 9, 0 }, { 10, 0 }, true },
        { "ordinary volume", "Volume", "1000", { 9, 0 }, { 10, 0 }, false },
        { "angle unchanged by a linear change", "Angle", "1e308", { 0, 0 }, { 6, 0 }, false },
        { "huge angle to degrees", "Angle", "1e308", { 0, 3 }, { 0, 0 }, true },
    };
    for (const auto& c : cases) {
        ConcreteVTRRule rule;
        rule.Items().push_back(ParameterItem(QStringLiteral("Big"), QLatin1String(c.unitType), QLatin1String(c.value)));
        EXPECT_EQ(OverflowingParameter(rule, c.from, c.to), c.overflows ? QStringLiteral("Big") : QString()) << c.label;
        const double v = QString::fromLatin1(c.value).toDouble();
        const VtrUnits::Quantity q = VtrUnits::QuantityOfUnitType(QString::fromLatin1(c.unitType));
        // A value that overflows in some unit does not fit every unit.
        if (c.overflows) {
            EXPECT_FALSE(VtrUnits::FitsEveryUnit(q, v, c.from)) << c.label;
        }
    }
    EXPECT_TRUE(VtrUnits::FitsEveryUnit(VtrUnits::Quantity::Volume, 1000.0, { 9, 0 }));
    EXPECT_TRUE(VtrUnits::FitsEveryUnit(VtrUnits::Quantity::None, 1e308, { 9, 0 }));
}
