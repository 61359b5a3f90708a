// Rule files with the rule modules the program ships, loaded as the program loads them.

#include "TestSupport.h"
#include "ConcreteVTRRule.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QFileInfo>
#include <QHash>

namespace {
class RealModulesTest : public ::testing::Test
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
        }
        ASSERT_GT(m_rules.size(), 10u);
    }
    void TearDown() override
    {
        for (CVtrRule* rule : m_rules)
            Release(rule);
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }
    void Release(CVtrRule*& rule)
    {
        if (PFN_DeleteRule del = m_deleters.value(rule->GetModulePath()))
            del(&rule);
    }
    void ReleaseAll(CVTRFileDetails& record)
    {
        for (CVtrRule* rule : record.Rules())
            Release(rule);
        record.ClearRules();
    }
    static QString Attribute(const QString& path, const char* name)
    {
        pugi::xml_document doc;
        if (!doc.load_file(path.toLocal8Bit().constData()))
            return QStringLiteral("<unreadable>");
        return QString::fromUtf8(doc.document_element().attribute(name).value());
    }

    ScopedTestEnv m_env;
    ScriptedMessages m_messages;
    std::unique_ptr<AppContext> m_app;
    QHash<QString, PFN_DeleteRule> m_deleters;
    std::vector<CVtrRule*> m_rules;
};
} // namespace

TEST_F(RealModulesTest, EveryRuleSurvivesAWriteAndReadUnchanged)
{
    CVTRFileDetails record;
    record.units = { 0, 0 };
    record.passwordProtected = true;
    record.password = QStringLiteral("abc");
    for (CVtrRule* rule : m_rules)
        record.AddRule(rule);
    const QString first = m_env.Path(QStringLiteral("all.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, first, false));
    EXPECT_EQ(VerifyRuleFileFingerprint(first), FingerprintStatus::Matches);

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, first));
    EXPECT_TRUE(m_messages.shown.empty());
    ASSERT_EQ(read.RuleCount(), record.RuleCount());
    for (int32_t n = 1; n <= read.RuleCount(); ++n) {
        EXPECT_EQ(read.RuleAt(n)->GetRuleName(), record.RuleAt(n)->GetRuleName()) << n;
        EXPECT_EQ(read.RuleAt(n)->GetRuleCategory(), record.RuleAt(n)->GetRuleCategory()) << n;
        EXPECT_EQ(read.RuleAt(n)->GetModulePath(), record.RuleAt(n)->GetModulePath()) << n;
        EXPECT_EQ(read.RuleAt(n)->GetSequenceNumber(), n);
    }

    // Writing the rules read gives the same rule elements, hence the same fingerprint.
    read.passwordProtected = true;
    read.password = QStringLiteral("abc");
    const QString second = m_env.Path(QStringLiteral("again.vtr"));
    ASSERT_TRUE(WriteRuleFile(read, second, false));
    EXPECT_EQ(Attribute(second, "RulesData"), Attribute(first, "RulesData"));
    EXPECT_EQ(Attribute(first, "RulesData").size(), 32);
    ReleaseAll(read);
}

TEST_F(RealModulesTest, RulesOfAModuleThatIsNotLoadedAreDropped)
{
    CVTRFileDetails record;
    for (CVtrRule* rule : m_rules)
        record.AddRule(rule);
    const QString path = m_env.Path(QStringLiteral("all.vtr"));
    ASSERT_TRUE(WriteRuleFile(record, path, false));

    // Take the first module out of the load list (the handle stays open for the teardown).
    PtrArray& loaded = m_app->Modules().loadedRuleModules;
    void* removed = loaded.GetAt(0);
    const QString removedPath = VtrLibrary::FileName(removed);
    loaded.RemoveAt(0);
    size_t expected = 0;
    for (CVtrRule* rule : m_rules)
        expected += rule->GetModulePath() != removedPath;

    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_EQ(static_cast<size_t>(read.RuleCount()), expected);
    for (CVtrRule* rule : read.Rules())
        EXPECT_NE(rule->GetModulePath(), removedPath);
    ReleaseAll(read);
    loaded.Add(removed);
}

TEST_F(RealModulesTest, AllRulesFileHoldsEveryInstalledRule)
{
    const QList<CVtrRule*> all(m_rules.begin(), m_rules.end());
    ASSERT_TRUE(RefreshAllRulesFile(all, { 0, 0 }, { 3, 0 }, true));
    const QString path = m_app->LastAllRulesFile();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(path.endsWith(QStringLiteral("/VTRPRO/NX/VTRPro_All_RuleFile.vtr"))) << path.toStdString();
    CVTRFileDetails read;
    ASSERT_TRUE(ReadRuleFile(read, path));
    EXPECT_EQ(read.units, (RuleUnits { 3, 0 }));
    EXPECT_EQ(static_cast<size_t>(read.RuleCount()), m_rules.size());
    for (CVtrRule* rule : read.Rules())
        EXPECT_EQ(rule->GetRuleUnits(), (RuleUnits { 3, 0 })) << rule->GetRuleName().toStdString();
    ReleaseAll(read);
}
