// The rule settings report (a rule's saved settings against its defaults)
// and Reset to Default, without windows.

#include "DocFixture.h"

#include "ConcreteVTRRule.h"
#include "VtrRuleMarkup.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "views/ResetToDefault.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/RuleParameters.h"
#include "views/RuleSettingsReport.h"

#include <memory>
#include <string>

#include <QDir>

namespace {

QByteArray RuleFileText(const QList<QByteArray>& elements)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<VTRExpress Name=\"x\" Createdby=\"t\" CreatedOn=\"\" Unit=\"0\" "
                      "AngularUnit=\"0\" Version=\"v3.4\">\n";
    for (const QByteArray& e : elements)
        text += "  " + e + "\n";
    return text + "</VTRExpress>\n";
}

QString WriteText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
}

// A rule element with the given body.
QByteArray Rule(
    const char* name, const char* category, const QByteArray& body, const char* severity = "2", const char* extra = "")
{
    return QByteArray("<Rule Name=\"") + name + "\" RuleCategory=\"" + category + "\" Severity=\"" + severity
        + "\" RuleModule=\"M\" " + extra + ">" + body + "</Rule>";
}

QByteArray Parameter(const char* status, const QByteArray& values, const char* type = "1")
{
    return QByteArray("<Parameter Type=\"") + type + "\" Status=\"" + status
        + "\"><Operator>&gt;=</Operator><ParameterType>Double</ParameterType>" + values + "</Parameter>";
}

std::string Listing(const std::vector<SettingsLine>& lines)
{
    std::string out;
    for (const SettingsLine& l : lines)
        out += l.key + " = " + l.value + "\n";
    return out;
}

class RuleSettingsReportTest : public ::testing::Test
{
protected:
    // The listing of the first rule of a file made of the elements.
    std::string ListingOf(const QList<QByteArray>& elements, const QString& name, const QString& category)
    {
        RuleElementIndex index;
        EXPECT_TRUE(index.Load(WriteText(m_env.Path(QStringLiteral("list.vtr")), RuleFileText(elements))));
        return Listing(RuleSettingsLines(index.Elements(name, category), name));
    }
    ScopedTestEnv m_env;
};

struct ReportCase
{
    const char* what;
    const char* name; // the rule being compared
    QByteArray saved; // its element(s) in the saved file
    QByteArray defaults; // and in the all-rules file
    SettingsVerdict expected;
};

