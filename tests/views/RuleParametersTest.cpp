// The parameter editing session without windows: which parameters a rule
// has, checking typed values, the module's defaults and writing back.

#include "ConcreteVTRRule.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "views/RuleParameters.h"

#include <memory>

#include <gtest/gtest.h>

namespace {

// A rule read from one "Rule" element.
std::unique_ptr<ConcreteVTRRule> RuleFrom(const QByteArray& element)
{
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(element.constData(), static_cast<size_t>(element.size())));
    EXPECT_TRUE(root);
    auto rule = std::make_unique<ConcreteVTRRule>();
    EXPECT_TRUE(rule->PopulateParametersFromXML(root.get()));
    return rule;
}

const QByteArray kBendRule = R"(<Rule Name="Minimum Bend Radius" RuleCategory="Sheet Metal" Severity="2" LinearUnit="3">
  <Parameter Type="1" Status="1" Name="Minimum inside bend radius" UnitType="Length">
    <Operator>&gt;=</Operator><ParameterType>Double</ParameterType>
    <Value>1</Value><Recom>1.5</Recom><Alert>0.8</Alert>
  </Parameter>
  <Constraint Type="Material" Value="Steel">
    <Parameter Type="1" Status="1" Name="Minimum inside bend radius" UnitType="Length">
      <Operator>&gt;=</Operator><ParameterType>Double</ParameterType><Value>3</Value>
    </Parameter>
  </Constraint>
  <Parameter Type="4" Status="1" Name="Check formed parts" UnitType="None">
    <Operator>=</Operator><ParameterType>Boolean</ParameterType><Value>1</Value>
  </Parameter>
  <Parameter Type="1" Status="1" Name="Maximum bends" UnitType="None">
    <Operator>&lt;=</Operator><ParameterType>Integer</ParameterType><Value>4</Value><Min>1</Min><Max>20</Max>
  </Parameter>
  <Parameter Type="1" Status="1" Name="Radius by thickness" UnitType="Length">
    <Operator>=</Operator><ParameterType>Double</ParameterType>
    <Value Attribute1="up to 1">1</Value><Value Attribute1="up to 3">2</Value>
  </Parameter>
  <Parameter Type="8" Status="1" Name="Standard radii" UnitType="Length">
    <Operator>=</Operator><ParameterType>Double</ParameterType>
    <Value Attribute1="Tool">0.5</Value><Value Attribute1="Tool">1</Value>
  </Parameter>
</Rule>)";

TEST(RuleParametersTest, ParametersAreReadWithTheirConstraintsValuesAndUnits)
{
    const auto rule = RuleFrom(kBendRule);
    const RuleParameterEdit edit(*rule);
    ASSERT_EQ(edit.Count(), 6);
    EXPECT_EQ(edit.At(0).key, QStringLiteral("Minimum inside bend radius"));
    EXPECT_EQ(edit.At(0).op, QStringLiteral(">="));
    EXPECT_EQ(edit.Text(0, ParameterField::Recommended), QStringLiteral("1.5"));
    EXPECT_EQ(edit.Text(0, ParameterField::Alert), QStringLiteral("0.8"));
    EXPECT_EQ(edit.UnitText(0), QStringLiteral("inches")) << "the rule's own units";
    EXPECT_EQ(edit.At(1).key, QStringLiteral("Minimum inside bend radius [Material = Steel]"));
    EXPECT_FALSE(edit.Has(1, ParameterField::Recommended));
    EXPECT_EQ(edit.At(2).valueType, QStringLiteral("Boolean"));
    EXPECT_EQ(edit.UnitText(2), QString());
    EXPECT_EQ(edit.Text(4, ParameterField::Value), QStringLiteral("1;2"));
    EXPECT_EQ(edit.At(4).valueLabels, (QStringList { "up to 1", "up to 3" }));
    EXPECT_EQ(edit.Criticality(), 2);
}

