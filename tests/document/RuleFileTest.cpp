// Reading and writing rule files, protection, the all-rules file.

#include "HostileFiles.h"
#include "TestSupport.h"
#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "PLQSettingUtil.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "VtrXMLDocument.h"
#include "app/AppContext.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "document/RulePassword.h"
#include "modules/ModuleContract.h"
#include "settings/RuleUnitSettings.h"
#include "Utilities/Progress.h"
#include "Utilities/VTRUIUtils.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace {
const char kModule[] = "VtrTestModuleu.so";
const char* const kTestRules[] = { "TM - Hole Depth", "TM - Wall Thickness", "TM - Corner Radius" };

class RuleFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app = std::make_unique<AppContext>();
        m_handle = VtrLibrary::Load(QString::fromLatin1(kModule));
        ASSERT_NE(m_handle, nullptr) << VtrLibrary::LastError().toStdString();
        m_app->Modules().loadedRuleModules.Add(m_handle);
        m_deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(m_handle, ModuleExports::kDeleteRule));
        auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(m_handle, ModuleExports::kGetAllRules));
        ASSERT_NE(getAll, nullptr);
        PtrArray rules;
        getAll(&rules);
        for (int32_t i = 0; i < rules.GetSize(); ++i)
            m_moduleRules.push_back(static_cast<CVtrRule*>(rules.GetAt(i)));
        ASSERT_EQ(m_moduleRules.size(), 3u);
    }
    void TearDown() override
    {
        for (CVtrRule* rule : m_moduleRules)
            Release(rule);
        m_app.reset();
        VtrLibrary::Free(m_handle);
    }
    // Releases a rule the reader made: module rules through the module.
    void Release(CVtrRule* rule)
    {
        if (dynamic_cast<ConcreteVTRRule*>(rule)
            && rule->GetRuleModuleName() == QLatin1String("Interactive User Defined Rule"))
            delete rule;
        else
            m_deleteRule(&rule);
    }
    void ReleaseAll(CVTRFileDetails& record)
    {
        for (CVtrRule* rule : record.Rules())
            Release(rule);
        record.ClearRules();
    }
    CVTRFileDetails RecordWithRules(const std::vector<int>& which)
    {
        CVTRFileDetails record;
        record.name = m_env.Path(QStringLiteral("out.vtr"));
        record.createdBy = QStringLiteral("tester");
        record.createdOn = QStringLiteral("07/04/2026 13:05:09");
        record.units = { 3, 3 };
        for (int i : which) {
            m_moduleRules[static_cast<size_t>(i)]->SetSelected(1);
            record.AddRule(m_moduleRules[static_cast<size_t>(i)]);
        }
        return record;
    }
    QString Write(const QString& name, const QByteArray& text)
    {
        const QString path = m_env.Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    static QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    ScopedTestEnv m_env;
    ScriptedMessages m_messages;
    std::unique_ptr<AppContext> m_app;
    void* m_handle = nullptr;
    PFN_DeleteRule m_deleteRule = nullptr;
    std::vector<CVtrRule*> m_moduleRules;
};

QByteArray RuleElement(const char* name, const char* module = "Test Rules")
{
    return QByteArray("<Rule Name=\"") + name + "\" RuleModule=\"" + module + "\" Severity=\"2\"/>";
}

QByteArray RuleFile(const QByteArray& rootAttributes, const QByteArray& children)
{
    return "<?xml version=\"1.0\"?>\n<VTRExpress " + rootAttributes + ">" + children + "</VTRExpress>";
}
} // namespace

TEST_F(RuleFileTest, WriterLaysOutTheRootAndOneElementPerRuleInOrder)
{
    CVTRFileDetails record = RecordWithRules({ 2, 0, 1 });
    const QString path = m_env.Path(QStringLiteral("out.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.toLocal8Bit().constData()));
    pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.name(), "VTRExpress");
    std::vector<std::string> names;
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
        names.push_back(a.name());
    EXPECT_EQ(names, (std::vector<std::string> { "Name", "Createdby", "CreatedOn", "Unit", "AngularUnit", "Version" }));
    EXPECT_EQ(QString::fromUtf8(root.attribute("Name").value()), path);
    EXPECT_STREQ(root.attribute("Createdby").value(), "tester");
    EXPECT_STREQ(root.attribute("CreatedOn").value(), "07/04/2026 13:05:09");
    EXPECT_STREQ(root.attribute("Unit").value(), "3");
    EXPECT_STREQ(root.attribute("AngularUnit").value(), "3");
    EXPECT_STREQ(root.attribute("Version").value(), "v3.4");
    std::vector<std::string> rules;
    for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling()) {
        EXPECT_STREQ(r.name(), "Rule");
        rules.push_back(r.attribute("Name").value());
    }
    EXPECT_EQ(rules, (std::vector<std::string> { kTestRules[2], kTestRules[0], kTestRules[1] }));

    const QString log = ReadLog();
    for (const char* name : kTestRules)
        EXPECT_TRUE(log.contains(QStringLiteral("%1 has been added in the file to be saved").arg(QLatin1String(name))));
    // The writer hands the framework back what it had.
    EXPECT_EQ(VtrFrameworkXMLDoc(), nullptr);
}

