// The exact bytes of written rule files and their fingerprints, pinned, so
// that work on the reader, the writer and the fingerprint cannot change a
// file that users already have.

#include "TestSupport.h"
#include "ConcreteVTRRule.h"
#include "RuleItemOf.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "VtrXMLDocument.h"
#include "app/AppContext.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QHash>

namespace {
const QString kUserDefined = QStringLiteral("Interactive User Defined Rule");

// A user-defined rule with every kind of value a rule element can carry:
// markup characters, text beyond ASCII (a surrogate pair too), tabs, line
// feeds and carriage returns, blanks around values, empty values, numbers in
// several forms, nested and empty elements.
ConcreteVTRRule* RuleWithEveryKindOfValue()
{
    auto* rule = new ConcreteVTRRule();
    rule->SetRuleName(QStringLiteral("Golden & <Rule> \"quoted\" 'single'"));
    rule->SetDisplayName(QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                           "e \xe2\x80\x93 \xe7\x9b\xb4\xe5\xbe\x84 \xf0\x9f\x98\x80"));
    rule->SetRuleCategory(QStringLiteral("Sheet Metal"));
    rule->SetRuleModuleName(kUserDefined);
    rule->SetCriticality(1);
    rule->SetSelected(1);
    rule->SetHelpId(20399);
    rule->SetRuleId(-5);
    rule->SetValidatorName(QStringLiteral("PLQRuleValidator"));
    rule->SetRuleUnits({ 1, 3 });
    rule->ExtraAttributes() = {
        { QStringLiteral("Note"), QStringLiteral("tab\there\nline\r\nreturn\rend") },
        { QStringLiteral("Empty"), QString() },
        { QStringLiteral("Number"), QStringLiteral("-0.000125") },
        { QStringLiteral("Markup"), QStringLiteral("a<b>&c\"d'e") },
    };
    rule->Items() = {
        RuleItemOf(QStringLiteral("Parameter"),
            { { QStringLiteral("Name"), QStringLiteral("Width") },
                { QStringLiteral("UnitType"), QStringLiteral("Length") } },
            {},
            { RuleItemOf(QStringLiteral("Value"), {}, QStringLiteral("1.5")),
                RuleItemOf(QStringLiteral("Recom"), {}, QStringLiteral("2e-3")),
                RuleItemOf(QStringLiteral("Alert"), {}, QStringLiteral(" 0.75 ")),
                RuleItemOf(QStringLiteral("Min"), {}, QString()),
                RuleItemOf(QStringLiteral("Max"), {}, QStringLiteral("1e308")) }),
        RuleItemOf(QStringLiteral("Constraint"), { { QStringLiteral("Kind"), QStringLiteral("Option") } },
            QString::fromUtf8("lead \xc3\xa9 text\r\nnext"),
            { RuleItemOf(QStringLiteral("Option"), { { QStringLiteral("Text"), QStringLiteral("x > y && y < z") } },
                QStringLiteral("a<b>&c"),
                { RuleItemOf(QStringLiteral("Deep"), { { QStringLiteral("Level"), QStringLiteral("3") } },
                    QStringLiteral("\t tabbed \t")) }) }),
        RuleItemOf(QStringLiteral("Empty"), {}),
        RuleItemOf(QStringLiteral("Message"), {}, QStringLiteral("   spaced   ")),
    };
    return rule;
}

// A user-defined rule whose id the reader sets by its name.
ConcreteVTRRule* RuleWithFixedId()
{
    auto* rule = new ConcreteVTRRule();
    rule->SetRuleName(QStringLiteral("SM - Minimum Hole Diameter"));
    rule->SetDisplayName(QStringLiteral("SM - Minimum Hole Diameter"));
    rule->SetRuleModuleName(kUserDefined);
    rule->SetRuleId(19055);
    return rule;
}

class RuleFileBytesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        PtrArray& loaded = m_app->Modules().loadedRuleModules;
        ASSERT_GE(loaded.GetSize(), 2) << "the rule modules must be built beside the tests";
        for (int32_t i = 0; i < loaded.GetSize(); ++i) {
            void* handle = loaded.GetAt(i);
            const QString path = VtrLibrary::FileName(handle);
            m_deleters.insert(
                path, reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)));
            QList<CVtrRule*> rules;
            if (!FetchAllRules(handle, rules))
                continue;
            for (CVtrRule* rule : rules) {
                rule->SetModulePath(path);
                m_rules.push_back(rule);
            }
            m_firstOfEachModule.push_back(rules.isEmpty() ? nullptr : rules.front());
        }
        m_user.emplace_back(RuleWithEveryKindOfValue());
        m_user.emplace_back(RuleWithFixedId());
    }
    void TearDown() override
    {
        for (CVtrRule* rule : m_rules)
            Release(rule);
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }
    void Release(CVtrRule* rule)
    {
        if (rule->GetRuleModuleName() == kUserDefined && !m_deleters.contains(rule->GetModulePath()))
            delete rule;
        else if (PFN_DeleteRule del = m_deleters.value(rule->GetModulePath()))
            del(&rule);
    }
    void ReleaseAll(CVTRFileDetails& record)
    {
        for (CVtrRule* rule : record.Rules())
            Release(rule);
        record.ClearRules();
    }
    static CVTRFileDetails Record(const std::vector<CVtrRule*>& rules)
    {
        CVTRFileDetails record;
        record.name = QStringLiteral("golden.vtr");
        record.createdBy = QStringLiteral("tester");
        record.createdOn = QStringLiteral("07/04/2026 13:05:09");
        record.units = { 1, 3 };
        record.passwordProtected = true;
        record.password = QString::fromUtf8("p\xc3\xa4ss w\xc3\xb6rd");
        for (CVtrRule* rule : rules)
            if (rule)
                record.AddRule(rule);
        return record;
    }
    static QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Writes the record, then reads the file and writes what was read: both
    // files must be the same bytes. Gives the first file's bytes.
    QByteArray WriteReadWrite(CVTRFileDetails& record)
    {
        const QString first = m_env.Path(QStringLiteral("first.vtr"));
        EXPECT_TRUE(WriteRuleFile(record, first, false));
        EXPECT_EQ(VerifyRuleFileFingerprint(first), FingerprintStatus::Matches);
        CVTRFileDetails read;
        EXPECT_TRUE(ReadRuleFile(read, first));
        EXPECT_TRUE(m_messages.shown.empty()) << "no fingerprint warning";
        EXPECT_EQ(read.RuleCount(), record.RuleCount());
        read.name = record.name;
        read.createdBy = record.createdBy;
        read.createdOn = record.createdOn;
        const QString second = m_env.Path(QStringLiteral("second.vtr"));
        EXPECT_TRUE(WriteRuleFile(read, second, false));
        ReleaseAll(read);
        const QByteArray bytes = ReadAll(first);
        EXPECT_EQ(ReadAll(second), bytes) << "read and written again, the file must not change";
        return bytes;
    }

    ScopedTestEnv m_env;
    ScriptedMessages m_messages;
    std::unique_ptr<AppContext> m_app;
    QHash<QString, PFN_DeleteRule> m_deleters;
    std::vector<CVtrRule*> m_rules;
    std::vector<CVtrRule*> m_firstOfEachModule;
    std::vector<std::unique_ptr<ConcreteVTRRule>> m_user;
};
} // namespace

TEST_F(RuleFileBytesTest, FileWithEveryKindOfValueIsWrittenAsPinned)
{
    std::vector<CVtrRule*> rules = { m_user[0].get(), m_user[1].get() };
    rules.insert(rules.end(), m_firstOfEachModule.begin(), m_firstOfEachModule.end());
    CVTRFileDetails record = Record(rules);
    const QByteArray bytes = WriteReadWrite(record);
    const QByteArray golden = ReadAll(TestData(QStringLiteral("golden-rules.vtr")));
    ASSERT_FALSE(golden.isEmpty());
    EXPECT_EQ(bytes, golden) << bytes.toStdString();
}

TEST_F(RuleFileBytesTest, EveryShippedRuleIsWrittenAsPinned)
{
    CVTRFileDetails record = Record(m_rules);
    const QByteArray bytes = WriteReadWrite(record);
    EXPECT_EQ(bytes.size(), 142407);
    EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString(),
        "227f0af526d2d761699195f333984dbf");
}

TEST(RuleFileFingerprint, PinnedForTextThatIsNotUtf8)
{
    // Bytes that are not UTF-8 are hashed as replacement characters; the
    // fingerprint of such a file must not change either.
    const QByteArray text = "<VTRExpress><Rule Name=\"a\xff"
                            "b\" RuleModule=\"M\">t\xc3(\xe2\x82</Rule>"
                            "<Other/><Rule Name=\"\xf0\x9f\x98\"/></VTRExpress>";
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(RulesFingerprint(root.get()).toStdString(), "69f1705c97b80baaf6654db4d2aa0c82");
}