TEST(RuleParametersTest, AParameterIsNamedByItsKeyOrItsOnlyNameCaseAside)
{
    const auto rule = RuleFrom(kBendRule);
    const RuleParameterEdit edit(*rule);
    const struct
    {
        const char* name;
        int index;
        const char* error;
    } cases[] = {
        { "minimum inside bend radius", 0, "" },
        { "MINIMUM INSIDE BEND RADIUS [material = steel]", 1, "" },
        { " check formed parts ", 2, "" },
        { "No Such Parameter", -1, "no parameter named \"No Such Parameter\"" },
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(edit.Find(QLatin1String(c.name), error), c.index) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.error))) << error.toStdString();
    }
    // A name shared by two parameters, neither of them at the top, is ambiguous.
    const auto twice = RuleFrom(R"(<Rule Name="R" RuleCategory="General">
      <Constraint Value="A"><Parameter Name="Gap"><Value>1</Value></Parameter></Constraint>
      <Constraint Value="B"><Parameter Name="Gap"><Value>2</Value></Parameter></Constraint></Rule>)");
    const RuleParameterEdit shared(*twice);
    QString error;
    EXPECT_EQ(shared.Find(QStringLiteral("gap"), error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("\"Gap [A]\""))) << error.toStdString();
    EXPECT_EQ(shared.Find(QStringLiteral("Gap [B]"), error), 1);
}

TEST(RuleParametersTest, TypedValuesAreCheckedAgainstTheParameterType)
{
    const struct
    {
        int index;
        ParameterField field;
        const char* typed;
        bool ok;
        const char* stored; // the text kept, or the message's start on refusal
    } cases[] = {
        { 0, ParameterField::Value, " 2.50 ", true, "2.5" },
        { 0, ParameterField::Value, "abc", false, "\"Minimum inside bend radius\" needs a number, not \"abc\"" },
        { 0, ParameterField::Value, "", false, "\"Minimum inside bend radius\" needs a number" },
        { 0, ParameterField::Value, "inf", false, "\"Minimum inside bend radius\" needs a number" },
        { 0, ParameterField::Recommended, "2", true, "2" },
        { 0, ParameterField::Alert, "low", false, "\"Minimum inside bend radius\" needs a number" },
        { 1, ParameterField::Recommended, "2", false, "\"Minimum inside bend radius [Material = Steel]\" has no" },
        { 2, ParameterField::Value, "no", true, "0" },
        { 2, ParameterField::Value, "TRUE", true, "1" },
        { 2, ParameterField::Value, "maybe", false, "\"Check formed parts\" needs 1 (yes) or 0 (no)" },
        { 3, ParameterField::Value, "7", true, "7" },
        { 3, ParameterField::Value, "7.5", false, "\"Maximum bends\" needs a whole number" },
        { 3, ParameterField::Value, "21", false, "\"Maximum bends\" must lie between 1 and 20" },
        { 4, ParameterField::Value, "1.5; 2.5", true, "1.5;2.5" },
        { 4, ParameterField::Value, "1.5", false, "\"Radius by thickness\" takes 2 values separated by \";\"" },
        { 4, ParameterField::Value, "1;x", false, "\"Radius by thickness\" needs a number, not \"x\"" },
        { 5, ParameterField::Value, "0.5;1;1.5;", true, "0.5;1;1.5" },
        { 5, ParameterField::Value, "2", true, "2" },
        { 5, ParameterField::Value, "", false, "\"Standard radii\" needs a number" },
        // Sizes are never negative, in any of their fields or list entries.
        { 0, ParameterField::Value, "-5", false,
            "\"Minimum inside bend radius\" is a size in inches and cannot be negative: -5" },
        { 0, ParameterField::Recommended, "-0.5", false, "\"Minimum inside bend radius\" is a size in inches" },
        { 0, ParameterField::Alert, "-1e-9", false, "\"Minimum inside bend radius\" is a size in inches" },
        { 4, ParameterField::Value, "1;-2", false, "\"Radius by thickness\" is a size in inches" },
        { 0, ParameterField::Value, "0", true, "0" },
        // A value that would be infinite in angstroms is refused in inches.
        { 0, ParameterField::Value, "1e308", false,
            "\"Minimum inside bend radius\" is too large: 1e308 inches cannot be converted" },
        { 0, ParameterField::Value, "1e12", true, "1000000000000" },
        { 3, ParameterField::Value, "-3", false, "\"Maximum bends\" must lie between 1 and 20" },
    };
    for (const auto& c : cases) {
        const auto rule = RuleFrom(kBendRule);
        RuleParameterEdit edit(*rule);
        const QString before = edit.Text(c.index, c.field);
        QString error;
        EXPECT_EQ(edit.SetText(c.index, c.field, QString::fromUtf8(c.typed), error), c.ok) << c.typed;
        if (c.ok) {
            EXPECT_EQ(edit.Text(c.index, c.field), QString::fromUtf8(c.stored)) << c.typed;
        } else {
            EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.stored))) << c.typed << ": " << error.toStdString();
            EXPECT_EQ(edit.Text(c.index, c.field), before) << "nothing changes on refusal";
            EXPECT_FALSE(edit.IsChanged());
        }
    }
}

