// "Compare with…" without windows: the document as it stands against
// another rule file, and the rows the window lists.

#include "DocFixture.h"

#include "views/DocumentComparison.h"
#include "views/RuleListController.h"

#include <memory>

namespace {

class DocumentComparisonTest : public DocFixture
{ };

TEST_F(DocumentComparisonTest, TheDocumentAsItStandsAgainstTheOtherFile)
{
    const QString opened = WriteRuleFile(QStringLiteral("opened.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(opened));
    RuleListController list(&doc);
    RuleListDocLink link(&list);
    list.InitialUpdate();
    auto setTicked = [&](const char* name, bool ticked) {
        for (int r = 0; r < list.Model()->RowCount(); ++r)
            if (list.Model()->RuleAt(r)->GetRuleName() == QLatin1String(name))
                return list.SetChecked(r, ticked);
        return false;
    };

    // A document compared with its own saved file holds the same.
    const QString mine = m_env.Path(QStringLiteral("mine.vtr"));
    ASSERT_TRUE(doc.OnSaveDocument(mine));
    RuleFileComparison comparison;
    QString error;
    EXPECT_TRUE(CompareDocumentWithFile(doc, mine, comparison, error)) << error.toStdString();
    EXPECT_TRUE(comparison.Same());

    // The other file: the saved one with the rule's criticality changed and
    // one rule more.
    QByteArray text = ReadAll(mine);
    ASSERT_TRUE(text.contains("Severity=\"2\""));
    text.replace("Severity=\"2\"", "Severity=\"4\"");
    text.replace("</VTRExpress>", TestRuleElement("TM - Wall Thickness") + "\n</VTRExpress>");
    const QString theirs = m_env.Path(QStringLiteral("theirs.vtr"));
    {
        QFile f(theirs);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    EXPECT_TRUE(CompareDocumentWithFile(doc, theirs, comparison, error)) << error.toStdString();
    EXPECT_TRUE(comparison.onlyInA.empty());
    EXPECT_EQ(comparison.onlyInB, std::vector<std::string> { "General/TM - Wall Thickness" });
    ASSERT_EQ(comparison.settings.size(), 1u);
    EXPECT_EQ(comparison.settings[0].rule, "General/TM - Hole Depth");
    EXPECT_EQ(comparison.settings[0].setting, "criticality");
    EXPECT_EQ(comparison.settings[0].a, std::optional<std::string>("2"));
    EXPECT_EQ(comparison.settings[0].b, std::optional<std::string>("4"));
    EXPECT_EQ(ComparisonCountText(comparison), QStringLiteral("0 rules only here, 1 only there, 1 settings differ"));

    // Unsaved changes count: tick the wall rule and it is no longer only there.
    EXPECT_TRUE(setTicked("TM - Wall Thickness", true));
    EXPECT_TRUE(CompareDocumentWithFile(doc, theirs, comparison, error));
    EXPECT_TRUE(comparison.onlyInB.empty());
    EXPECT_FALSE(comparison.settings.empty());

    // What cannot be read is said, and nothing is compared.
    EXPECT_FALSE(CompareDocumentWithFile(doc, m_env.Path(QStringLiteral("missing.vtr")), comparison, error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.vtr")));
    const QString junk = m_env.Path(QStringLiteral("junk.vtr"));
    {
        QFile f(junk);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<VTRExpress><Rule");
    }
    EXPECT_FALSE(CompareDocumentWithFile(doc, junk, comparison, error));
    EXPECT_TRUE(comparison.Same());
    doc.OnCloseDocument();
}

TEST(ComparisonModel, OneRowPerDifferenceWithBothValues)
{
    RuleFileComparison c;
    c.onlyInA = { "Drilling/Hole Depth" };
    c.onlyInB = { "Milling/Corner Radius #2" };
    c.settings = { { "Molding/Wall", "Parameter[1].Value", std::string("2"), std::nullopt } };
    ComparisonModel model;
    model.SetComparison(c);
    ASSERT_EQ(model.rowCount(), 3);
    const QStringList expected[] = {
        { "Drilling/Hole Depth", "(rule)", "present", "(none)" },
        { "Milling/Corner Radius #2", "(rule)", "(none)", "present" },
        { "Molding/Wall", "Parameter[1].Value", "2", "(none)" },
    };
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < ComparisonModel::ColumnCount; ++col)
            EXPECT_EQ(model.Text(r, col), expected[r][col]) << r << "," << col;
    EXPECT_EQ(model.Text(3, 0), QString());
}

TEST(ComparedRuleOwner, StripsTheCopyNumberAndSkipsFileSettings)
{
    const struct
    {
        const char* owner;
        const char* expected;
    } cases[] = {
        { "Drilling/Hole Depth", "Drilling/Hole Depth" },
        { "Drilling/Hole Depth #3", "Drilling/Hole Depth" },
        { "Drilling/Hole #1 Depth", "Drilling/Hole #1 Depth" },
        { "(file)", "" },
        { "(Units)", "" },
        { "no category", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComparedRuleOwner(QString::fromUtf8(c.owner)), QString::fromUtf8(c.expected)) << c.owner;
}

} // namespace