TEST_F(RuleSettingsReportTest, VerdictsFollowTheListing)
{
    const QByteArray value5 = Parameter("1", "<Value Attribute1=\"a\">5</Value>");
    const QByteArray bendDefault = Parameter("1", "<Value>2</Value><Value>0.000000</Value>");
    const QByteArray bendSaved = Parameter("1", "<Value>2</Value>");
    const ReportCase cases[] = {
        { "same element", "R", Rule("R", "C", value5), Rule("R", "C", value5), SettingsVerdict::Same },
        { "one Value text changed", "R", Rule("R", "C", Parameter("1", "<Value Attribute1=\"a\">6</Value>")),
            Rule("R", "C", value5), SettingsVerdict::Differs },
        { "an attribute of a value changed", "R", Rule("R", "C", Parameter("1", "<Value Attribute1=\"b\">5</Value>")),
            Rule("R", "C", value5), SettingsVerdict::Differs },
        { "severity changed", "R", Rule("R", "C", value5, "4"), Rule("R", "C", value5), SettingsVerdict::Differs },
        { "name and category in other case still found", "R", Rule("r", "c", value5), Rule("R", "C", value5),
            SettingsVerdict::Same },
        { "attributes outside the listing do not count", "R", Rule("R", "C", value5, "2", "HelpId=\"9\""),
            Rule("R", "C", value5), SettingsVerdict::Same },
        { "no element in the saved file", "R", Rule("Other", "C", value5), Rule("R", "C", value5),
            SettingsVerdict::Differs },
        { "0.000000 in one file only", "Recommended Bend Radius and Tolerance",
            Rule("Recommended Bend Radius and Tolerance", "SMF", bendSaved),
            Rule("Recommended Bend Radius and Tolerance", "SMF", bendDefault), SettingsVerdict::Same },
        { "0.000000 counts for other rules", "R", Rule("R", "SMF", bendSaved), Rule("R", "SMF", bendDefault),
            SettingsVerdict::Differs },
        // Every value the parameter editor marks counts, in every rule.
        { "Interference Detection: values", "Interference Detection",
            Rule("Interference Detection", "Assembly", Parameter("1", "<Value Attribute1=\"a\">1</Value>")),
            Rule("Interference Detection", "Assembly", Parameter("1", "<Value Attribute1=\"a\">0</Value>")),
            SettingsVerdict::Differs },
        { "Interference Detection: status", "Interference Detection",
            Rule("Interference Detection", "Assembly", Parameter("0", "<Value Attribute1=\"a\">5</Value>")),
            Rule("Interference Detection", "Assembly", value5), SettingsVerdict::Differs },
        { "tubes: values", "Minimum Bending Radius for Tubes and Hoses",
            Rule("Minimum Bending Radius for Tubes and Hoses", "Tubing", Parameter("1", "<Value>9</Value>")),
            Rule("Minimum Bending Radius for Tubes and Hoses", "Tubing", Parameter("1", "<Value>3</Value>")),
            SettingsVerdict::Differs },
        { "clearance: pair table values", "Minimum Clearance Between Components",
            Rule("Minimum Clearance Between Components", "Assembly", Parameter("1", "<Value>9</Value>", "2048")),
            Rule("Minimum Clearance Between Components", "Assembly", Parameter("1", "<Value>1</Value>", "2048")),
            SettingsVerdict::Differs },
        { "clearance: other parameters' values count", "Minimum Clearance Between Components",
            Rule("Minimum Clearance Between Components", "Assembly", Parameter("1", "<Value>9</Value>", "4")),
            Rule("Minimum Clearance Between Components", "Assembly", Parameter("1", "<Value>1</Value>", "4")),
            SettingsVerdict::Differs },
        { "recommended value changed", "R",
            Rule("R", "C", Parameter("1", "<Value>5</Value><Recom>4</Recom><Alert>6</Alert>")),
            Rule("R", "C", Parameter("1", "<Value>5</Value><Recom>3</Recom><Alert>6</Alert>")),
            SettingsVerdict::Differs },
        { "alert value changed", "R",
            Rule("R", "C", Parameter("1", "<Value>5</Value><Recom>3</Recom><Alert>7</Alert>")),
            Rule("R", "C", Parameter("1", "<Value>5</Value><Recom>3</Recom><Alert>6</Alert>")),
            SettingsVerdict::Differs },
        // Numbers are compared within a relative 1e-9: the noise of a
        // conversion and back is no change, a real change is.
        { "noise of a conversion", "R",
            Rule("R", "C",
                Parameter("1", "<Value>1.9999999999999998</Value><Recom>117.99999999999999</Recom>"
                               "<Alert>2.99999999999</Alert>")),
            Rule("R", "C", Parameter("1", "<Value>2</Value><Recom>118</Recom><Alert>3</Alert>")),
            SettingsVerdict::Same },
        { "a small change", "R", Rule("R", "C", Parameter("1", "<Value>2.000001</Value>")),
            Rule("R", "C", Parameter("1", "<Value>2</Value>")), SettingsVerdict::Differs },
        { "tiny values compared relatively", "R", Rule("R", "C", Parameter("1", "<Value>1e-10</Value>")),
            Rule("R", "C", Parameter("1", "<Value>2e-10</Value>")), SettingsVerdict::Differs },
        { "texts that are no numbers compared as texts", "R", Rule("R", "C", Parameter("1", "<Value>2 mm</Value>")),
            Rule("R", "C", Parameter("1", "<Value>2.0 mm</Value>")), SettingsVerdict::Differs },
        { "Standard Hole Sizes: tolerance attribute", "Standard Hole Sizes",
            Rule("Standard Hole Sizes", "Drilling", value5, "3", "StdHoleTolerance=\"0.1\""),
            Rule("Standard Hole Sizes", "Drilling", value5, "3", "StdHoleTolerance=\"0.05\""),
            SettingsVerdict::Differs },
        { "a second element of the rule", "R", Rule("R", "C", value5) + Rule("R", "C", value5), Rule("R", "C", value5),
            SettingsVerdict::Differs },
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString saved = WriteText(m_env.Path(QStringLiteral("saved.vtr")), RuleFileText({ c.saved }));
        const QString defaults = WriteText(m_env.Path(QStringLiteral("defaults.vtr")), RuleFileText({ c.defaults }));
        RuleSettingsReport report;
        ASSERT_TRUE(report.Load(saved, defaults));
        const QString category = QString::fromUtf8(c.defaults.mid(c.defaults.indexOf("RuleCategory=\"") + 14))
                                     .section(QLatin1Char('"'), 0, 0);
        int32_t flag = c.expected == SettingsVerdict::Same ? 1 : 0; // the opposite, so a change shows
        EXPECT_EQ(report.Compare(QString::fromLatin1(c.name), category, flag), c.expected);
        EXPECT_EQ(flag, c.expected == SettingsVerdict::Differs ? 1 : 0);
    }
}