TEST_F(RuleFileTest, ReaderRebuildsTheRulesNumberedFromOne)
{
    CVTRFileDetails written = RecordWithRules({ 1, 2 });
    const QString path = m_env.Path(QStringLiteral("out.vtr"));
    ASSERT_TRUE(WriteRuleFile(written, path, false));

    CVTRFileDetails record;
    ASSERT_TRUE(ReadRuleFile(record, path));
    ASSERT_EQ(record.RuleCount(), 2);
    EXPECT_EQ(record.RuleAt(1)->GetRuleName(), QLatin1String(kTestRules[1]));
    EXPECT_EQ(record.RuleAt(2)->GetRuleName(), QLatin1String(kTestRules[2]));
    EXPECT_EQ(record.RuleAt(1)->GetSequenceNumber(), 1);
    EXPECT_EQ(record.RuleAt(2)->GetSequenceNumber(), 2);
    EXPECT_EQ(record.RuleAt(0), nullptr);
    EXPECT_EQ(record.RuleAt(3), nullptr);
    EXPECT_EQ(record.RuleAt(1)->GetSelected(), 1);
    EXPECT_EQ(record.RuleAt(1)->GetModulePath(), VtrLibrary::FileName(m_handle));
    EXPECT_EQ(record.units, (RuleUnits { 3, 3 }));
    EXPECT_FALSE(record.passwordProtected);
    EXPECT_TRUE(m_messages.shown.empty());
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("%1 rule has been added").arg(QLatin1String(kTestRules[2]))));
    ReleaseAll(record);
}

