// What unloading rule modules takes from the open files: the libraries a
// registration leaves out, the ticked rules of those libraries, and the
// question that names each file and its count.

#include "TestSupport.h"
#include "app/ModuleReload.h"

#include "ConcreteVTRRule.h"
#include "PtrArray.h"
#include "VtrLibrary.h"
#include "document/OrderedRuleSet.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {
// Rules that name a library path each, ticked in a set that does not own them.
struct TickedRules
{
    std::deque<ConcreteVTRRule> rules;
    OrderedRuleSet ticked;

    void Add(const QString& modulePath, const QString& name)
    {
        ConcreteVTRRule& rule = rules.emplace_back();
        rule.SetModulePath(modulePath);
        rule.SetRuleName(name);
        ticked.Append(&rule);
    }
};
} // namespace

TEST(TickedRulesLost, CountsTheTickedRulesOfTheLibrariesThatGo)
{
    const QString sheet = QStringLiteral("/opt/vtrpro/VtrSMRulesu.so");
    const QString mill = QStringLiteral("/opt/vtrpro/VtrMillRulesu.so");
    TickedRules doc;
    doc.Add(sheet, QStringLiteral("SM - Minimum Hole Diameter"));
    doc.Add(mill, QStringLiteral("Minimum Corner Radius"));
    doc.Add(sheet, QStringLiteral("SM - Minimum Bend Radius"));
    doc.Add(QString(), QStringLiteral("A user-defined rule")); // no library
    struct Case
    {
        const char* name;
        QSet<QString> libraries;
        int expected;
    };
    const Case cases[] = {
        { "nothing goes", {}, 0 },
        { "sheet metal goes", { sheet }, 2 },
        { "both go", { sheet, mill }, 3 },
        { "a library the file does not use", { QStringLiteral("/opt/vtrpro/VTRTubingRulesu.so") }, 0 },
        // Paths are compared exactly: another letter case is another file here.
        { "letter case differs", { QStringLiteral("/opt/vtrpro/vtrsmrulesu.so") }, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CountRulesOfLibraries(doc.ticked, c.libraries), c.expected);
    }
    // An unticked rule does not count.
    doc.ticked.Remove(&doc.rules[0]);
    EXPECT_EQ(CountRulesOfLibraries(doc.ticked, { sheet }), 1);
}

TEST(TickedRulesLost, TheLibrariesLeftOutAreThoseTheRegistrationDoesNotKeep)
{
    void* first = VtrLibrary::Load(BinDir() + QStringLiteral("/VtrTestModuleu.so"));
    void* second = VtrLibrary::Load(BinDir() + QStringLiteral("/VtrTestModuleNoDbListu.so"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    PtrArray loaded;
    loaded.Add(first);
    loaded.Add(second);
    EXPECT_TRUE(LibrariesLeftOut(loaded, { first, second }).isEmpty());
    EXPECT_EQ(LibrariesLeftOut(loaded, { second }), QSet<QString> { VtrLibrary::FileName(first) });
    EXPECT_EQ(LibrariesLeftOut(loaded, {}),
        (QSet<QString> { VtrLibrary::FileName(first), VtrLibrary::FileName(second) }));
    VtrLibrary::Free(second);
    VtrLibrary::Free(first);
}

TEST(TickedRulesLost, TheQuestionNamesEachFileAndItsCount)
{
    struct Case
    {
        const char* name;
        std::vector<TickedRulesLost> lost;
        MsgAnswer answer;
        bool goOn;
        QStringList lines; // in the question
    };
    const Case cases[] = {
        { "nothing lost: no question", {}, MsgAnswer::No, true, {} },
        { "one file, one rule, Yes", { { QStringLiteral("/home/u/a.vtr"), 1 } }, MsgAnswer::Yes, true,
            { QStringLiteral("/home/u/a.vtr: 1 ticked rule\n") } },
        { "two files, No", { { QStringLiteral("/home/u/a.vtr"), 3 }, { QStringLiteral("VTRPro2"), 1 } },
            MsgAnswer::No, false,
            { QStringLiteral("/home/u/a.vtr: 3 ticked rules"), QStringLiteral("VTRPro2: 1 ticked rule") } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedMessages messages;
        messages.Answer(c.answer);
        EXPECT_EQ(ConfirmTickedRulesLost(c.lost), c.goOn);
        ASSERT_EQ(messages.shown.size(), c.lost.empty() ? size_t(0) : size_t(1));
        if (c.lost.empty())
            continue;
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
        for (const QString& line : c.lines)
            EXPECT_TRUE(messages.shown[0].text.contains(line)) << messages.shown[0].text.toStdString();
    }
}

TEST(TickedRulesLost, AQuestionOverManyFilesStaysShort)
{
    std::vector<TickedRulesLost> lost;
    for (int i = 1; i <= 40; ++i)
        lost.push_back({ QStringLiteral("/files/f%1.vtr").arg(i), i });
    ScriptedMessages messages;
    EXPECT_TRUE(ConfirmTickedRulesLost(lost));
    ASSERT_EQ(messages.shown.size(), size_t(1));
    const QString& text = messages.shown[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("/files/f12.vtr: 12 ticked rules")));
    EXPECT_FALSE(text.contains(QStringLiteral("/files/f13.vtr")));
    EXPECT_TRUE(text.contains(QStringLiteral("and 28 more files")));
    EXPECT_LT(text.count(QLatin1Char('\n')), 20);
}