TEST(RuleParametersTest, ValuesAreComparedWithTheModulesDefaultsAsNumbers)
{
    const auto rule = RuleFrom(kBendRule);
    auto defaults = RuleFrom(kBendRule);
    defaults->SetCriticality(3);
    // A default converted to other units and back is still the same value.
    defaults->Items()[0].Child(QStringLiteral("Value"))->text = QStringLiteral("1.0000000000001");
    defaults->Items()[0].Child(QStringLiteral("Recom"))->text = QStringLiteral("2");
    RuleParameterEdit edit(*rule, defaults.get());
    EXPECT_EQ(edit.DefaultCriticality(), 3);
    EXPECT_FALSE(edit.Differs(0, ParameterField::Value));
    EXPECT_TRUE(edit.Differs(0, ParameterField::Recommended));
    EXPECT_EQ(edit.DefaultText(0, ParameterField::Recommended), QStringLiteral("2"));
    EXPECT_FALSE(edit.Differs(0, ParameterField::Alert));
    EXPECT_EQ(edit.DefaultText(1, ParameterField::Value), QStringLiteral("3")) << "matched by key";
    QString error;
    ASSERT_TRUE(edit.SetText(5, ParameterField::Value, QStringLiteral("0.5;1;2"), error));
    EXPECT_TRUE(edit.Differs(5, ParameterField::Value));
    EXPECT_EQ(edit.DefaultText(5, ParameterField::Value), QStringLiteral("0.5;1"));

    // Without defaults nothing is marked.
    const RuleParameterEdit alone(*rule);
    EXPECT_FALSE(alone.At(0).hasDefault);
    EXPECT_FALSE(alone.Differs(0, ParameterField::Recommended));
    EXPECT_EQ(alone.DefaultCriticality(), 0);
}

