// The reader of the rule catalogues compiled into the rule modules, fed with
// catalogues of the tests' own.

#include "RuleCatalogue.h"

#include "TestSupport.h"
#include "FrameworkExports.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The modules hand their document to their rules; the reader tested here
// never builds elements.
VtrXMLDocument* ModuleXMLDoc()
{
    return nullptr;
}

namespace {

std::string Catalogue(const std::string& rules)
{
    return R"(<RuleCatalogue Library="VtrTestRulesu" ModuleName="Test Rules" Validator="TestValidator" Summary="For tests.">)"
        + rules + "</RuleCatalogue>";
}

bool Load(RuleCatalogue& catalogue, const std::string& text, QString& error)
{
    return catalogue.Load(text.data(), text.size(), error);
}

const char kGoodRule[]
    = R"(<Rule Name="Gap" RuleCategory="General" HelpId="5" Summary="Keeps a gap."><P Name="g" Unit="Length" Op="&gt;=" Value="1"/></Rule>)";

struct BadCatalogue
{
    const char* label;
    std::string text;
    const char* reason; // part of the message
};

TEST(RuleCatalogueReader, RefusesBrokenCataloguesWithAReason)
{
    const BadCatalogue cases[] = {
        { "not XML", "<RuleCatalogue", "does not parse" },
        { "wrong root", "<Rules/>", "no RuleCatalogue" },
        { "no module name", R"(<RuleCatalogue Library="x"/>)", "names no module" },
        { "rule without name", Catalogue(R"(<Rule RuleCategory="General" HelpId="1"/>)"), "without a name" },
        { "unknown category", Catalogue(R"(<Rule Name="a" RuleCategory="Knitting" HelpId="1"/>)"), "unknown category" },
        { "missing help id", Catalogue(R"(<Rule Name="a" RuleCategory="General"/>)"), "help id" },
        { "help id not a number", Catalogue(R"(<Rule Name="a" RuleCategory="General" HelpId="x1"/>)"), "help id" },
        { "help id repeated",
            Catalogue(std::string(kGoodRule) + R"(<Rule Name="b" RuleCategory="General" HelpId="5"/>)"), "help id" },
        { "help id kept for stored rules", Catalogue(R"(<Rule Name="a" RuleCategory="General" HelpId="1000000"/>)"),
            "kept for stored rules" },
        { "criticality out of range", Catalogue(R"(<Rule Name="a" RuleCategory="General" HelpId="1" Severity="6"/>)"),
            "criticality" },
        { "same name and category in other case",
            Catalogue(std::string(kGoodRule) + R"(<Rule Name="GAP" RuleCategory="general" HelpId="6"/>)"),
            "listed twice" },
        { "parameter without name",
            Catalogue(R"(<Rule Name="a" RuleCategory="General" HelpId="1"><P Value="1"/></Rule>)"),
            "parameter without a name" },
    };
    for (const BadCatalogue& c : cases) {
        SCOPED_TRACE(c.label);
        RuleCatalogue catalogue;
        QString error;
        EXPECT_FALSE(Load(catalogue, c.text, error));
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_TRUE(catalogue.Rules().empty());
    }
}

TEST(RuleCatalogueReader, ExpandsShortParametersAndFillsDefaults)
{
    const std::string text = Catalogue(
        R"(<Rule Name="Gap" RuleCategory="General" HelpId="5" Summary="Keeps a gap." Extra="e">)"
        R"(<P Name="Minimum gap" Unit="Length" Op="&gt;=" Value="1.5" A2="two" Recom="2" Alert="1" Min="0" Max="9"/>)"
        R"(<Constraint Type="Material" Value="Steel"><P Name="Share" Type="2" Status="0" PType="Integer" Value="3"><Note/></P></Constraint>)"
        R"(</Rule>)"
        R"(<Rule Name="Drawing Check" RuleCategory="Drafting" HelpId="7" RuleId="70" Severity="1" RuleModule="Other Test Rules" Validator="V2" DisplayName="Shown"/>)");
    RuleCatalogue catalogue;
    QString error;
    ASSERT_TRUE(Load(catalogue, text, error)) << error.toStdString();
    ASSERT_EQ(catalogue.Rules().size(), 2u);
    EXPECT_EQ(catalogue.ModuleName(), QStringLiteral("Test Rules"));
    EXPECT_EQ(catalogue.Summary(), QStringLiteral("For tests."));

    const CVtrModuleRule& gap = *catalogue.Rules()[0];
    EXPECT_EQ(gap.GetDisplayName(), QStringLiteral("Gap"));
    EXPECT_EQ(gap.GetSummary(), QStringLiteral("Keeps a gap."));
    EXPECT_EQ(gap.GetCriticality(), 3);
    EXPECT_EQ(gap.GetRuleModuleName(), QStringLiteral("Test Rules"));
    EXPECT_EQ(gap.GetValidatorName(), QStringLiteral("TestValidator"));
    EXPECT_EQ(gap.GetRuleId(), 5);
    EXPECT_EQ(gap.GetSelected(), 0);
    // The summary is the catalogue's and never goes into the element.
    ASSERT_EQ(gap.ExtraAttributes().size(), 1u);
    EXPECT_EQ(gap.ExtraAttributes()[0].first, QStringLiteral("Extra"));

    ASSERT_EQ(gap.Items().size(), 2u);
    const VtrRuleItem& p = gap.Items()[0];
    EXPECT_EQ(p.name, QStringLiteral("Parameter"));
    const std::vector<std::pair<QString, QString>> attributes = { { QStringLiteral("Type"), QStringLiteral("1") },
        { QStringLiteral("Status"), QStringLiteral("1") }, { QStringLiteral("Name"), QStringLiteral("Minimum gap") },
        { QStringLiteral("UnitType"), QStringLiteral("Length") } };
    EXPECT_EQ(p.attributes, attributes);
    QStringList children;
    for (const VtrRuleItem& c : p.children)
        children << c.name + QLatin1Char('=') + c.text;
    EXPECT_EQ(children,
        (QStringList { QStringLiteral("Operator=>="), QStringLiteral("ParameterType=Double"),
            QStringLiteral("Value=1.5"), QStringLiteral("Recom=2"), QStringLiteral("Alert=1"), QStringLiteral("Min=0"),
            QStringLiteral("Max=9") }));
    ASSERT_NE(p.Child(QStringLiteral("Value")), nullptr);
    EXPECT_EQ(p.Child(QStringLiteral("Value"))->attributes,
        (std::vector<std::pair<QString, QString>> { { QStringLiteral("Attribute2"), QStringLiteral("two") } }));

    // Short parameters inside other elements are expanded too, with their own
    // children kept after the generated ones.
    const VtrRuleItem& constraint = gap.Items()[1];
    ASSERT_EQ(constraint.children.size(), 1u);
    const VtrRuleItem& share = constraint.children[0];
    EXPECT_EQ(share.Attribute(QStringLiteral("Type")), QStringLiteral("2"));
    EXPECT_EQ(share.Attribute(QStringLiteral("Status")), QStringLiteral("0"));
    EXPECT_EQ(share.Attribute(QStringLiteral("UnitType")), QStringLiteral("None"));
    EXPECT_EQ(share.Child(QStringLiteral("Operator")), nullptr);
    ASSERT_NE(share.Child(QStringLiteral("ParameterType")), nullptr);
    EXPECT_EQ(share.Child(QStringLiteral("ParameterType"))->text, QStringLiteral("Integer"));
    EXPECT_EQ(share.children.back().name, QStringLiteral("Note"));

    const CVtrModuleRule& drawing = *catalogue.Rules()[1];
    EXPECT_EQ(drawing.GetRuleModuleName(), QStringLiteral("Other Test Rules"));
    EXPECT_EQ(drawing.GetValidatorName(), QStringLiteral("V2"));
    EXPECT_EQ(drawing.GetDisplayName(), QStringLiteral("Shown"));
    EXPECT_EQ(drawing.GetRuleId(), 70);
    EXPECT_EQ(drawing.GetCriticality(), 1);
}

TEST(RuleCatalogueReader, KeepsTheHelpParagraphOutOfTheRuleElement)
{
    // The same rule with and without the paragraph that feeds the help pages
    // must write the same element, byte for byte.
    const std::string plain
        = Catalogue(R"(<Rule Name="Gap" RuleCategory="General" HelpId="5" Summary="Keeps a gap." Extra="e">)"
                    R"(<P Name="g" Unit="Length" Op="&gt;=" Value="1"/></Rule>)");
    const std::string withWhy = Catalogue(
        R"(<Rule Name="Gap" RuleCategory="General" HelpId="5" Summary="Keeps a gap." Why="Tools need room." Extra="e">)"
        R"(<P Name="g" Unit="Length" Op="&gt;=" Value="1"/></Rule>)");
    RuleCatalogue a;
    RuleCatalogue b;
    QString error;
    ASSERT_TRUE(Load(a, plain, error)) << error.toStdString();
    ASSERT_TRUE(Load(b, withWhy, error)) << error.toStdString();
    VtrXMLDocument document;
    SetXMLDoc(&document);
    std::unique_ptr<VtrXMLNode> first(a.Rules()[0]->GetXML());
    std::unique_ptr<VtrXMLNode> second(b.Rules()[0]->GetXML());
    SetXMLDoc(nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->GetXML().contains(QStringLiteral("Why")));
    EXPECT_EQ(first->GetXML(), second->GetXML());
}

TEST(RuleCatalogueReader, FindsRulesAndOwnModuleNamesWithoutRegardToCase)
{
    const std::string text = Catalogue(std::string(kGoodRule)
        + R"(<Rule Name="Gap" RuleCategory="Drafting" HelpId="6" RuleModule="Test Drafting Rules"/>)");
    RuleCatalogue catalogue;
    QString error;
    ASSERT_TRUE(Load(catalogue, text, error)) << error.toStdString();
    const CVtrModuleRule* general = catalogue.Find(QStringLiteral("gAP"), QStringLiteral("GENERAL"));
    const CVtrModuleRule* drafting = catalogue.Find(QStringLiteral("Gap"), QStringLiteral("drafting"));
    ASSERT_NE(general, nullptr);
    ASSERT_NE(drafting, nullptr);
    EXPECT_EQ(general->GetHelpId(), 5);
    EXPECT_EQ(drafting->GetHelpId(), 6);
    EXPECT_EQ(catalogue.Find(QStringLiteral("Gap"), QStringLiteral("Welding")), nullptr);
    EXPECT_EQ(catalogue.Find(QStringLiteral("Gap "), QStringLiteral("General")), nullptr);

    for (const char* name : { "Test Rules", "test rules", "Test Drafting Rules" })
        EXPECT_TRUE(catalogue.OwnsModuleName(QString::fromLatin1(name))) << name;
    for (const char* name : { "", "Test", "Other Rules", "Test Rules " })
        EXPECT_FALSE(catalogue.OwnsModuleName(QString::fromLatin1(name))) << name;
}

TEST(RuleCatalogueReader, FindsUtf8NamesAsItFindsTexts)
{
    // The second name starts with the Kelvin sign, which folds to an ASCII "k".
    const std::string text = Catalogue(std::string(kGoodRule)
        + R"(<Rule Name="Maß" RuleCategory="General" HelpId="7"/><Rule Name="K-Factor" RuleCategory="General" HelpId="8"/>)");
    RuleCatalogue catalogue;
    QString error;
    ASSERT_TRUE(Load(catalogue, text, error)) << error.toStdString();
    const struct
    {
        const char* name;
        const char* category;
        int helpId; // 0: none
    } cases[] = {
        { "Gap", "General", 5 },
        { "gAP", "gENERAL", 5 },
        { "Gap", "Welding", 0 },
        { "Gap ", "General", 0 },
        { "", "", 0 },
        { "MAß", "general", 7 },
        { "maß", "GENERAL", 7 },
        { "Mass", "General", 0 },
        { "k-factor", "General", 8 },
        { "K-FACTOR", "general", 8 },
        { "\u212a-factor", "general", 8 },
        { "Gap\x1fGeneral", "", 0 },
        { "\xff\xfe", "General", 0 },
    };
    for (const auto& c : cases) {
        const CVtrModuleRule* byText = catalogue.Find(QString::fromUtf8(c.name), QString::fromUtf8(c.category));
        const CVtrModuleRule* byUtf8 = catalogue.Find(c.name, c.category);
        EXPECT_EQ(byUtf8, byText) << c.name << " / " << c.category;
        EXPECT_EQ(byUtf8 ? byUtf8->GetHelpId() : 0, c.helpId) << c.name << " / " << c.category;
    }
}

TEST(RuleCatalogueReader, InternSharesTextsTheCatalogueHolds)
{
    RuleCatalogue catalogue;
    QString error;
    ASSERT_TRUE(Load(catalogue, Catalogue(kGoodRule), error)) << error.toStdString();
    const CVtrModuleRule& base = *catalogue.Rules()[0];

    CVtrModuleRule read;
    read.SetRuleName(QString::fromUtf8("Gap"));
    read.SetRuleCategory(QString::fromUtf8("General"));
    read.SetRuleModuleName(QString::fromUtf8("Someone Else"));
    read.Items() = base.Items();
    read.Items()[0].name = QString::fromUtf8("Parameter");
    read.Items()[0].text = QString::fromUtf8("only in this rule");
    ASSERT_FALSE(read.GetRuleName().isSharedWith(base.GetRuleName()));
    catalogue.Intern(read);
    EXPECT_TRUE(read.GetRuleName().isSharedWith(base.GetRuleName()));
    EXPECT_TRUE(read.GetRuleCategory().isSharedWith(base.GetRuleCategory()));
    EXPECT_EQ(read.GetRuleCategoryEnum(), base.GetRuleCategoryEnum());
    EXPECT_TRUE(read.Items()[0].name.isSharedWith(base.Items()[0].name));
    // Texts the catalogue does not hold stay as they were.
    EXPECT_EQ(read.GetRuleModuleName(), QStringLiteral("Someone Else"));
    EXPECT_EQ(read.Items()[0].text, QStringLiteral("only in this rule"));

    // Given the rule it was copied from, equal texts come from that rule.
    CVtrModuleRule renamed;
    renamed.SetRuleName(QString::fromUtf8("Gap 2"));
    renamed.SetRuleCategory(QString::fromUtf8("General"));
    renamed.SetValidatorName(QString::fromUtf8("TestValidator"));
    renamed.SetRuleModuleName(QString::fromUtf8("Someone Else"));
    catalogue.Intern(renamed, &base);
    EXPECT_EQ(renamed.GetRuleName(), QStringLiteral("Gap 2"));
    EXPECT_TRUE(renamed.GetRuleCategory().isSharedWith(base.GetRuleCategory()));
    EXPECT_EQ(renamed.GetRuleCategoryEnum(), base.GetRuleCategoryEnum());
    EXPECT_TRUE(renamed.GetValidatorName().isSharedWith(base.GetValidatorName()));
    EXPECT_EQ(renamed.GetRuleModuleName(), QStringLiteral("Someone Else"));
}

} // namespace