TEST_F(RuleSettingsReportTest, AMissingFileGivesNoVerdictAndLeavesTheFlag)
{
    const QString saved = WriteText(m_env.Path(QStringLiteral("saved.vtr")), RuleFileText({ Rule("R", "C", "") }));
    const QString broken = WriteText(m_env.Path(QStringLiteral("broken.vtr")), "<VTRExpress><Rule");
    for (const auto& [current, defaults] : { std::pair { saved, m_env.Path(QStringLiteral("missing.vtr")) },
             std::pair { m_env.Path(QStringLiteral("missing.vtr")), saved }, std::pair { saved, broken },
             std::pair { saved, m_env.Root() } }) {
        RuleSettingsReport report;
        EXPECT_FALSE(report.Load(current, defaults));
        for (int32_t before : { 0, 1 }) {
            int32_t flag = before;
            EXPECT_EQ(report.Compare(QStringLiteral("R"), QStringLiteral("C"), flag), SettingsVerdict::Unknown);
            EXPECT_EQ(flag, before);
        }
    }
    // The comparison writes nothing beside the files.
    EXPECT_EQ(QDir(m_env.Root()).entryList(QDir::Files).size(), 2);
}

TEST_F(RuleSettingsReportTest, ListsTheRuleInItsOrder)
{
    const QByteArray element = Rule("R", "C",
        "<Constraint Type=\"Material\" Value=\"Steel\">" + Parameter("1", "<Value Attribute2=\"x\">4</Value>", "2")
            + "</Constraint>" + "<Parameter Type=\"8\" Status=\"0\"><Value>1</Value><Value>2</Value><Recom>3</Recom>"
            + "</Parameter>");
    EXPECT_EQ(ListingOf({ element }, "R", "C"),
        "Severity = 2\n"
        "Constraint = Constraint\nType = Material\nValue = Steel\n"
        "Type = 2\nOperator = >=\nParameterType = Double\nStatus = 1\n"
        "Value = 4\nAttribute1 = \nAttribute2 = x\nAttribute3 = \nAttribute4 = \nAttribute5 = \n"
        "Type = 8\nStatus = 0\nValue = 1\nValue = 2\n"
        "Attribute1 = \nAttribute2 = \nAttribute3 = \nAttribute4 = \nAttribute5 = \n"
        "Attribute1 = \nAttribute2 = \nAttribute3 = \nAttribute4 = \nAttribute5 = \n"
        "Recom = 3\n"); // recommended and alert values after the values
}

TEST_F(RuleSettingsReportTest, TwoElementsOfOneRuleAreBothListedInDocumentOrder)
{
    const QByteArray first = Rule("R", "C", "", "1");
    const QByteArray other = Rule("R", "Other", "", "7");
    const QByteArray second = Rule("r", "c", "", "3");
    EXPECT_EQ(ListingOf({ first, other, second }, "R", "C"), "Severity = 1\nSeverity = 3\n");
}

TEST_F(RuleSettingsReportTest, StandardHoleSizesListsFiveStatusLines)
{
    const QByteArray element = Rule("Standard Hole Sizes", "Drilling", "", "3",
        "StdHoleToleranceUnit=\"5\" StdHoleTolerance=\"4\" StdHoleFilterType=\"3\" StdHoleUnit=\"2\" DBCategory=\"1\"");
    EXPECT_EQ(ListingOf({ element }, "Standard Hole Sizes", "Drilling"),
        "Severity = 3\nStatus = 1\nStatus = 2\nStatus = 3\nStatus = 4\nStatus = 5\n");
    // Another rule with the same attributes lists none of them.
    EXPECT_EQ(ListingOf({ element }, "standard hole sizes", "Drilling"), "Severity = 3\n");
}