TEST(RuleParametersTest, ApplyWritesOnlyWhatWasEditedIntoTheRule)
{
    auto rule = RuleFrom(kBendRule);
    RuleParameterEdit untouched(*rule);
    EXPECT_FALSE(untouched.Apply(*rule));

    RuleParameterEdit edit(*rule);
    QString error;
    ASSERT_TRUE(edit.SetText(1, ParameterField::Value, QStringLiteral("3.25"), error));
    ASSERT_TRUE(edit.SetText(0, ParameterField::Alert, QStringLiteral("0.7"), error));
    ASSERT_TRUE(edit.SetText(5, ParameterField::Value, QStringLiteral("0.5;1;2"), error));
    edit.SetCriticality(1);
    EXPECT_EQ(rule->GetCriticality(), 2) << "nothing is written before Apply";
    ASSERT_TRUE(edit.Apply(*rule));
    EXPECT_EQ(rule->GetCriticality(), 1);

    const RuleParameterEdit reread(*rule);
    EXPECT_EQ(reread.Text(0, ParameterField::Value), QStringLiteral("1"));
    EXPECT_EQ(reread.Text(0, ParameterField::Alert), QStringLiteral("0.7"));
    EXPECT_EQ(reread.Text(1, ParameterField::Value), QStringLiteral("3.25"));
    EXPECT_EQ(reread.Text(5, ParameterField::Value), QStringLiteral("0.5;1;2"));
    EXPECT_EQ(reread.At(5).valueLabels, (QStringList { "Tool", "Tool", "Tool" })) << "a new entry takes the last one's";

    // A list of entries also shrinks.
    RuleParameterEdit shrink(*rule);
    ASSERT_TRUE(shrink.SetText(5, ParameterField::Value, QStringLiteral("4"), error));
    ASSERT_TRUE(shrink.Apply(*rule));
    EXPECT_EQ(RuleParameterEdit(*rule).Text(5, ParameterField::Value), QStringLiteral("4"));
}

TEST(RuleParametersTest, CriticalityIsReadFromAWordOrACode)
{
    const struct
    {
        const char* text;
        int32_t code;
    } cases[] = { { "Critical", 1 }, { "high", 2 }, { " MEDIUM ", 3 }, { "Low", 4 }, { "insignificant", 5 }, { "5", 5 },
        { "0", 0 }, { "6", 0 }, { "urgent", 0 }, { "", 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(RuleParameterEdit::CriticalityFromText(QLatin1String(c.text)), c.code) << c.text;
}

} // namespace

TEST(RuleParametersTest, AreasAndVolumesNameTheirUnitAndAreNeverNegative)
{
    const QByteArray element = R"(<Rule Name="Sizes" RuleCategory="Test" Severity="2">
  <Parameter Type="1" Status="1" Name="Face area" UnitType="Area">
    <Operator>&gt;=</Operator><Value>2</Value></Parameter>
  <Parameter Type="1" Status="1" Name="Part volume" UnitType="Volume">
    <Operator>&gt;=</Operator><Value>3</Value></Parameter>
  <Parameter Type="1" Status="1" Name="Draft" UnitType="Angle">
    <Operator>&gt;=</Operator><Value>1</Value></Parameter>
</Rule>)";
    const struct
    {
        RuleUnits units;
        const char* area;
        const char* volume;
        const char* angle;
    } cases[] = {
        { { 0, 0 }, "square millimeters", "cubic millimeters", "degrees" },
        { { 3, 3 }, "square inches", "cubic inches", "radians" },
        { { 2, 1 }, "square meters", "cubic meters", "degrees/minutes" },
        { { 5, 0 }, "square inches", "cubic inches", "degrees" }, // feet & inches holds decimal inches
    };
    for (const auto& c : cases) {
        auto rule = RuleFrom(element);
        rule->SetRuleUnits(c.units);
        RuleParameterEdit edit(*rule);
        EXPECT_EQ(edit.UnitText(0), QString::fromUtf8(c.area));
        EXPECT_EQ(edit.UnitText(1), QString::fromUtf8(c.volume));
        EXPECT_EQ(edit.UnitText(2), QString::fromUtf8(c.angle));
        QString error;
        EXPECT_FALSE(edit.SetText(0, ParameterField::Value, QStringLiteral("-2"), error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.area))) << error.toStdString();
        EXPECT_FALSE(edit.SetText(1, ParameterField::Value, QStringLiteral("-0.1"), error));
        EXPECT_TRUE(error.contains(QStringLiteral("\"Part volume\""))) << error.toStdString();
        // An angle may lie either side of zero.
        EXPECT_TRUE(edit.SetText(2, ParameterField::Value, QStringLiteral("-1.5"), error)) << error.toStdString();
    }
}
