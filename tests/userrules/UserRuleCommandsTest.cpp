// The four commands that hand custom and product rules to the rule-creation
// program: what they put into the creation data and when they launch.

#include "TestSupport.h"

#include "ConcreteVTRRule.h"
#include "PLQRuleConfigurator.h"
#include "settings/RuleUnitSettings.h"
#include "userrules/UserRuleCommands.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using UserRuleCommands::Mode;

// What one launch was given, copied while the data lived.
struct Launch
{
    QString name;
    QString category;
    PLQRuleStatus_e status;
    bool productRule;
    RuleUnits units;
    RuleNameTable names;
};

class UserRuleCommandsTest : public ::testing::Test
{
protected:
    CVtrRule* Rule(const char* module, const char* name, const char* category = "Milling")
    {
        auto rule = std::make_unique<ConcreteVTRRule>();
        rule->SetRuleModuleName(QString::fromUtf8(module));
        rule->SetRuleName(QString::fromUtf8(name));
        rule->SetRuleCategory(QString::fromUtf8(category));
        m_rules.push_back(std::move(rule));
        return m_rules.back().get();
    }

    bool Run(Mode mode, bool product, const UserRuleCommands::Scene& scene)
    {
        return UserRuleCommands::Run(
            mode, product, scene, [this](const QString& name, const QString& category, CPLQRuleCreationData& data) {
                launches.push_back({ name, category, data.GetStatus(), data.GetConfigurator()->IsProductRule(),
                    { data.m_nLinearUnit, data.m_nAngularUnit }, data.m_ruleNameTable });
            });
    }

    ScopedTestEnv env;
    std::vector<Launch> launches;

private:
    std::vector<std::unique_ptr<CVtrRule>> m_rules;
};

TEST_F(UserRuleCommandsTest, CreateWithADocumentHandsOverItsUnitsAndOneListPerModule)
{
    SaveDefaultRuleUnits({ 0, 0 }); // not what the document has
    UserRuleCommands::Scene scene;
    scene.documentUnits = RuleUnits { 3, 3 }; // inches and radians
    scene.hasView = true;
    scene.listedRules = { Rule("Milling Rules", "Hole Depth"), Rule("Custom Rules", "Shop Slot"),
        Rule("Milling Rules", "Pocket Radius"), Rule("Custom Rules", "Shop Rib") };
    scene.selectedRules = { scene.listedRules[1] };

    for (const bool product : { false, true }) {
        launches.clear();
        EXPECT_TRUE(Run(Mode::Create, product, scene));
        ASSERT_EQ(launches.size(), 1u);
        const Launch& l = launches.front();
        EXPECT_EQ(l.status, PLQ_RULE_CREATE);
        EXPECT_EQ(l.productRule, product);
        EXPECT_TRUE(l.name.isEmpty()) << "Create never names a rule, whatever is selected";
        EXPECT_TRUE(l.category.isEmpty());
        EXPECT_EQ(l.units, (RuleUnits { 3, 3 }));
        const RuleNameTable expected { { QStringLiteral("milling rules"), { "hole depth", "pocket radius" } },
            { QStringLiteral("custom rules"), { "shop slot", "shop rib" } } };
        EXPECT_EQ(l.names, expected);
    }
}

TEST_F(UserRuleCommandsTest, CreateWithoutADocumentHandsOverTheStoredDefaultUnitsAndNoNames)
{
    SaveDefaultRuleUnits({ 8, 2 }); // microns, degrees/minutes/seconds
    EXPECT_TRUE(Run(Mode::Create, false, {}));
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].units, (RuleUnits { 8, 2 }));
    EXPECT_TRUE(launches[0].names.isEmpty());
    EXPECT_EQ(launches[0].status, PLQ_RULE_CREATE);
}

TEST_F(UserRuleCommandsTest, NamesThatDifferOnlyInCaseAreListedTwiceInLowerCase)
{
    const RuleNameTable table = UserRuleCommands::NameTable(
        { Rule("Custom Rules", "Shop Slot"), Rule("CUSTOM RULES", "SHOP SLOT", "Turning"), nullptr });
    EXPECT_EQ(table, (RuleNameTable { { QStringLiteral("custom rules"), { "shop slot", "shop slot" } } }));
}

TEST_F(UserRuleCommandsTest, EditLaunchesOnlyForExactlyOneSelectedRule)
{
    CVtrRule* first = Rule("Product Rules", "Product - Maximum Pocket Depth");
    CVtrRule* second = Rule("Product Rules", "Product - Minimum Pocket Corner Radius");
    struct Case
    {
        const char* what;
        bool hasView;
        QList<CVtrRule*> selected;
        bool launches;
    };
    const Case cases[] = {
        { "two rows selected", true, { first, second }, false },
        { "no row selected", true, {}, false },
        { "a selected row without a rule", true, { nullptr }, false },
        { "no rule list", false, { first }, false },
        { "one row selected", true, { second }, true },
    };
    for (const Case& c : cases) {
        launches.clear();
        UserRuleCommands::Scene scene;
        scene.documentUnits = RuleUnits { 3, 0 };
        scene.hasView = c.hasView;
        scene.listedRules = { first, second };
        scene.selectedRules = c.selected;
        EXPECT_EQ(Run(Mode::Edit, true, scene), c.launches) << c.what;
        ASSERT_EQ(launches.size(), c.launches ? 1u : 0u) << c.what;
    }
    const Launch& l = launches.front();
    EXPECT_EQ(l.status, PLQ_RULE_EDIT);
    EXPECT_TRUE(l.productRule);
    EXPECT_EQ(l.name, second->GetRuleName());
    EXPECT_EQ(l.category, QStringLiteral("Milling"));
    EXPECT_EQ(l.units, (RuleUnits { 3, 0 }));
    EXPECT_EQ(l.names.value(QStringLiteral("product rules")).size(), 2);
}

TEST_F(UserRuleCommandsTest, AnEditThatStoredTellsWhichRowAndUnderWhatName)
{
    CVtrRule* slot = Rule("Custom Rules", "Shop Slot");
    struct Case
    {
        const char* what;
        Mode mode;
        QString storedName; // what the program reports stored; empty when nothing was
        bool told;
    };
    const Case cases[] = {
        { "an edit stored under a new name", Mode::Edit, QStringLiteral("Shop Slot Width"), true },
        { "an edit cancelled", Mode::Edit, {}, false },
        { "a rule created", Mode::Create, QStringLiteral("Shop Rib"), false },
    };
    for (const Case& c : cases) {
        UserRuleCommands::Scene scene;
        scene.hasView = true;
        scene.listedRules = { slot };
        scene.selectedRules = { slot };
        QList<CVtrRule*> rows;
        QStringList names;
        UserRuleCommands::Run(
            c.mode, false, scene,
            [&](const QString&, const QString&, CPLQRuleCreationData& data) {
                data.m_storedName = c.storedName;
                data.m_storedCategory = QStringLiteral("Milling");
            },
            [&](CVtrRule& edited, const QString& name, const QString& category) {
                rows << &edited;
                names << name + QLatin1Char('/') + category;
            });
        EXPECT_EQ(rows, c.told ? QList<CVtrRule*> { slot } : QList<CVtrRule*> {}) << c.what;
        EXPECT_EQ(names, c.told ? QStringList { c.storedName + QStringLiteral("/Milling") } : QStringList {}) << c.what;
    }
}

} // namespace