TEST_F(RuleSettingsReportTest, RecommendedBendRadiusListsNoZeroValuesAndNoAttributes)
{
    const char* name = "Recommended Bend Radius and Tolerance";
    const QByteArray element
        = Rule(name, "SMF", Parameter("1", "<Value Attribute1=\"a\">1.5</Value><Value>0.000000</Value>"));
    EXPECT_EQ(ListingOf({ element }, name, "SMF"),
        "Severity = 2\nType = 1\nOperator = >=\nParameterType = Double\nStatus = 1\nValue = 1.5\n");
}

TEST_F(RuleSettingsReportTest, ConfiguredFormAndConstraintChain)
{
    const QByteArray body = "<Configuration><SelectedConfig>"
                            "<Constraint ExpName=\"d\" Operator=\"&lt;\" Status=\"1\" IsDefaultAllowed=\"\"/>"
                            "<Constraint ExpName=\"e\" Operator=\"=\" Status=\"0\" IsDefaultAllowed=\"0\"/>"
                            "<Validation ExpName=\"v\" Operator=\"&gt;\" Status=\"1\"/>"
                            "</SelectedConfig><ConstraintList>"
                            "<Constraint Value=\"Steel\"><Constraint Value=\"Thick\">"
                            "<Parameter><Min>2</Min><Empty/>text<Max>9</Max></Parameter>"
                            "</Constraint></Constraint>"
                            "</ConstraintList></Configuration>"
                            "<Configuration><SelectedConfig><Validation ExpName=\"ignored\"/></SelectedConfig>"
                            "</Configuration>";
    EXPECT_EQ(ListingOf({ Rule("R", "C", body) }, "R", "C"),
        "Severity = 2\n"
        "ExpName = d\nOperator = <\nStatus = 1\nIsDefaultAllowed = 1\n"
        "ExpName = e\nOperator = =\nStatus = 0\nIsDefaultAllowed = 0\n"
        "ExpName = v\nOperator = >\nStatus = 1\n"
        "Value = Steel\nValue = Thick\nMin = 2\nMax = 9\n");
}

TEST_F(RuleSettingsReportTest, DefinitionFormAndConstraintChain)
{
    const QByteArray body
        = "<ConstraintDefList>"
          "<ConstraintDef Operator=\"&lt;=\" Status=\"1\"><ParamExp>a</ParamExp><ParamExp>b</ParamExp>"
          "</ConstraintDef></ConstraintDefList>"
          "<ValidationDefList><ValidationDef Operator=\"=\" Status=\"0\"><ParamExp>w</ParamExp>"
          "</ValidationDef></ValidationDefList>"
          "<ConstraintList><Constraint Value=\"1\"><Parameter><P>x</P></Parameter></Constraint>"
          "<Constraint Value=\"2\"/></ConstraintList>";
    EXPECT_EQ(ListingOf({ Rule("R", "C", body) }, "R", "C"),
        "Severity = 2\n"
        "ExpName = a\nOperator = <=\nStatus = 1\nIsDefaultAllowed = 1\n"
        "ExpName = b\nOperator = <=\nStatus = 1\nIsDefaultAllowed = 1\n"
        "ExpName = w\nOperator = =\nStatus = 0\n"
        "Value = 1\nP = x\nValue = 2\n");
}

TEST_F(RuleSettingsReportTest, ConstraintsOfTheRuleLeaveOutTheSelectedAndDefinedExpressions)
{
    // With a Constraint child the expressions are not listed; the chain still is.
    const QByteArray body = "<Constraint Type=\"T\" Value=\"V\"/>"
                            "<ConstraintDefList><ConstraintDef Operator=\"=\"><ParamExp>a</ParamExp></ConstraintDef>"
                            "</ConstraintDefList><ConstraintList><Constraint Value=\"9\"/></ConstraintList>";
    EXPECT_EQ(ListingOf({ Rule("R", "C", body) }, "R", "C"),
        "Severity = 2\nConstraint = Constraint\nType = T\nValue = V\nValue = 9\n");
}