TEST_F(RuleFileTest, ReaderEdgeCases)
{
    SaveDefaultRuleUnits({ 4, 2 }); // feet, degrees/minutes/seconds
    struct Case
    {
        const char* what;
        QByteArray file;
        RuleUnits units;
        bool protectedFile;
        std::vector<QString> rules;
    };
    const QByteArray two = RuleElement(kTestRules[1]) + RuleElement(kTestRules[0]);
    const Case cases[] = {
        { "password without RulesData opens unprotected", RuleFile("Unit=\"1\" AngularUnit=\"3\" Password=\"x\"", two),
            { 1, 3 }, false, { QLatin1String(kTestRules[1]), QLatin1String(kTestRules[0]) } },
        { "empty RulesData opens unprotected",
            RuleFile("Password=\"" + EncodePassword(QStringLiteral("abc")).toUtf8() + "\" RulesData=\"\"", two),
            { 4, 2 }, false, { QLatin1String(kTestRules[1]), QLatin1String(kTestRules[0]) } },
        { "non-numeric units keep the defaults", RuleFile("Unit=\"inches\" AngularUnit=\"\"", QByteArray()), { 4, 2 },
            false, {} },
        { "a leading number is taken", RuleFile("Unit=\" 7mm\" AngularUnit=\"-1\"", QByteArray()), { 7, -1 }, false,
            {} },
        { "rule of a module that is not loaded is dropped",
            RuleFile("Unit=\"0\"", RuleElement("Other Rule", "Other Module") + RuleElement(kTestRules[2])), { 0, 2 },
            false, { QLatin1String(kTestRules[2]) } },
        { "only elements named Rule count",
            RuleFile("", "<Note Name=\"TM - Hole Depth\" RuleModule=\"Test Rules\"/>text" + RuleElement(kTestRules[0])),
            { 4, 2 }, false, { QLatin1String(kTestRules[0]) } },
        { "user-defined rule gets its fixed id",
            RuleFile("", RuleElement("sm - minimum hole DIAMETER", "Interactive User Defined Rule")), { 4, 2 }, false,
            { QStringLiteral("sm - minimum hole DIAMETER") } },
    };
    for (const Case& c : cases) {
        const QString path = Write(QStringLiteral("edge.vtr"), c.file);
        CVTRFileDetails record;
        ASSERT_TRUE(ReadRuleFile(record, path)) << c.what;
        EXPECT_EQ(record.units, c.units) << c.what;
        EXPECT_EQ(record.passwordProtected, c.protectedFile) << c.what;
        ASSERT_EQ(static_cast<size_t>(record.RuleCount()), c.rules.size()) << c.what;
        for (size_t i = 0; i < c.rules.size(); ++i) {
            EXPECT_EQ(record.Rules()[i]->GetRuleName(), c.rules[i]) << c.what;
            EXPECT_EQ(record.Rules()[i]->GetSequenceNumber(), static_cast<int32_t>(i + 1)) << c.what;
        }
        if (QByteArray(c.what).startsWith("user-defined")) {
            auto* rule = dynamic_cast<ConcreteVTRRule*>(record.RuleAt(1));
            ASSERT_NE(rule, nullptr);
            EXPECT_EQ(rule->GetRuleId(), 19055);
            EXPECT_EQ(rule->GetCriticality(), 2);
        }
        ReleaseAll(record);
    }
    EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(RuleFileTest, UserDefinedRuleIdsByName)
{
    const struct
    {
        const char* name;
        int32_t id;
    } cases[] = {
        { "Curl - External Bend Distance", 19053 },
        { "SM - Minimum Distance between Holes", 19054 },
        { "SM - Minimum Hole Diameter", 19055 },
        { "SM - MINIMUM FLANGE WIDTH", 19056 },
        { "My Own Rule", 42 },
    };
    for (const auto& c : cases) {
        const QByteArray element
            = QByteArray("<Rule Name=\"") + c.name + "\" RuleModule=\"INTERACTIVE user defined rule\" RuleId=\"42\"/>";
        CVTRFileDetails record;
        ASSERT_TRUE(ReadRuleFile(record, Write(QStringLiteral("u.vtr"), RuleFile("", element))));
        ASSERT_EQ(record.RuleCount(), 1) << c.name;
        EXPECT_EQ(record.RuleAt(1)->GetRuleId(), c.id) << c.name;
        EXPECT_NE(dynamic_cast<ConcreteVTRRule*>(record.RuleAt(1)), nullptr);
        delete record.RuleAt(1);
    }
}

TEST_F(RuleFileTest, TheUserDefinedModuleNameIsComparedCaseAside)
{
    const struct
    {
        const char* module; // null: no attribute
        bool made;
    } cases[] = {
        { "Interactive User Defined Rule", true },
        { "iNTERACTIVE USER DEFINED RULE", true },
        { "Interactive U\u017fer Defined Rule", true }, // the long s folds to "s"
        { "Interactive User Defined Rul", false },
        { "Interactive User Defined Rule ", false },
        { "Interactive User Defined Rul\u00e9", false },
        { "", false },
        { nullptr, false },
    };
    for (const auto& c : cases) {
        const QByteArray module = c.module ? QByteArray(" RuleModule=\"") + c.module + "\"" : QByteArray();
        CVTRFileDetails record;
        ASSERT_TRUE(ReadRuleFile(
            record, Write(QStringLiteral("m.vtr"), RuleFile("", "<Rule Name=\"Mine\"" + module + "/>"))));
        EXPECT_EQ(record.RuleCount(), c.made ? 1 : 0) << (c.module ? c.module : "(none)");
        for (int i = 1; i <= record.RuleCount(); ++i)
            delete record.RuleAt(i);
    }
}

TEST_F(RuleFileTest, UnreadableFilesFailCleanly)
{
    QDir().mkpath(m_env.Path(QStringLiteral("adir.vtr")));
    const QString fifo = m_env.Path(QStringLiteral("fifo.vtr"));
    ASSERT_TRUE(MakeFifo(fifo));
    FifoWatchdog watchdog(fifo);
    const struct
    {
        const char* what;
        QString path;
    } cases[] = {
        { "not well-formed", Write(QStringLiteral("bad.vtr"), "<VTRExpress><Rule Name=\"x\"></VTRExpress>") },
        { "empty", Write(QStringLiteral("empty.vtr"), QByteArray()) },
        { "directory", m_env.Path(QStringLiteral("adir.vtr")) },
        { "another root", Write(QStringLiteral("other.vtr"), "<Rules><Rule Name=\"TM - Hole Depth\"/></Rules>") },
        { "missing", m_env.Path(QStringLiteral("missing.vtr")) },
        { "empty path", QString() },
        { "binary", Write(QStringLiteral("bin.vtr"), QByteArray("\x00\xff\xfe<\x01", 5)) },
        // The framework reads a rule's items recursively: such a file must be
        // refused, not overflow the stack.
        { "60,000 nested elements", Write(QStringLiteral("deep.vtr"), DeeplyNestedRuleFile(60000)) },
        { "nested one level too deep",
            Write(QStringLiteral("deeper.vtr"), DeeplyNestedRuleFile(VtrXMLDocument::kMaxNestingDepth - 1)) },
        // Reading a FIFO would wait for a writer for ever.
        { "FIFO", fifo },
    };
    for (const auto& c : cases) {
        CVTRFileDetails record;
        record.units = { 5, 1 };
        EXPECT_FALSE(ReadRuleFile(record, c.path)) << c.what;
        EXPECT_EQ(record.RuleCount(), 0) << c.what;
        EXPECT_EQ(record.units, (RuleUnits { 5, 1 })) << c.what;
        QString detail;
        EXPECT_EQ(VerifyRuleFileFingerprint(c.path, &detail), FingerprintStatus::Unreadable) << c.what;
        EXPECT_FALSE(detail.isEmpty()) << c.what;
    }
    EXPECT_FALSE(watchdog.Finish()) << "the FIFO was opened for reading";
    EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(RuleFileTest, NestingUpToTheLimitIsReadAndWrittenBack)
{
    // Rule, then the items: the deepest item sits at the limit.
    const QString path = Write(QStringLiteral("deep.vtr"), DeeplyNestedRuleFile(VtrXMLDocument::kMaxNestingDepth - 2));
    CVTRFileDetails record;
    ASSERT_TRUE(ReadRuleFile(record, path));
    ASSERT_EQ(record.RuleCount(), 1);
    record.passwordProtected = true;
    const QString again = m_env.Path(QStringLiteral("again.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, again, false));
    EXPECT_EQ(VerifyRuleFileFingerprint(again), FingerprintStatus::Matches);
    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, again));
    ASSERT_EQ(read.RuleCount(), 1);
    auto* rule = dynamic_cast<ConcreteVTRRule*>(read.RuleAt(1));
    ASSERT_NE(rule, nullptr);
    int depth = 0;
    for (const VtrRuleItem* item = rule->Items().empty() ? nullptr : &rule->Items().front(); item;
         item = item->children.empty() ? nullptr : &item->children.front())
        ++depth;
    EXPECT_EQ(depth, VtrXMLDocument::kMaxNestingDepth - 2);
    EXPECT_TRUE(m_messages.shown.empty());
    ReleaseAll(record);
    ReleaseAll(read);
}

TEST_F(RuleFileTest, WriterFailsWithoutContextPathOrWritableTarget)
{
    CVTRFileDetails record = RecordWithRules({ 0 });
    EXPECT_FALSE(WriteRuleFile(record, QString(), false));
    EXPECT_FALSE(WriteRuleFile(record, m_env.Path(QStringLiteral("no/such/folder/f.vtr")), false));
    // A directory in the way is not replaced.
    QDir().mkpath(m_env.Path(QStringLiteral("taken.vtr")));
    EXPECT_FALSE(WriteRuleFile(record, m_env.Path(QStringLiteral("taken.vtr")), false));
    EXPECT_TRUE(QFileInfo(m_env.Path(QStringLiteral("taken.vtr"))).isDir());

    m_app.reset();
    EXPECT_FALSE(WriteRuleFile(record, m_env.Path(QStringLiteral("f.vtr")), false));
    EXPECT_FALSE(QFile::exists(m_env.Path(QStringLiteral("f.vtr"))));
    m_app = std::make_unique<AppContext>();
}

TEST_F(RuleFileTest, ProtectedFileCarriesPasswordAndVerifiableFingerprint)
{
    CVTRFileDetails record = RecordWithRules({ 0, 1, 2 });
    record.passwordProtected = true;
    record.password = QStringLiteral("abc");
    const QString path = m_env.Path(QStringLiteral("p.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.toLocal8Bit().constData()));
    pugi::xml_node root = doc.document_element();
    std::vector<std::string> names;
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
        names.push_back(a.name());
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "Name", "Createdby", "CreatedOn", "Unit", "AngularUnit", "Version", "Password", "RulesData" }));
    EXPECT_EQ(QString::fromUtf8(root.attribute("Password").value()), EncodePassword(QStringLiteral("abc")));
    const QString fingerprint = QString::fromUtf8(root.attribute("RulesData").value());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(fingerprint).hasMatch());
    EXPECT_EQ(VerifyRuleFileFingerprint(path), FingerprintStatus::Matches);

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_TRUE(read.passwordProtected);
    EXPECT_EQ(read.password, QStringLiteral("abc"));
    EXPECT_EQ(read.RuleCount(), 3);
    EXPECT_TRUE(m_messages.shown.empty());
    ReleaseAll(read);

    // The fingerprint does not depend on how the file is indented.
    QByteArray reindented;
    {
        struct Sink : pugi::xml_writer
        {
            QByteArray* out;
            void write(const void* d, size_t n) override { out->append(static_cast<const char*>(d), qsizetype(n)); }
        } sink;
        sink.out = &reindented;
        doc.save(sink, "   ", pugi::format_indent | pugi::format_indent_attributes);
    }
    const QString reindentedPath = Write(QStringLiteral("reindented.vtr"), reindented);
    EXPECT_EQ(VerifyRuleFileFingerprint(reindentedPath), FingerprintStatus::Matches);

    // The same rules saved twice (at another time) give the same fingerprint.
    record.createdOn = QStringLiteral("12/31/2030 23:59:59");
    const QString again = m_env.Path(QStringLiteral("again.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, again, false));
    pugi::xml_document doc2;
    ASSERT_TRUE(doc2.load_file(again.toLocal8Bit().constData()));
    EXPECT_EQ(QString::fromUtf8(doc2.document_element().attribute("RulesData").value()), fingerprint);

    // Other rules, other fingerprint; other case of the password, other attribute.
    CVTRFileDetails other = RecordWithRules({ 0, 1 });
    other.passwordProtected = true;
    other.password = QStringLiteral("ABC");
    const QString otherPath = m_env.Path(QStringLiteral("other.vtr"));
    ASSERT_TRUE(WriteRuleFile(other, otherPath, false));
    pugi::xml_document doc3;
    ASSERT_TRUE(doc3.load_file(otherPath.toLocal8Bit().constData()));
    EXPECT_NE(QString::fromUtf8(doc3.document_element().attribute("RulesData").value()), fingerprint);
    EXPECT_STRNE(doc3.document_element().attribute("Password").value(), root.attribute("Password").value());
}

TEST_F(RuleFileTest, EditedProtectedFileWarnsAndStillOpens)
{
    CVTRFileDetails record = RecordWithRules({ 0, 1 });
    record.passwordProtected = true;
    record.password = QStringLiteral("abc");
    const QString path = m_env.Path(QStringLiteral("p.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));

    QByteArray text = ReadAll(path);
    ASSERT_TRUE(text.contains("Severity=\"3\""));
    text.replace(text.indexOf("Severity=\"3\""), 12, "Severity=\"1\"");
    Write(QStringLiteral("p.vtr"), text);
    EXPECT_EQ(VerifyRuleFileFingerprint(path), FingerprintStatus::Modified);

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("Rule File is modifed..."));
    EXPECT_EQ(m_messages.shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(read.passwordProtected);
    EXPECT_EQ(read.RuleCount(), 2);
    ReleaseAll(read);
}

TEST_F(RuleFileTest, ProtectedFileWithoutRulesHasEmptyFingerprintAndOpensUnprotected)
{
    CVTRFileDetails record = RecordWithRules({});
    record.passwordProtected = true;
    record.password = QStringLiteral("abc");
    const QString path = m_env.Path(QStringLiteral("empty.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.toLocal8Bit().constData()));
    ASSERT_TRUE(doc.document_element().attribute("RulesData"));
    EXPECT_STREQ(doc.document_element().attribute("RulesData").value(), "");
    EXPECT_EQ(VerifyRuleFileFingerprint(path), FingerprintStatus::Unprotected);
    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_FALSE(read.passwordProtected);
    EXPECT_TRUE(read.password.isEmpty());
}

TEST_F(RuleFileTest, AllRulesPathFollowsTheHost)
{
    const struct
    {
        const char* host;
        const char* tail;
    } cases[] = {
        { "1", "/VTRPRO/SW/VTRPro_All_RuleFile.vtr" },
        { "2", "/VTRPRO/Creo/VTRPro_All_RuleFile.vtr" },
        { "3", "/VTRPRO/NX/VTRPro_All_RuleFile.vtr" },
        { "4", "/VTRPRO/CGM/VTRPro_All_RuleFile.vtr" },
        { "5", "/VTRPRO/Catia/VTRPro_All_RuleFile.vtr" },
        { "6", "/VTRPRO//VTRPro_All_RuleFile.vtr" },
    };
    for (const auto& c : cases) {
        m_env.Set("VTRPRO_CAD_TYPE", QString::fromLatin1(c.host));
        const QString path = GetAllRulesFilePath();
        EXPECT_EQ(path, m_env.AppData() + QLatin1String(c.tail)) << c.host;
        EXPECT_TRUE(QFileInfo(QFileInfo(path).absolutePath()).isDir()) << c.host;
    }
    // Without APPDATA the user's data folder takes its place.
    m_env.Set("VTRPRO_CAD_TYPE", QStringLiteral("3"));
    m_env.Set("APPDATA", QString());
    m_env.Set("XDG_DATA_HOME", m_env.Path(QStringLiteral("xdg")));
    EXPECT_EQ(GetAllRulesFilePath(), m_env.Path(QStringLiteral("xdg/VTRPRO/NX/VTRPro_All_RuleFile.vtr")));
}

TEST_F(RuleFileTest, RefreshConvertsAndWritesEveryRuleInCurrentUnits)
{
    m_env.Set("VTRPRO_CAD_TYPE", QStringLiteral("3"));
    const QList<CVtrRule*> all(m_moduleRules.begin(), m_moduleRules.end());
    ASSERT_TRUE(RefreshAllRulesFile(all, { 0, 0 }, { 3, 3 }, true));
    const QString path = GetAllRulesFilePath();
    EXPECT_EQ(m_app->AllRulesPath(), path);
    EXPECT_EQ(m_app->LastAllRulesFile(), path);
    EXPECT_EQ(m_app->AllRules(), all);
    for (CVtrRule* rule : m_moduleRules)
        EXPECT_EQ(rule->GetRuleUnits(), (RuleUnits { 3, 3 }));

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_EQ(read.units, (RuleUnits { 3, 3 }));
    EXPECT_EQ(read.RuleCount(), 3);
    ReleaseAll(read);

    // Without an active document the old file goes and none is written.
    EXPECT_FALSE(RefreshAllRulesFile(all, { 3, 3 }, { 0, 0 }, false));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(m_app->AllRulesPath(), path);
}

TEST_F(RuleFileTest, FingerprintSurvivesTheWritersIndentationForAnyContent)
{
    // Elements with text around children, blanks inside values and escaped
    // characters must print the same after the indented file is read back.
    const QByteArray elements[] = {
        "<Rule Name=\"SM - Minimum Flange Width\" RuleModule=\"Interactive User Defined Rule\">"
        "<Parameter Name=\"w\" UnitType=\"Length\">lead<Value> 1.5 </Value>tail<Recom>2</Recom></Parameter></Rule>",
        "<Rule Name=\"My &amp; &lt;Rule&gt;\" RuleModule=\"Interactive User Defined Rule\" Note=\"a&#9;b&#10;c\">"
        "<Message>line one\nline two</Message><Empty/></Rule>",
        "<Rule Name=\"Returns\" RuleModule=\"Interactive User Defined Rule\" Note=\"a&#13;b&#13;&#10;c\">"
        "<Message Line=\"&#13;\">one&#13;&#10;two&#13;three&#13;</Message></Rule>",
    };
    for (const QByteArray& element : elements) {
        CVTRFileDetails source;
        ASSERT_TRUE(ReadRuleFile(source, Write(QStringLiteral("src.vtr"), RuleFile("", element))));
        ASSERT_EQ(source.RuleCount(), 1);
        source.passwordProtected = true;
        source.password = QStringLiteral("pw");
        const QString path = m_env.Path(QStringLiteral("indented.vtr"));
        ASSERT_TRUE(WriteRuleFile(source, path, false));
        EXPECT_EQ(VerifyRuleFileFingerprint(path), FingerprintStatus::Matches) << ReadAll(path).toStdString();
        delete source.RuleAt(1);
    }
}

TEST_F(RuleFileTest, LineBreaksAndTabsSurviveAProtectedSave)
{
    // Everything an XML reader would otherwise turn into a line feed or a blank.
    const QString texts[] = {
        QStringLiteral("one\rtwo"),
        QStringLiteral("one\r\ntwo"),
        QStringLiteral("\r\nleading and trailing\r"),
        QStringLiteral("\r"),
        QStringLiteral("tab\there, line feed\nhere"),
        QStringLiteral("mixed\r\n\t\r\r\n\n end"),
    };
    auto* rule = new ConcreteVTRRule();
    rule->SetRuleName(QStringLiteral("Line Breaks"));
    rule->SetDisplayName(QStringLiteral("Line\r\nBreaks"));
    rule->SetRuleModuleName(QStringLiteral("Interactive User Defined Rule"));
    rule->SetSelected(1);
    rule->ExtraAttributes().emplace_back(QStringLiteral("Note"), QStringLiteral("a\rb\r\nc"));
    for (const QString& text : texts) {
        VtrRuleItem item;
        item.name = QStringLiteral("Value");
        item.attributes.emplace_back(QStringLiteral("Text"), text);
        item.text = text;
        rule->Items().push_back(item);
    }
    CVTRFileDetails record;
    record.units = { 0, 0 };
    record.passwordProtected = true;
    record.password = QStringLiteral("pw");
    record.AddRule(rule);
    const QString path = m_env.Path(QStringLiteral("returns.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));
    EXPECT_FALSE(ReadAll(path).contains('\r')) << "carriage returns are written as references";

    EXPECT_EQ(VerifyRuleFileFingerprint(path), FingerprintStatus::Matches);
    QProcess tool;
    tool.start(BinDir() + QStringLiteral("/vtrpro-rules"), { QStringLiteral("verify"), path });
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardOutput().toStdString();

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_TRUE(m_messages.shown.empty()) << "no \"Rule File is modifed...\" warning";
    EXPECT_TRUE(read.passwordProtected);
    ASSERT_EQ(read.RuleCount(), 1);
    auto* back = dynamic_cast<ConcreteVTRRule*>(read.RuleAt(1));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetDisplayName(), rule->GetDisplayName());
    EXPECT_EQ(back->ExtraAttributes(), rule->ExtraAttributes());
    ASSERT_EQ(back->Items().size(), std::size(texts));
    for (size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(back->Items()[i].text, texts[i]) << i;
        EXPECT_EQ(back->Items()[i].Attribute(QStringLiteral("Text")), texts[i]) << i;
    }
    ReleaseAll(read);
    delete rule;
}

TEST(RuleFileDetails, CreatedOnIsMonthDayYearAnd24HourTime)
{
    const struct
    {
        QDateTime when;
        const char* text;
    } cases[] = {
        { QDateTime(QDate(2026, 7, 4), QTime(13, 5, 9)), "07/04/2026 13:05:09" },
        { QDateTime(QDate(999, 12, 31), QTime(0, 0, 0)), "12/31/0999 00:00:00" },
        { QDateTime(QDate(2030, 1, 2), QTime(23, 59, 59)), "01/02/2030 23:59:59" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatCreatedOn(c.when), QLatin1String(c.text));
    EXPECT_FALSE(LoggedOnUserName().isEmpty());
}

namespace {
// Records what long work tells the progress sink.
struct RecordingSink : IProgressSink
{
    QStringList events;
    void Begin(const QString& label, int64_t total) override
    {
        events << QStringLiteral("begin %1 %2").arg(label).arg(total);
    }
    void Advance(int64_t done) override { events << QStringLiteral("at %1").arg(done); }
    void End() override { events << QStringLiteral("end"); }
};
} // namespace

TEST_F(RuleFileTest, ReadingAndWritingReportTheirProgress)
{
    QByteArray children;
    for (int i = 0; i < 200; ++i)
        children += RuleElement(kTestRules[i % 3]);
    const QString path = Write(QStringLiteral("many.vtr"), RuleFile("Unit=\"0\" AngularUnit=\"0\"", children));

    RecordingSink sink;
    SetProgressSink(&sink);
    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, path);
    const QStringList reading = sink.events;
    sink.events.clear();
    const bool written = read && WriteRuleFile(record, m_env.Path(QStringLiteral("copy.vtr")), false);
    SetProgressSink(nullptr);
    const size_t count = record.Rules().size();
    ReleaseAll(record);

    ASSERT_TRUE(read);
    ASSERT_TRUE(written);
    EXPECT_EQ(count, 200u);
    // Reading does not know the count ahead; both report every 64th rule.
    EXPECT_EQ(reading,
        (QStringList { QStringLiteral("begin Reading rules 0"), QStringLiteral("at 64"), QStringLiteral("at 128"),
            QStringLiteral("at 192"), QStringLiteral("end") }));
    EXPECT_EQ(sink.events,
        (QStringList { QStringLiteral("begin Saving rules 200"), QStringLiteral("at 64"), QStringLiteral("at 128"),
            QStringLiteral("at 192"), QStringLiteral("end") }));
}

namespace {
// A rule that knows its element only through GetXML: a further child, and
// optionally another element name.
class BuiltOnlyRule : public CVtrRule
{
public:
    explicit BuiltOnlyRule(const char* elementName)
        : m_elementName(elementName)
    {
        SetRuleName(QStringLiteral("Built <%1>").arg(QLatin1String(elementName)));
    }
    VtrXMLNode* GetXML() override
    {
        VtrXMLDocument* doc = VtrFrameworkXMLDoc();
        VtrXMLNode* node = doc ? doc->CreateNode(QString::fromLatin1(m_elementName)) : nullptr;
        if (!node)
            return nullptr;
        WriteCommonAttributes(node);
        pugi::xml_node child = node->Native().append_child("Extra");
        child.append_attribute("Text").set_value("a\r\"b\"");
        child.append_child(pugi::node_pcdata).set_value("line\r\nnext & more");
        return node;
    }

private:
    const char* m_elementName;
};
} // namespace

TEST_F(RuleFileTest, RulesThatOnlyBuildTheirElementAreWrittenAsTheTreeWouldBe)
{
    BuiltOnlyRule built("Rule");
    BuiltOnlyRule other("Note");
    const struct
    {
        const char* what;
        std::vector<CVtrRule*> rules;
        bool isProtected;
    } cases[] = {
        { "mixed, protected", { m_moduleRules[1], &built, m_moduleRules[2], &other }, true },
        { "mixed", { m_moduleRules[1], &built, &other }, false },
        { "no rule element to fingerprint", { &other }, true },
        { "nothing", {}, true },
    };
    for (const auto& c : cases) {
        CVTRFileDetails record = RecordWithRules({});
        for (CVtrRule* rule : c.rules)
            record.AddRule(rule);
        record.passwordProtected = c.isProtected;
        record.password = QStringLiteral("abc");
        const QString path = m_env.Path(QStringLiteral("built.vtr"));
        ASSERT_TRUE(WriteRuleFile(record, path, false)) << c.what;

        // The same file made the long way: the whole tree built, fingerprinted and saved.
        VtrXMLDocument tree;
        SetXMLDoc(&tree);
        VtrXMLNode* root = tree.CreateNode(QStringLiteral("VTRExpress"));
        ASSERT_TRUE(tree.AppendNode(root));
        root->AddAttribute(QStringLiteral("Name"), record.name);
        root->AddAttribute(QStringLiteral("Createdby"), record.createdBy);
        root->AddAttribute(QStringLiteral("CreatedOn"), record.createdOn);
        root->AddAttribute(QStringLiteral("Unit"), QStringLiteral("3"));
        root->AddAttribute(QStringLiteral("AngularUnit"), QStringLiteral("3"));
        root->AddAttribute(QStringLiteral("Version"), QStringLiteral("v3.4"));
        for (CVtrRule* rule : record.Rules()) {
            std::unique_ptr<VtrXMLNode> element(rule->GetXML());
            ASSERT_TRUE(root->AppendNode(element.get()));
        }
        if (c.isProtected) {
            root->AddAttribute(QStringLiteral("Password"), EncodePassword(record.password));
            root->AddAttribute(QStringLiteral("RulesData"), RulesFingerprint(root));
        }
        SetXMLDoc(nullptr);
        delete root;
        const QString expected = m_env.Path(QStringLiteral("expected.vtr"));
        ASSERT_TRUE(tree.Save(expected));
        EXPECT_EQ(ReadAll(path), ReadAll(expected)) << c.what;
        record.ClearRules();
    }
}

TEST_F(RuleFileTest, ARuleTooDeepForAFileLeavesTheOldFileAlone)
{
    ConcreteVTRRule deep;
    deep.SetRuleName(QStringLiteral("Deep"));
    VtrRuleItem top;
    top.name = QStringLiteral("L");
    for (int i = 1; i < VtrXMLDocument::kMaxNestingDepth; ++i) {
        VtrRuleItem outer;
        outer.name = QStringLiteral("L");
        outer.children.push_back(std::move(top));
        top = std::move(outer);
    }
    deep.Items() = { top };
    const QString path = Write(QStringLiteral("kept.vtr"), "old contents");
    for (const bool protect : { false, true }) {
        CVTRFileDetails record = RecordWithRules({ 0 });
        record.AddRule(&deep);
        record.passwordProtected = protect;
        EXPECT_FALSE(WriteRuleFile(record, path, false)) << protect;
        EXPECT_EQ(ReadAll(path), QByteArray("old contents")) << protect;
        EXPECT_TRUE(ReadLog().contains(QLatin1String("nested deeper than")));
        record.ClearRules();
    }
}
