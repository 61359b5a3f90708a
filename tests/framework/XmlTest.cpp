#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"

#include "HostileFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

    // Asked again and again, as each rule module asks, and after a change.
    for (int round = 0; round < 2; ++round) {
        EXPECT_STREQ(rule->AttributeText("Alpha"), "1");
        EXPECT_STREQ(rule->AttributeText("Name"), "Zed");
        EXPECT_EQ(rule->AttributeText("Missing"), nullptr);
        EXPECT_EQ(rule->AttributeText("Missing"), nullptr);
    }
    EXPECT_TRUE(rule->AddAttribute1("Missing", "here"));
    EXPECT_STREQ(rule->AttributeText("Missing"), "here");
    EXPECT_TRUE(rule->AddAttribute1("Name", "second"));
    EXPECT_STREQ(rule->AttributeText("Name"), "Zed");
    EXPECT_EQ(rule->AttributeText("A name longer than what is remembered"), nullptr);
    EXPECT_EQ(VtrXMLNode().AttributeText("Name"), nullptr);
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
    ASSERT_TRUE(MakeFifo(env.Path(QStringLiteral("fifo.vtr"))));
    FifoWatchdog watchdog(env.Path(QStringLiteral("fifo.vtr")));
    for (const char* name :
        { "empty.vtr", "broken.vtr", "text.vtr", "binary.vtr", "folder.vtr", "missing.vtr", "fifo.vtr" }) {
        VtrXMLDocument doc;
        VtrXMLNode* root = doc.LoadFromFile(env.Path(QLatin1String(name)));
        EXPECT_EQ(root, nullptr) << name;
        delete root;
        EXPECT_FALSE(doc.LastError().isEmpty()) << name;
        // The document stays usable after a failed load.
        std::unique_ptr<VtrXMLNode> fresh(doc.LoadFromBuffer("<R/>", 4));
        EXPECT_TRUE(fresh) << name;
    }
    EXPECT_FALSE(watchdog.Finish()) << "the FIFO was opened for reading";
}

QByteArray Nested(int depth)
{
    QByteArray text;
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    text += "x";
    for (int i = 0; i < depth; ++i)
        text += "</a>";
    return text;
}

TEST(XmlTest, NestingBeyondTheLimitIsRefused)
{
    // The text inside the deepest element counts as one more level.
    const struct
    {
        int elements;
        bool loads;
    } cases[] = {
        { VtrXMLDocument::kMaxNestingDepth - 1, true },
        { VtrXMLDocument::kMaxNestingDepth, false },
        { 60000, false },
    };
    for (const auto& c : cases) {
        const QByteArray text = Nested(c.elements);
        VtrXMLDocument doc;
        std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
        EXPECT_EQ(root != nullptr, c.loads) << c.elements;
        if (!c.loads) {
            EXPECT_TRUE(doc.LastError().contains(QLatin1String("nested deeper"))) << c.elements;
        }
    }
}

TEST(XmlTest, DeepTreesArePrintedAndReleasedWithoutRecursion)
{
    // pugixml prints and frees without recursing; a tree built in memory may
    // be that deep, but it is not saved to a file that could not be read back.
    ScopedTestEnv env;
    VtrXMLDocument doc;
    VtrXMLNode* root = doc.CreateNode(QStringLiteral("a"));
    ASSERT_TRUE(doc.AppendNode(root));
    pugi::xml_node n = root->Native();
    for (int i = 1; i < 60000; ++i)
        n = n.append_child("a");
    EXPECT_EQ(root->GetXML().toUtf8(), Nested(60000).replace("x", "").replace("<a></a>", "<a/>"));
    delete root;
    const QString path = env.Path(QStringLiteral("deep.xml"));
    EXPECT_FALSE(doc.Save(path));
    EXPECT_TRUE(doc.LastError().contains(QLatin1String("nested deeper")));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(XmlTest, CarriageReturnsInTextAreWrittenAsReferences)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("cr.xml"));
    const QString text = QStringLiteral("one\rtwo\r\nthree\r");
    const QString attribute = QStringLiteral("a\rb\r\nc\td\ne");
    {
        VtrXMLDocument doc;
        VtrXMLNode* root = doc.CreateNode(QStringLiteral("R"));
        ASSERT_TRUE(doc.AppendNode(root));
        root->AddAttribute(QStringLiteral("A"), attribute);
        root->SetNodeValue(text);
        EXPECT_EQ(
            root->GetXML().toStdString(), "<R A=\"a&#13;b&#13;&#10;c&#09;d&#10;e\">one&#13;two&#13;\nthree&#13;</R>");
        delete root;
        ASSERT_TRUE(doc.Save(path));
    }
    VtrXMLDocument again;
    std::unique_ptr<VtrXMLNode> root(again.LoadFromFile(path));
    ASSERT_TRUE(root) << qPrintable(again.LastError());
    EXPECT_EQ(root->GetNodeValue().toStdString(), text.toStdString());
    QString back;
    ASSERT_TRUE(root->GetAttributeValue(QStringLiteral("A"), back));
    EXPECT_EQ(back.toStdString(), attribute.toStdString());
}

TEST(XmlTest, ContentWithoutCarriageReturnsIsWrittenAsPugixmlWritesIt)
{
    // Fingerprints of existing files depend on these bytes.
    const char text[] = "<Rule Name=\"a &amp; b\" Note=\"x&#09;y&#10;z\"><P T=\"&lt;&gt;&quot;\">lead<V> 1.5 "
                        "</V>tail\nmore\t</P><E/></Rule>";
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(text, sizeof(text) - 1));
    ASSERT_TRUE(root);
    struct Sink : pugi::xml_writer
    {
        std::string out;
        void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    } raw, indented;
    root->Native().print(raw, "", pugi::format_raw, pugi::encoding_utf8);
    EXPECT_EQ(root->GetXML().toStdString(), raw.out);

    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("plain.xml"));
    ASSERT_TRUE(doc.Save(path));
    doc.Native().print(indented, "\t", pugi::format_indent, pugi::encoding_utf8);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + indented.out);
}
} // namespace