namespace {
// What loading the whole file and fingerprinting its rule elements says.
FingerprintStatus StatusOfAFullLoad(const QByteArray& text)
{
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
    if (!root || root->GetNodeName() != QLatin1String("VTRExpress"))
        return FingerprintStatus::Unreadable;
    QString password;
    QString stored;
    root->GetAttributeValue(QStringLiteral("Password"), password);
    root->GetAttributeValue(QStringLiteral("RulesData"), stored);
    if (password.isEmpty() || stored.isEmpty())
        return FingerprintStatus::Unprotected;
    return RulesFingerprint(root.get()) == stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
}

QByteArray Replaced(QByteArray text, const QByteArray& what, const QByteArray& with)
{
    const qsizetype at = text.indexOf(what);
    EXPECT_GE(at, 0) << what.toStdString();
    return at < 0 ? text : text.replace(at, what.size(), with);
}
} // namespace

TEST_F(RuleFileBytesTest, CheckingAFileGivesWhatAFullLoadGives)
{
    // Small files, and one of several blocks of reading, so that rules
    // straddle the blocks.
    CVTRFileDetails small = Record({ m_user[0].get(), m_user[1].get(), m_user[0].get() });
    std::vector<CVtrRule*> many(5000, m_user[0].get());
    CVTRFileDetails big = Record(many);
    const QString smallPath = m_env.Path(QStringLiteral("small.vtr"));
    const QString bigPath = m_env.Path(QStringLiteral("big.vtr"));
    ASSERT_TRUE(WriteRuleFile(small, smallPath, false));
    ASSERT_TRUE(WriteRuleFile(big, bigPath, false));
    const QByteArray file = ReadAll(smallPath);
    const QByteArray large = ReadAll(bigPath);
    ASSERT_GT(large.size(), 3 * 1024 * 1024) << "several blocks of reading";
    QByteArray deep = "<A/>";
    for (int i = 0; i < 300; ++i)
        deep = "<D>" + deep + "</D>";

    using S = FingerprintStatus;
    const struct
    {
        const char* what;
        QByteArray text;
        std::optional<S> expected; // beside the full load's answer
    } cases[] = {
        { "as written", file, S::Matches },
        { "many blocks", large, S::Matches },
        { "many blocks, last rule changed",
            Replaced(large, "</Message>\n\t</Rule>\n</VTRExpress>", "</Message>\n\t\t<X/>\n\t</Rule>\n</VTRExpress>"),
            S::Modified },
        { "comments and instructions between rules",
            Replaced(file, "\n\t<Rule", "\n\t<!-- <Rule> -->\n\t<?note <Rule>?>\n\t<Rule"), S::Matches },
        { "another element between rules",
            Replaced(file, "\n\t<Rule", "\n\t<Other a='>' b=\"x\"><Rule/></Other>\n\t<Rule"), S::Matches },
        { "blank in the root's end tag", Replaced(file, "</VTRExpress>", "</VTRExpress  >"), S::Matches },
        { "comment after the root", file + "<!-- done -->\n", S::Matches },
        { "byte-order mark", "\xef\xbb\xbf" + file, S::Matches },
        { "no declaration", file.mid(file.indexOf('\n') + 1), S::Matches },
        { "Latin-1 declaration", Replaced(file, "UTF-8", "ISO-8859-1"), std::nullopt },
        { "document type", Replaced(file, "\n<VTRExpress", "\n<!DOCTYPE VTRExpress>\n<VTRExpress"), std::nullopt },
        { "text beside the rules", Replaced(file, "\n\t<Rule", "\n\tstray text\n\t<Rule"), std::nullopt },
        { "character data beside the rules", Replaced(file, "\n\t<Rule", "<![CDATA[x]]><Rule"), std::nullopt },
        { "second root element", file + "<VTRExpress/>", std::nullopt },
        { "rule changed", Replaced(file, "Severity=\"1\"", "Severity=\"2\""), S::Modified },
        { "character data in a rule", Replaced(file, "<Empty />", "<Empty><![CDATA[a<b]]></Empty>"), S::Modified },
        { "end tag of another name", Replaced(file, "</Constraint>", "</Constrain>"), S::Unreadable },
        { "cut short", file.left(file.size() - 30), S::Unreadable },
        { "cut inside the root's start tag", file.left(file.indexOf("RulesData")), S::Unreadable },
        { "nested too deep", Replaced(file, "<Empty />", deep), S::Unreadable },
        { "other root", Replaced(Replaced(file, "<VTRExpress", "<Other"), "</VTRExpress>", "</Other>"), S::Unreadable },
        { "not protected", Replaced(file, "Password=", "Pass="), S::Unprotected },
        { "empty", QByteArray(), S::Unreadable },
    };
    for (const auto& c : cases) {
        const QString path = m_env.Path(QStringLiteral("case.vtr"));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(c.text);
        out.close();
        const S checked = VerifyRuleFileFingerprint(path);
        EXPECT_EQ(checked, StatusOfAFullLoad(c.text)) << c.what;
        if (c.expected)
            EXPECT_EQ(checked, *c.expected) << c.what;
    }
}

