// Copies of a rule share its settings until one of them changes them.

#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace {
// A rule read from one "Rule" element.
std::unique_ptr<ConcreteVTRRule> Read(ConcreteVTRRule* rule, const QByteArray& element)
{
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(element.constData(), static_cast<size_t>(element.size())));
    EXPECT_NE(root, nullptr);
    auto result = std::unique_ptr<ConcreteVTRRule>(rule ? new ConcreteVTRRule(*rule) : new ConcreteVTRRule());
    if (root)
        EXPECT_TRUE(result->PopulateParametersFromXML(root.get()));
    return result;
}

const QByteArray kElement
    = "<Rule Name=\"R\" RuleModule=\"M\">"
      "<Parameter Name=\"Width\" UnitType=\"Length\"><Value>1.5</Value>lead<Recom>2</Recom></Parameter>"
      "<Note Text=\"\xc3\xa9t\xc3\xa9\">t<![CDATA[ext]]></Note></Rule>";
} // namespace

TEST(RuleItems, ChangingACopyLeavesTheOriginalAlone)
{
    const std::unique_ptr<ConcreteVTRRule> original = Read(nullptr, kElement);
    ASSERT_EQ(original->Items().size(), 2u);
    ConcreteVTRRule copy(*original);
    EXPECT_TRUE(copy.ItemsShared());
    EXPECT_EQ(&std::as_const(copy).Items(), &std::as_const(*original).Items());

    copy.Items()[0].children[0].text = QStringLiteral("9");
    EXPECT_FALSE(copy.ItemsShared());
    EXPECT_EQ(original->Items()[0].children[0].text, QStringLiteral("1.5"));
    EXPECT_EQ(copy.Items()[0].children[0].text, QStringLiteral("9"));

    // A unit change converts only the rule it is made on.
    ConcreteVTRRule other(*original);
    const RuleUnits millimetres { 0, 0 };
    const RuleUnits inches { 1, 0 };
    ASSERT_TRUE(other.UpdateRule(&millimetres, &inches));
    EXPECT_NE(other.Items()[0].children[0].text, QStringLiteral("1.5"));
    EXPECT_EQ(original->Items()[0].children[0].text, QStringLiteral("1.5"));

    // Taking another rule's settings shares them again.
    ConcreteVTRRule taker;
    ASSERT_TRUE(taker.UpdateRule(original.get()));
    EXPECT_EQ(&std::as_const(taker).Items(), &std::as_const(*original).Items());
}

TEST(RuleItems, ReadingTheSameSettingsKeepsThemShared)
{
    const std::unique_ptr<ConcreteVTRRule> original = Read(nullptr, kElement);
    const struct
    {
        const char* what;
        QByteArray element;
        bool shared;
    } cases[] = {
        { "the same element", kElement, true },
        { "comments and blanks between items", QByteArray(kElement).replace("<Note", "\n  <!-- c -->\n  <Note"), true },
        { "a value changed", QByteArray(kElement).replace("1.5", "1.6"), false },
        { "text beyond ASCII changed", QByteArray(kElement).replace("\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa8"), false },
        { "an attribute more", QByteArray(kElement).replace("<Value>", "<Value A=\"1\">"), false },
        { "an item fewer", QByteArray(kElement).replace("<Recom>2</Recom>", ""), false },
        { "an item more", QByteArray(kElement).replace("</Rule>", "<X/></Rule>"), false },
        { "text moved", QByteArray(kElement).replace("lead<Recom>", "<Recom>lead"), false },
        { "no items", "<Rule Name=\"R\" RuleModule=\"M\"/>", false },
    };
    for (const auto& c : cases) {
        const std::unique_ptr<ConcreteVTRRule> fresh = Read(nullptr, c.element);
        const std::unique_ptr<ConcreteVTRRule> copy = Read(original.get(), c.element);
        // Shared or not, the copy holds what a fresh read gives.
        EXPECT_EQ(copy->ItemsShared(), c.shared) << c.what;
        ASSERT_EQ(copy->Items().size(), fresh->Items().size()) << c.what;
        std::unique_ptr<VtrXMLNode> a;
        std::unique_ptr<VtrXMLNode> b;
        VtrXMLDocument document;
        VtrXMLDocument* previous = VtrFrameworkXMLDoc();
        SetXMLDoc(&document);
        a.reset(copy->GetXML());
        b.reset(fresh->GetXML());
        SetXMLDoc(previous);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->GetXML(), b->GetXML()) << c.what;
    }
}

TEST(RuleItems, OnlyTheCommonNamesThemselvesAreReadAsCommonAttributes)
{
    // Names one letter off, in another case, cut short or run on are the
    // rule's own attributes; the second of a common name is dropped.
    const QByteArray element
        = "<Rule Rule=\"a\" Name=\"N\" RuleIds=\"b\" DisplayName=\"D\" name=\"c\" RuleCategory=\"General\" Nam=\"d\""
          " Severity=\"2\" Sev=\"e\" Severit=\"f\" RuleModule=\"M\" RuleModul=\"g\" Selected=\"1\" SelectedX=\"h\""
          " HelpId=\"7\" HelpID=\"i\" RuleId=\"8\" RuleIdent=\"j\" Validator=\"V\" Validators=\"k\" LinearUnit=\"1\""
          " LinearUnits=\"l\" AngularUnit=\"1\" AngularUnix=\"m\" Name=\"second\" RuleCategoryX=\"n\"/>";
    const std::unique_ptr<ConcreteVTRRule> rule = Read(nullptr, element);
    EXPECT_EQ(rule->GetRuleName(), QStringLiteral("N"));
    EXPECT_EQ(rule->GetDisplayName(), QStringLiteral("D"));
    EXPECT_EQ(rule->GetRuleCategory(), QStringLiteral("General"));
    EXPECT_EQ(rule->GetCriticality(), 2);
    EXPECT_EQ(rule->GetRuleModuleName(), QStringLiteral("M"));
    EXPECT_EQ(rule->GetSelected(), 1);
    EXPECT_EQ(rule->GetHelpId(), 7);
    EXPECT_EQ(rule->GetRuleId(), 8);
    EXPECT_EQ(rule->GetValidatorName(), QStringLiteral("V"));
    EXPECT_EQ(rule->GetRuleUnits().LinearUnit, 1);
    EXPECT_EQ(rule->GetRuleUnits().AngularUnit, 1);
    QStringList own;
    for (const auto& [name, value] : rule->ExtraAttributes())
        own << name + QLatin1Char('=') + value;
    EXPECT_EQ(own,
        QStringList({ "Rule=a", "RuleIds=b", "name=c", "Nam=d", "Sev=e", "Severit=f", "RuleModul=g", "SelectedX=h",
            "HelpID=i", "RuleIdent=j", "Validators=k", "LinearUnits=l", "AngularUnix=m", "RuleCategoryX=n" }));
}
