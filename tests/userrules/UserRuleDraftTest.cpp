// A custom or product rule as the user describes it: the checks, the
// conversion to millimetres and degrees, and the element it becomes.

#include "PLQRuleConfigurator.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "userrules/UserRuleDraft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

UserRuleKeys Keys()
{
    UserRuleKeys keys;
    keys.keys = { QStringLiteral("Mill"), QStringLiteral("Turn") };
    keys.categories
        = { { QStringLiteral("Mill"), { "Milling", "Drilling" } }, { QStringLiteral("Turn"), { "Turning" } } };
    return keys;
}

UserRuleDraft Valid()
{
    UserRuleDraft draft;
    draft.name = QStringLiteral("Shop Slot Width");
    draft.category = QStringLiteral("Milling");
    draft.criticality = 2;
    draft.parameters = { { QStringLiteral("Minimum Width"), QStringLiteral(">="), UserRuleValueType::Length,
        QStringLiteral("0.25") } };
    return draft;
}

TEST(UserRuleDraft, ValidateRefusesWhatCannotBeStored)
{
    const RuleNameTable names { { QStringLiteral("custom rules"), { "shop rib", "shop wall" } },
        { QStringLiteral("product rules"), { "product - maximum pocket depth" } } };
    struct Case
    {
        const char* what;
        std::function<void(UserRuleDraft&)> change;
        QString editedName;
        const char* error; // part of the message; null when accepted
    };
    const Case cases[] = {
        { "a name the module has, in another case", [](UserRuleDraft& d) { d.name = "SHOP RIB"; }, {},
            "already has a rule named \"SHOP RIB\"" },
        { "the name of the rule being edited", [](UserRuleDraft& d) { d.name = "Shop Rib"; },
            QStringLiteral("shop rib"), nullptr },
        { "another module's name", [](UserRuleDraft& d) { d.name = "Product - Maximum Pocket Depth"; }, {}, nullptr },
        { "a product rule's taken name",
            [](UserRuleDraft& d) {
                d.productRule = true;
                d.name = "product - maximum pocket depth";
            },
            {}, "Product Rules already has" },
        { "an empty name", [](UserRuleDraft& d) { d.name = "  "; }, {}, "needs a name" },
        { "an unknown category", [](UserRuleDraft& d) { d.category = "Knitting"; }, {}, "Unknown category" },
        { "a key the category is not of", [](UserRuleDraft& d) { d.key = "turn"; }, {}, "does not belong" },
        { "an unknown key", [](UserRuleDraft& d) { d.key = "Lathe"; }, {}, "Unknown module" },
        { "criticality 0", [](UserRuleDraft& d) { d.criticality = 0; }, {}, "criticality" },
        { "no parameter", [](UserRuleDraft& d) { d.parameters.clear(); }, {}, "at least one parameter" },
        { "a text for a length", [](UserRuleDraft& d) { d.parameters[0].value = "wide"; }, {},
            "needs a number, not \"wide\"" },
        { "a text for a number",
            [](UserRuleDraft& d) {
                d.parameters[0].type = UserRuleValueType::Number;
                d.parameters[0].value = "1,5";
            },
            {}, "needs a number" },
        { "an endless number", [](UserRuleDraft& d) { d.parameters[0].value = "inf"; }, {}, "needs a number" },
        { "a boolean that is neither",
            [](UserRuleDraft& d) {
                d.parameters[0].type = UserRuleValueType::Boolean;
                d.parameters[0].op = "=";
                d.parameters[0].value = "maybe";
            },
            {}, "1 (yes) or 0 (no)" },
        { "a boolean equal to yes",
            [](UserRuleDraft& d) {
                d.parameters[0].type = UserRuleValueType::Boolean;
                d.parameters[0].op = "=";
                d.parameters[0].value = "1";
            },
            {}, nullptr },
        { "a length with its unit", [](UserRuleDraft& d) { d.parameters[0].value = " 30mm "; }, {}, nullptr },
        { "an angle's unit on a length", [](UserRuleDraft& d) { d.parameters[0].value = "5 deg"; }, {},
            "\"deg\" is not a unit of lengths" },
        { "a unit on a plain number",
            [](UserRuleDraft& d) {
                d.parameters[0].type = UserRuleValueType::Number;
                d.parameters[0].value = "5 mm";
            },
            {}, "needs a number, not \"5 mm\"" },
        { "any text for a text",
            [](UserRuleDraft& d) {
                d.parameters[0].type = UserRuleValueType::Text;
                d.parameters[0].value = "wide";
            },
            {}, nullptr },
        { "an unknown operator", [](UserRuleDraft& d) { d.parameters[0].op = "~"; }, {}, "Unknown operator" },
        { "two parameters of one name",
            [](UserRuleDraft& d) {
                d.parameters.push_back(d.parameters[0]);
                d.parameters[1].name = "minimum width";
            },
            {}, "Two parameters" },
    };
    for (const char* order : { ">=", "<=", ">", "<" }) {
        UserRuleDraft draft = Valid();
        draft.parameters[0].type = UserRuleValueType::Boolean;
        draft.parameters[0].op = QString::fromLatin1(order);
        draft.parameters[0].value = QStringLiteral("1");
        QString error;
        EXPECT_FALSE(UserRuleDrafts::Validate(draft, Keys(), names, {}, error)) << order;
        EXPECT_TRUE(error.contains(QStringLiteral("takes only ="))) << order << ": " << qPrintable(error);
    }
    for (const Case& c : cases) {
        UserRuleDraft draft = Valid();
        c.change(draft);
        QString error;
        const bool ok = UserRuleDrafts::Validate(draft, Keys(), names, c.editedName, error);
        if (!c.error) {
            EXPECT_TRUE(ok) << c.what << ": " << qPrintable(error);
            continue;
        }
        EXPECT_FALSE(ok) << c.what;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << c.what << ": " << qPrintable(error);
    }
}