TEST_F(RuleFileBytesTest, ReadingAFileGivesWhatAFullLoadGives)
{
    // A document type makes the reader load the whole file at once, so the
    // same text with one is what a full load gives; the module rules and a
    // user rule, in several blocks of reading.
    std::vector<CVtrRule*> rules;
    for (int i = 0; i < 12; ++i)
        rules.insert(rules.end(), m_rules.begin(), m_rules.end());
    rules.push_back(m_user[0].get());
    CVTRFileDetails record = Record(rules);
    const QString written = m_env.Path(QStringLiteral("blocks.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, written, false));
    const QByteArray file = ReadAll(written);
    ASSERT_GT(file.size(), 1024 * 1024) << "several blocks of reading";
    const qsizetype late = file.lastIndexOf("\n\t<Rule");
    QByteArray deep = "<A/>";
    for (int i = 0; i < 300; ++i)
        deep = "<D>" + deep + "</D>";

    const struct
    {
        const char* what;
        QByteArray text;
        bool reads;
    } cases[] = {
        { "as written", file, true },
        { "a module missing for some rules", Replaced(file, "Prismatic Mill Rules", "Gone Rules"), true },
        { "a rule changed", Replaced(file, "Severity=\"1\"", "Severity=\"2\""), true },
        { "comments between rules", Replaced(file, "\n\t<Rule", "\n\t<!-- c -->\n\t<Rule"), true },
        { "text beside the last rule", QByteArray(file).insert(late, "stray"), true },
        { "a rule inside another element, last",
            QByteArray(file).insert(file.lastIndexOf("\n</VTRExpress>"), "<Other><Rule Name=\"Inner\"></Rule></Other>"),
            true },
        { "cut short", file.left(file.size() - 30), false },
        { "the last rule nested too deep", QByteArray(file).insert(file.lastIndexOf("</Rule>"), deep), false },
    };
    struct Read
    {
        bool ok = false;
        QStringList rules;
        QStringList dropped;
        QString units;
        bool isProtected = false;
        QString password;
        size_t messages = 0;
        qsizetype logged = 0;
        bool operator==(const Read&) const = default;
    };
    const auto read = [this](const QByteArray& text) {
        const QString path = m_env.Path(QStringLiteral("case.vtr"));
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
        out.close();
        const qsizetype before = ReadLog().count(QLatin1String("rule has been added"));
        m_messages.shown.clear();
        Read result;
        CVTRFileDetails record;
        result.ok = ReadRuleFile(record, path);
        for (CVtrRule* rule : record.Rules())
            result.rules << QStringLiteral("%1 %2 %3 %4")
                                .arg(rule->GetSequenceNumber())
                                .arg(rule->GetRuleName(), rule->GetRuleModuleName())
                                .arg(rule->GetCriticality());
        for (const DroppedRuleElement& dropped : record.droppedRules)
            result.dropped << dropped.name;
        result.units = QStringLiteral("%1 %2").arg(record.units.LinearUnit).arg(record.units.AngularUnit);
        result.isProtected = record.passwordProtected;
        result.password = record.password;
        result.messages = m_messages.shown.size();
        result.logged = ReadLog().count(QLatin1String("rule has been added")) - before;
        ReleaseAll(record);
        return result;
    };
    for (const auto& c : cases) {
        const Read streamed = read(c.text);
        const Read whole = read(Replaced(c.text, "\n<VTRExpress", "\n<!DOCTYPE VTRExpress>\n<VTRExpress"));
        EXPECT_EQ(streamed.ok, c.reads) << c.what;
        EXPECT_TRUE(streamed == whole) << c.what << ": " << streamed.rules.size() << " rules, " << streamed.messages
                                       << " messages, " << streamed.logged << " logged; whole: " << whole.rules.size()
                                       << ", " << whole.messages << ", " << whole.logged;
        if (c.reads)
            EXPECT_EQ(streamed.logged, streamed.rules.size()) << c.what << ": every rule logged once";
    }
}