TEST_F(RuleSettingsReportTest, WhatTheParameterEditorMarksTheReportSees)
{
    const QByteArray element = Rule("Draft Angle", "Casting",
        "<Parameter Type=\"1\" Status=\"1\" Name=\"Minimum draft\" UnitType=\"Angle\"><Operator>&gt;=</Operator>"
        "<ParameterType>Double</ParameterType><Value>2</Value><Recom>3</Recom><Alert>1</Alert></Parameter>"
        "<Parameter Type=\"4\" Status=\"1\" Name=\"Treat touching faces\" UnitType=\"None\"><Operator>=</Operator>"
        "<ParameterType>Boolean</ParameterType><Value>0</Value></Parameter>");
    const QString defaultsPath = WriteText(m_env.Path(QStringLiteral("defaults.vtr")), RuleFileText({ element }));
    RuleElementIndex read;
    ASSERT_TRUE(read.Load(defaultsPath));
    auto fresh = [&read] {
        auto rule = std::make_unique<ConcreteVTRRule>();
        VtrXMLNode node(read.Elements("Draft Angle", "Casting").front(), read.Document());
        EXPECT_TRUE(rule->PopulateParametersFromXML(&node));
        return rule;
    };
    const struct
    {
        const char* what;
        int parameter;
        ParameterField field;
        const char* typed;
        bool differs;
    } cases[] = {
        { "value", 0, ParameterField::Value, "2.5", true },
        { "recommended value", 0, ParameterField::Recommended, "4", true },
        { "alert value", 0, ParameterField::Alert, "0.5", true },
        { "a yes/no value", 1, ParameterField::Value, "1", true },
        { "the noise of a conversion", 0, ParameterField::Recommended, "2.9999999999999996", false },
        { "the same value written otherwise", 0, ParameterField::Alert, "1.000", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto defaults = fresh();
        auto rule = fresh();
        RuleParameterEdit edit(*rule, defaults.get());
        QString error;
        ASSERT_TRUE(edit.SetText(c.parameter, c.field, QString::fromLatin1(c.typed), error)) << error.toStdString();
        EXPECT_EQ(edit.Differs(c.parameter, c.field), c.differs) << "the editor's mark";
        edit.Apply(*rule);
        VtrMarkupWriter markup(VtrMarkupWriter::kFile);
        ASSERT_TRUE(rule->AppendMarkup(markup));
        const QString saved = WriteText(
            m_env.Path(QStringLiteral("saved.vtr")), RuleFileText({ QByteArray::fromStdString(markup.file) }));
        RuleSettingsReport report;
        ASSERT_TRUE(report.Load(saved, defaultsPath));
        EXPECT_EQ(report.Compare(QStringLiteral("Draft Angle"), QStringLiteral("Casting")),
            c.differs ? SettingsVerdict::Differs : SettingsVerdict::Same)
            << "the report's verdict";
    }
}

TEST_F(RuleSettingsReportTest, AChainAsDeepAsTheReaderTakesIsWalkedToItsEnd)
{
    auto fileWithChain = [this](int depth) {
        QByteArray chain;
        for (int i = 0; i < depth; ++i)
            chain += "<Constraint Value=\"" + QByteArray::number(i) + "\">";
        chain += "<Parameter><Value>7</Value></Parameter>";
        for (int i = 0; i < depth; ++i)
            chain += "</Constraint>";
        return WriteText(m_env.Path(QStringLiteral("deep%1.vtr").arg(depth)),
            RuleFileText({ Rule("R", "C", "<ConstraintList>" + chain + "</ConstraintList>") }));
    };
    // The deepest chain the reader takes: the file's root, the rule, its
    // constraint list and the last parameter take a few of its levels.
    int depth = VtrXMLDocument::kMaxNestingDepth;
    RuleElementIndex index;
    while (depth > 0 && !index.Load(fileWithChain(depth)))
        --depth;
    ASSERT_GE(depth, VtrXMLDocument::kMaxNestingDepth - 8) << index.LastError().toStdString();
    ASSERT_TRUE(index.IsLoaded());

    const std::vector<SettingsLine> lines = RuleSettingsLines(index.Elements("R", "C"), "R");
    // Severity, one value per level, then the last level's parameter.
    ASSERT_EQ(lines.size(), static_cast<size_t>(depth + 2));
    EXPECT_EQ(lines[1].value, "0");
    EXPECT_EQ(lines[static_cast<size_t>(depth)].value, std::to_string(depth - 1));
    EXPECT_EQ(lines.back().key, "Value");
    EXPECT_EQ(lines.back().value, "7");
}

// Reset to Default over the test module's rules.
class ResetToDefaultTest : public DocFixture
{
protected:
    QByteArray TestRule(const char* name, const char* value, int selected = 1, const char* severity = "2")
    {
        return QByteArray("<Rule Name=\"") + name + "\" DisplayName=\"" + name + "\" RuleCategory=\"" + Category()
            + "\" RuleModule=\"Test Rules\" Severity=\"" + severity + "\" Selected=\"" + QByteArray::number(selected)
            + "\">" + Parameter("1", QByteArray("<Value>") + value + "</Value>") + "</Rule>";
    }
    void SetUp() override
    {
        DocFixture::SetUp();
        SetMessageService(&m_messages);
        // Saved: Hole Depth differs from its default, Corner Radius does not.
        m_saved = WriteRuleFile(
            QStringLiteral("saved.vtr"), { TestRule("TM - Hole Depth", "5"), TestRule("TM - Corner Radius", "1") });
        m_defaults = WriteText(m_env.Path(QStringLiteral("defaults.vtr")),
            RuleFileText({ TestRule("TM - Hole Depth", "3", 0, "4"), TestRule("TM - Corner Radius", "1", 0),
                TestRule("TM - Wall Thickness", "2", 0) }));
        ASSERT_TRUE(m_doc.OnOpenDocument(m_saved));
        m_list = std::make_unique<RuleListController>(&m_doc);
        m_link = std::make_unique<RuleListDocLink>(m_list.get());
        m_list->InitialUpdate();
    }
    void TearDown() override
    {
        // The document releases the rules its list holds.
        m_doc.OnCloseDocument();
        m_link.reset();
        m_list.reset();
        SetMessageService(nullptr);
        DocFixture::TearDown();
    }
    int RowOf(const char* name) const
    {
        for (int r = 0; r < m_list->Model()->RowCount(); ++r)
            if (m_list->Model()->RuleAt(r)->GetRuleName() == QLatin1String(name))
                return r;
        return -1;
    }
    CVtrRule* RuleOf(const char* name) const { return m_list->Model()->RuleAt(RowOf(name)); }
    QList<int> AllRows() const
    {
        QList<int> rows;
        for (int r = 0; r < m_list->Model()->RowCount(); ++r)
            rows << r;
        return rows;
    }
    QList<CVtrRule*> AllRules() const
    {
        QList<CVtrRule*> rules;
        for (int r : AllRows())
            rules << m_list->Model()->RuleAt(r);
        return rules;
    }
    static QString ValueOf(CVtrRule* rule)
    {
        auto* concrete = dynamic_cast<ConcreteVTRRule*>(rule);
        if (!concrete)
            return QStringLiteral("(not a framework rule)");
        for (const VtrRuleItem& item : concrete->Items())
            if (item.name == QLatin1String("Parameter"))
                if (const VtrRuleItem* value = item.Child(QStringLiteral("Value")))
                    return value->text;
        return {};
    }

    CVTRRuleBuilderDoc m_doc;
    std::unique_ptr<RuleListController> m_list;
    std::unique_ptr<RuleListDocLink> m_link;
    QString m_saved;
    QString m_defaults;
};

TEST_F(ResetToDefaultTest, OnlyRulesFoundDifferentAreFlaggedAndReset)
{
    ASSERT_FALSE(m_doc.IsModified());
    EXPECT_TRUE(MarkRulesThatDiffer(m_saved, m_defaults, AllRules()));
    EXPECT_EQ(RuleOf("TM - Hole Depth")->GetDiffersFromDefault(), 1);
    EXPECT_EQ(RuleOf("TM - Corner Radius")->GetDiffersFromDefault(), 0);
    EXPECT_EQ(RuleOf("TM - Wall Thickness")->GetDiffersFromDefault(), 0) << "not in the saved file";

    CVtrRule* hole = RuleOf("TM - Hole Depth");
    CVtrRule* corner = RuleOf("TM - Corner Radius");
    const QString modulePath = hole->GetModulePath();
    hole->SetModulePath(QStringLiteral("/kept/module.so"));
    corner->SetCriticality(5); // a reset would take 2 from the defaults
    const int selectedBefore = m_list->SelectedCount();

    EXPECT_EQ(ResetRulesToDefault(*m_list, AllRows(), m_defaults), 1);
    EXPECT_EQ(ValueOf(hole), QStringLiteral("3"));
    EXPECT_EQ(hole->GetCriticality(), 4);
    EXPECT_EQ(hole->GetModulePath(), QStringLiteral("/kept/module.so"));
    hole->SetModulePath(modulePath); // the document releases the rule through its module
    EXPECT_EQ(hole->GetDiffersFromDefault(), 0);
    EXPECT_EQ(hole->GetSelected(), 1) << "the row stays ticked";
    EXPECT_TRUE(m_list->Model()->IsChecked(RowOf("TM - Hole Depth")));
    EXPECT_EQ(corner->GetCriticality(), 5) << "a rule whose flag is 0 is left alone";
    EXPECT_EQ(m_list->SelectedCount(), selectedBefore);
    EXPECT_TRUE(m_doc.IsModified());
    // Column 3 shows the new criticality and sorting by it sees it.
    EXPECT_EQ(m_list->Model()->CellText(RowOf("TM - Hole Depth"), RuleListModel::CriticalityColumn),
        RuleListModel::CriticalityWord(4));
    m_list->SortByColumn(RuleListModel::CriticalityColumn);
    EXPECT_EQ(m_list->Model()->RuleAt(0), RuleOf("TM - Wall Thickness")) << "criticality 3 before 4 and 5";
}

TEST_F(ResetToDefaultTest, TheFlagStaysUntilTheRuleIsReset)
{
    CVtrRule* hole = RuleOf("TM - Hole Depth");
    ASSERT_TRUE(MarkRulesThatDiffer(m_saved, m_defaults, { hole }));
    // Saved again with its defaults: the menu no longer offers the reset,
    // the flag set before stays.
    const QString same = WriteRuleFile(QStringLiteral("same.vtr"), { TestRule("TM - Hole Depth", "3", 1, "4") });
    EXPECT_FALSE(MarkRulesThatDiffer(same, m_defaults, { hole }));
    EXPECT_EQ(hole->GetDiffersFromDefault(), 1);
}

TEST_F(ResetToDefaultTest, NothingIsComparedOrResetWithoutTheFiles)
{
    const QString missing = m_env.Path(QStringLiteral("missing.vtr"));
    EXPECT_FALSE(MarkRulesThatDiffer(missing, m_defaults, AllRules()));
    EXPECT_FALSE(MarkRulesThatDiffer(m_saved, missing, AllRules()));
    EXPECT_EQ(RuleOf("TM - Hole Depth")->GetDiffersFromDefault(), 0);

    RuleOf("TM - Hole Depth")->SetDiffersFromDefault(1);
    EXPECT_EQ(ResetRulesToDefault(*m_list, AllRows(), missing), -1);
    EXPECT_EQ(ValueOf(RuleOf("TM - Hole Depth")), QStringLiteral("5"));
    EXPECT_FALSE(m_doc.IsModified());
}

TEST_F(ResetToDefaultTest, TheSixAssemblyRulesNeverEnableIt)
{
    for (const char* name : { "Recommended Thread Connection", "Fastener Engagement Length",
             "Check Preferred Components", "Check Contact Material", "Fastener Clearance",
             "Fastener Accessibility - Based On Fastening Tool Parameters" }) {
        SCOPED_TRACE(name);
        const QString saved = WriteText(m_env.Path(QStringLiteral("asm.vtr")),
            RuleFileText({ Rule(name, "Assembly", Parameter("1", "<Value>1</Value>"), "1") }));
        const QString defaults = WriteText(m_env.Path(QStringLiteral("asmdef.vtr")),
            RuleFileText({ Rule(name, "Assembly", Parameter("0", "<Value>2</Value>"), "3") }));
        ConcreteVTRRule rule;
        rule.SetRuleName(QString::fromLatin1(name));
        rule.SetRuleCategory(QStringLiteral("Assembly"));
        EXPECT_FALSE(MarkRulesThatDiffer(saved, defaults, { &rule }));
        EXPECT_EQ(rule.GetDiffersFromDefault(), 0);
        EXPECT_TRUE(IsNeverResetRule(QString::fromLatin1(name)));
    }
}

} // namespace