TEST(UserRuleDraft, ValidateSpellsTheCategoryAndTakesItsKey)
{
    UserRuleDraft draft = Valid();
    draft.category = QStringLiteral(" drilling ");
    QString error;
    ASSERT_TRUE(UserRuleDrafts::Validate(draft, Keys(), {}, {}, error)) << qPrintable(error);
    EXPECT_EQ(draft.category, QStringLiteral("Drilling"));
    EXPECT_EQ(draft.key, QStringLiteral("Mill"));
}

TEST(UserRuleDraft, BuildStoresMillimetresAndDegreesAndFromRuleShowsTheUnitsAgain)
{
    UserRuleDraft draft = Valid();
    draft.productRule = true;
    draft.summary = QStringLiteral("Slots fit the shop's cutters.");
    draft.parameters = {
        { QStringLiteral("Minimum Width"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("0.5") },
        { QStringLiteral("Wall Angle"), QStringLiteral("<="), UserRuleValueType::Angle, QStringLiteral("0.5") },
        { QStringLiteral("Passes"), QStringLiteral("="), UserRuleValueType::Number, QStringLiteral("3") },
        { QStringLiteral("Deburr"), QStringLiteral("="), UserRuleValueType::Boolean, QStringLiteral("yes") },
        { QStringLiteral("Cutter"), QStringLiteral("="), UserRuleValueType::Text, QStringLiteral("Ø6; carbide") },
    };
    QString error;
    ASSERT_TRUE(UserRuleDrafts::Validate(draft, Keys(), {}, {}, error)) << qPrintable(error);
    const RuleUnits inchesRadians { 3, 3 };
    auto rule = UserRuleDrafts::Build(draft, inchesRadians, error);
    ASSERT_TRUE(rule) << qPrintable(error);
    EXPECT_TRUE(rule->IsProductRule());
    EXPECT_EQ(rule->GetRuleModuleName(), QStringLiteral("Product Rules"));
    EXPECT_EQ(rule->GetValidatorName(), QStringLiteral("PLQRuleValidator"));
    EXPECT_EQ(rule->GetRuleUnits(), (RuleUnits { 0, 0 }));

    // The element, read back as a configurator reads it.
    const QString markup = UserRuleDrafts::Markup(*rule);
    VtrXMLDocument document;
    const QByteArray utf8 = markup.toUtf8();
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    ASSERT_TRUE(root) << qPrintable(markup);
    CPLQRuleConfigurator read;
    ASSERT_TRUE(read.PopulateParametersFromXML(root.get()));
    EXPECT_EQ(read.GetRuleName(), draft.name);
    EXPECT_EQ(read.GetCriticality(), 2);
    EXPECT_TRUE(read.IsProductRule());
    std::unique_ptr<VtrXMLNode> width(root->SelectSingleNode(QStringLiteral("Parameter[@Name='Minimum Width']/Value")));
    std::unique_ptr<VtrXMLNode> angle(root->SelectSingleNode(QStringLiteral("Parameter[@Name='Wall Angle']/Value")));
    ASSERT_TRUE(width && angle);
    EXPECT_DOUBLE_EQ(width->GetNodeValue().toDouble(), 12.7);
    EXPECT_NEAR(angle->GetNodeValue().toDouble(), 0.5 * 180.0 / M_PI, 1e-9);

    const UserRuleDraft shown = UserRuleDrafts::FromRule(read, QStringLiteral("Mill"), inchesRadians);
    EXPECT_EQ(shown.summary, draft.summary);
    EXPECT_EQ(shown.criticality, 2);
    ASSERT_EQ(shown.parameters.size(), draft.parameters.size());
    const QStringList values { "0.5", "0.5", "3", "1", "Ø6; carbide" };
    for (size_t i = 0; i < shown.parameters.size(); ++i) {
        EXPECT_EQ(shown.parameters[i].name, draft.parameters[i].name);
        EXPECT_EQ(shown.parameters[i].op, draft.parameters[i].op);
        EXPECT_EQ(shown.parameters[i].type, draft.parameters[i].type);
        EXPECT_EQ(shown.parameters[i].value, values[static_cast<int>(i)]) << qPrintable(shown.parameters[i].name);
    }
}

TEST(UserRuleDraft, AValueWithItsOwnUnitIsReadInItAndABareNumberInTheUnitsGiven)
{
    const RuleUnits centimetresRadians { 1, 3 };
    struct Case
    {
        UserRuleValueType type;
        const char* value;
        double stored; // millimetres or degrees
    } cases[] = {
        { UserRuleValueType::Length, "30", 300 },
        { UserRuleValueType::Length, "30 mm", 30 },
        { UserRuleValueType::Length, "30MM", 30 },
        { UserRuleValueType::Length, "3 cm", 30 },
        { UserRuleValueType::Length, "1.2 in", 30.48 },
        { UserRuleValueType::Length, "1 inch", 25.4 },
        { UserRuleValueType::Length, "0.5 m", 500 },
        { UserRuleValueType::Length, "2 ft", 609.6 },
        { UserRuleValueType::Length, "250 \u00b5m", 0.25 },
        { UserRuleValueType::Length, "250 um", 0.25 },
        { UserRuleValueType::Length, "1e3 nm", 0.001 },
        { UserRuleValueType::Length, "2 millimeters", 2 },
        { UserRuleValueType::Angle, "0.5", 0.5 * 180.0 / M_PI },
        { UserRuleValueType::Angle, "5 deg", 5 },
        { UserRuleValueType::Angle, "5\u00b0", 5 },
        { UserRuleValueType::Angle, "1 rad", 180.0 / M_PI },
        { UserRuleValueType::Angle, "-2 degrees", -2 },
        { UserRuleValueType::Number, "7", 7 },
    };
    for (const Case& c : cases) {
        UserRuleDraft draft = Valid();
        draft.parameters[0].type = c.type;
        draft.parameters[0].value = QString::fromUtf8(c.value);
        QString error;
        ASSERT_TRUE(UserRuleDrafts::Validate(draft, Keys(), {}, {}, error)) << c.value << ": " << qPrintable(error);
        auto rule = UserRuleDrafts::Build(draft, centimetresRadians, error);
        ASSERT_TRUE(rule) << c.value << ": " << qPrintable(error);
        const VtrRuleItem* value = rule->Items().front().Child(QStringLiteral("Value"));
        ASSERT_TRUE(value);
        EXPECT_NEAR(value->text.toDouble(), c.stored, 1e-9 * std::max(1.0, std::fabs(c.stored))) << c.value;
    }
}

TEST(UserRuleDraft, OkOnAnUnchangedRuleInOtherUnitsStoresTheSameTexts)
{
    // Stored in millimetres and degrees, shown in other units, taken back
    // unchanged: the stored texts stay as they were.
    UserRuleDraft draft = Valid();
    draft.parameters = {
        { QStringLiteral("Width"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("3") },
        { QStringLiteral("Depth"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("3.175") },
        { QStringLiteral("Draft"), QStringLiteral(">="), UserRuleValueType::Angle, QStringLiteral("2") },
        { QStringLiteral("Point"), QStringLiteral("<="), UserRuleValueType::Angle, QStringLiteral("118") },
    };
    const RuleUnits stored { 0, 0 };
    const RuleUnits shownIn[] = { { 3, 3 }, { 1, 1 }, { 9, 3 }, { 6, 2 }, { 10, 0 } };
    QString error;
    auto first = UserRuleDrafts::Build(draft, stored, error);
    ASSERT_TRUE(first) << qPrintable(error);
    const QString markup = UserRuleDrafts::Markup(*first);
    for (const RuleUnits& units : shownIn) {
        SCOPED_TRACE(std::to_string(units.LinearUnit) + "," + std::to_string(units.AngularUnit));
        VtrXMLDocument document;
        const QByteArray utf8 = markup.toUtf8();
        std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(utf8.constData(), static_cast<size_t>(utf8.size())));
        ASSERT_TRUE(root);
        CPLQRuleConfigurator read;
        ASSERT_TRUE(read.PopulateParametersFromXML(root.get()));
        UserRuleDraft shown = UserRuleDrafts::FromRule(read, QStringLiteral("Mill"), units);
        shown.name = draft.name;
        shown.category = draft.category;
        auto again = UserRuleDrafts::Build(shown, units, error);
        ASSERT_TRUE(again) << qPrintable(error);
        EXPECT_EQ(UserRuleDrafts::Markup(*again).toStdString(), markup.toStdString());
    }
}

TEST(UserRuleDraft, ParametersAndCriticalitiesAreReadFromText)
{
    UserRuleParameter p;
    QString error;
    ASSERT_TRUE(UserRuleDrafts::ParseParameter(QStringLiteral("Note;=;TEXT;a;b"), p, error)) << qPrintable(error);
    EXPECT_EQ(p.name, QStringLiteral("Note"));
    EXPECT_EQ(p.type, UserRuleValueType::Text);
    EXPECT_EQ(p.value, QStringLiteral("a;b")) << "the value keeps its own separators";
    EXPECT_FALSE(UserRuleDrafts::ParseParameter(QStringLiteral("Width;>=;length"), p, error));
    EXPECT_FALSE(UserRuleDrafts::ParseParameter(QStringLiteral("Width;>=;colour;red"), p, error));
    EXPECT_TRUE(error.contains(QLatin1String("colour")));

    EXPECT_EQ(UserRuleDrafts::CriticalityOf(QStringLiteral("critical")), 1);
    EXPECT_EQ(UserRuleDrafts::CriticalityOf(QStringLiteral("Insignificant")), 5);
    EXPECT_EQ(UserRuleDrafts::CriticalityOf(QStringLiteral("4")), 4);
    EXPECT_EQ(UserRuleDrafts::CriticalityOf(QStringLiteral("6")), 0);
    EXPECT_EQ(UserRuleDrafts::CriticalityOf(QStringLiteral("Severe")), 0);
}

} // namespace
