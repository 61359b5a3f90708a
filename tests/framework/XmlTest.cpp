#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <QDir>
#include <QFile>

namespace {
void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

TEST(XmlTest, AttributesKeepTheirOrderAndNarrowValuesAreCopies)
{
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> rule(doc.CreateNode(QStringLiteral("Rule")));
    ASSERT_TRUE(rule);
    EXPECT_TRUE(rule->AddAttribute(QStringLiteral("Name"), QStringLiteral("Zed")));
    EXPECT_TRUE(rule->AddAttribute1("Alpha", "1"));
    EXPECT_TRUE(rule->AddAttribute(QStringLiteral("Middle"), QStringLiteral("\u00e9&<\"")));
    EXPECT_EQ(rule->GetXML().toStdString(), "<Rule Name=\"Zed\" Alpha=\"1\" Middle=\"\u00e9&amp;&lt;&quot;\"/>");

    QString value;
    EXPECT_TRUE(rule->GetAttributeValue(QStringLiteral("Middle"), value));
    EXPECT_EQ(value, QStringLiteral("\u00e9&<\""));
    EXPECT_FALSE(rule->GetAttributeValue(QStringLiteral("Missing"), value));
    char* narrow = nullptr;
    ASSERT_TRUE(rule->GetAttributeValue1("Alpha", narrow));
    EXPECT_STREQ(narrow, "1");
    delete[] narrow;
}

TEST(XmlTest, NodeListIsNullWhenThereAreNoSuchChildren)
{
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer("<R><A/><B/><A x='2'/></R>", 25));
    ASSERT_TRUE(root);
    VtrXMLNodeList* none = root->GetNodeList(QStringLiteral("C"));
    EXPECT_EQ(none, nullptr);
    VtrXMLNodeList* list = root->GetNodeList(QStringLiteral("A"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetSize(), 2);
    QString x;
    EXPECT_TRUE(list->GetItem(1)->GetAttributeValue(QStringLiteral("x"), x));
    EXPECT_EQ(x, QStringLiteral("2"));
    EXPECT_EQ(list->GetItem(2), nullptr);
    EXPECT_EQ(list->GetItem(-1), nullptr);
    VtrXMLNode::DeleteNodeList(list);
    EXPECT_EQ(list, nullptr);
}

TEST(XmlTest, SaveReplacesTheFileAndReloads)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("rules.vtr"));
    WriteBytes(path, "old content that is longer than the new document will be, to catch a missing truncate");
    {
        VtrXMLDocument doc;
        VtrXMLNode* root = doc.CreateNode(QStringLiteral("RuleFile"));
        ASSERT_TRUE(doc.AppendNode(root));
        std::unique_ptr<VtrXMLNode> child(root->AppendNode(QStringLiteral("Rule"), &doc));
        child->AddAttribute(QStringLiteral("Name"), QStringLiteral("R1"));
        delete root;
        ASSERT_TRUE(doc.Save(path));
    }
    EXPECT_EQ(QDir(env.Root()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("rules.vtr") });
    VtrXMLDocument again;
    std::unique_ptr<VtrXMLNode> root(again.LoadFromFile(path));
    ASSERT_TRUE(root) << qPrintable(again.LastError());
    EXPECT_EQ(root->GetXML().toStdString(), "<RuleFile><Rule Name=\"R1\"/></RuleFile>");

    // A save that cannot happen leaves the old file as it was.
    VtrXMLDocument empty;
    EXPECT_FALSE(empty.Save(env.Path(QStringLiteral("no/such/folder/x.vtr"))));
    EXPECT_FALSE(empty.Save(QString()));
}

TEST(XmlTest, LoadFailsCleanlyOnBadFiles)
{
    ScopedTestEnv env;
    WriteBytes(env.Path(QStringLiteral("empty.vtr")), "");
    WriteBytes(env.Path(QStringLiteral("broken.vtr")), "<RuleFile><Rule></RuleFile>");
    WriteBytes(env.Path(QStringLiteral("text.vtr")), "no markup at all");
    WriteBytes(env.Path(QStringLiteral("binary.vtr")), QByteArray("\0\xff\xfe<\0", 5));
    QDir().mkpath(env.Path(QStringLiteral("folder.vtr")));
    for (const char* name : { "empty.vtr", "broken.vtr", "text.vtr", "binary.vtr", "folder.vtr", "missing.vtr" }) {
        VtrXMLDocument doc;
        VtrXMLNode* root = doc.LoadFromFile(env.Path(QLatin1String(name)));
        EXPECT_EQ(root, nullptr) << name;
        delete root;
        EXPECT_FALSE(doc.LastError().isEmpty()) << name;
        // The document stays usable after a failed load.
        std::unique_ptr<VtrXMLNode> fresh(doc.LoadFromBuffer("<R/>", 4));
        EXPECT_TRUE(fresh) << name;
    }
}
} // namespace
