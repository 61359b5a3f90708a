// The help pages beside the program: a page for every rule of every module
// and every topic the program opens, each showing what it should, and no link
// between pages that leads nowhere.

#include "TestSupport.h"
#include "VTRDataHelper.h"

#include "FrameworkExports.h"
#include "PtrArray.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "Utilities/HelpTopics.h"
#include "modules/ModuleContract.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace {
QString HelpFolder()
{
    return BinDir() + QStringLiteral("/res/english/vtrpro");
}

QString ReadPage(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

struct ModuleRuleInfo
{
    QString library;
    int helpId;
    QString displayName;
    QString moduleName;
    QString category;
};

// Every rule the built rule modules offer.
std::vector<ModuleRuleInfo> EveryModuleRule()
{
    std::vector<ModuleRuleInfo> found;
    const QStringList libraries = QDir(BinDir()).entryList(
        { QStringLiteral("*Rulesu") + QLatin1String(VtrLibrary::kSuffix) }, QDir::Files, QDir::Name);
    for (const QString& library : libraries) {
        void* handle = VtrLibrary::Load(BinDir() + QLatin1Char('/') + library);
        if (!handle)
            continue;
        auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(handle, ModuleExports::kGetAllRules));
        auto release = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule));
        if (getAll && release) {
            PtrArray rules;
            getAll(&rules);
            for (int32_t i = 0; i < rules.GetSize(); ++i) {
                auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
                found.push_back({ library, rule->GetHelpId(), rule->GetDisplayName(), rule->GetRuleModuleName(),
                    rule->GetRuleCategory() });
                release(&rule);
            }
        }
        VtrLibrary::Free(handle);
    }
    return found;
}
} // namespace

TEST(HelpPages, EveryRuleOfEveryModuleHasItsOwnPage)
{
    const std::vector<ModuleRuleInfo> rules = EveryModuleRule();
    ASSERT_GE(rules.size(), 300u) << "the rule modules must be built beside the tests";
    QHash<int, QString> owner;
    QStringList problems;
    for (const ModuleRuleInfo& r : rules) {
        const QString where = QStringLiteral("%1 \"%2\" (%3)").arg(r.library, r.displayName).arg(r.helpId);
        if (owner.contains(r.helpId))
            problems << where + QStringLiteral(": help id also used by ") + owner.value(r.helpId);
        owner.insert(r.helpId, where);
        const QString page = ReadPage(HelpFolder() + QStringLiteral("/%1.html").arg(r.helpId));
        if (page.isEmpty()) {
            problems << where + QStringLiteral(": no page");
            continue;
        }
        for (const QString& text : { r.displayName, r.moduleName, r.category })
            if (!page.contains(text.toHtmlEscaped()))
                problems << where + QStringLiteral(": the page does not show \"%1\"").arg(text);
        // Why the rule matters: a paragraph of its own on every page.
        static const QRegularExpression kWhy(
            QStringLiteral("<h2>Why it matters in manufacture</h2>\\s*<p>[^<]{40,}</p>"));
        if (!kWhy.match(page).hasMatch())
            problems << where + QStringLiteral(": no paragraph on why the rule matters");
    }
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(QLatin1Char('\n')));
}

TEST(HelpPages, RulePagesTabulateEachParameter)
{
    // A plain limit, a ratio without unit and a limit under a constraint.
    const struct
    {
        int helpId;
        const char* row;
    } cases[] = {
        { 20301,
            "<tr><td>Minimum hole "
            "diameter</td><td>&gt;=</td><td>1.5</td><td>2</td><td>1</td><td>millimeters</td></tr>" },
        { 20301,
            "<tr><td>Hole diameter to thickness "
            "ratio</td><td>&gt;=</td><td>1</td><td>1.2</td><td>0.8</td><td></td></tr>" },
        { 20309,
            "<tr><td>Minimum inside bend radius [Material = Aluminium 6061-T6]</td><td>&gt;=</td><td>3</td><td>4</td>"
            "<td>2</td><td>millimeters</td></tr>" },
    };
    for (const auto& c : cases) {
        const QString page = ReadPage(HelpFolder() + QStringLiteral("/%1.html").arg(c.helpId));
        EXPECT_TRUE(page.contains(QString::fromUtf8(c.row))) << c.helpId << ": " << c.row;
        EXPECT_TRUE(page.contains(QStringLiteral("<td>High</td>"))) << c.helpId << " shows its criticality";
    }
}

TEST(HelpPages, EveryTopicTheProgramOpensHasItsOwnPage)
{
    // Through the same look-up as the program: a topic without a page would
    // fall back to the contents page.
    QString shown;
    SetVTRHelpViewer([&shown](const QString& page) {
        shown = page;
        return true;
    });
    ScopedTestEnv env;
    env.Set("VTRPRO_HELP_OPENER", QString());
    const QString helpFile = BinDir() + QStringLiteral("/res/english/vtrpro.chm");
    for (int id : HelpTopic::All) {
        shown.clear();
        int32_t result = 0;
        ShowVTRHelp(&helpFile, id, &result);
        EXPECT_EQ(result, 1) << id;
        EXPECT_EQ(shown, HelpFolder() + QStringLiteral("/%1.html").arg(id));
        const QString page = ReadPage(shown);
        static const QRegularExpression kHeading(QStringLiteral("<h1>[^<]+</h1>"));
        EXPECT_TRUE(kHeading.match(page).hasMatch()) << id << " has a heading";
    }
    SetVTRHelpViewer({});
}

TEST(HelpPages, AStoredRuleOpensThePageOfTheCommandsThatMakeIt)
{
    QString shown;
    SetVTRHelpViewer([&shown](const QString& page) {
        shown = page;
        return true;
    });
    ScopedTestEnv env;
    env.Set("VTRPRO_HELP_OPENER", QString());
    const QString helpFile = BinDir() + QStringLiteral("/res/english/vtrpro.chm");
    const struct
    {
        int32_t helpId;
        const char* page;
    } cases[] = {
        { vtr_db::kFirstStoredRuleHelpId, "1000.html" },
        { vtr_db::kFirstStoredRuleHelpId + 41, "1000.html" },
        { vtr_db::kLastStoredRuleHelpId + 1, "index.html" }, // no page and no stored rule
        { 20301, "20301.html" },
    };
    for (const auto& c : cases) {
        shown.clear();
        int32_t result = 0;
        ShowVTRHelp(&helpFile, c.helpId, &result);
        EXPECT_EQ(result, 1) << c.helpId;
        EXPECT_EQ(shown, HelpFolder() + QLatin1Char('/') + QLatin1String(c.page)) << c.helpId;
    }
    SetVTRHelpViewer({});
}

TEST(HelpPages, EveryLinkBetweenPagesResolves)
{
    static const QRegularExpression kLink(QStringLiteral("href=\"([^\"]*)\""));
    const QDir folder(HelpFolder());
    const QStringList pages = folder.entryList({ QStringLiteral("*.html") }, QDir::Files);
    ASSERT_GT(pages.size(), 300);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));
    QHash<QString, QString> texts;
    for (const QString& name : pages)
        texts.insert(name, ReadPage(folder.filePath(name)));
    int links = 0;
    QSet<QString> linkedFromContents;
    QStringList broken;
    for (const QString& name : pages) {
        for (const QRegularExpressionMatch& m : kLink.globalMatch(texts.value(name))) {
            const QUrl url(m.captured(1));
            if (!url.scheme().isEmpty())
                continue; // the web: not ours to check offline
            ++links;
            const QString target = url.path().isEmpty() ? name : url.path();
            if (!texts.contains(target)) {
                broken << name + QStringLiteral(" -> ") + m.captured(1);
                continue;
            }
            if (name == QLatin1String("index.html"))
                linkedFromContents.insert(target);
            const QString fragment = url.fragment();
            if (!fragment.isEmpty() && !texts.value(target).contains(QStringLiteral("id=\"%1\"").arg(fragment)))
                broken << name + QStringLiteral(" -> ") + m.captured(1) + QStringLiteral(" (no such place)");
        }
    }
    EXPECT_GT(links, 1000);
    EXPECT_TRUE(broken.isEmpty()) << qPrintable(broken.join(QLatin1Char('\n')));
    // The contents reach every page.
    for (const QString& name : pages) {
        if (name != QLatin1String("index.html")) {
            EXPECT_TRUE(linkedFromContents.contains(name)) << qPrintable(name) << " is not in the contents";
        }
    }
}

// The product rules the configurator hands out are rules of the list too:
// F1 on one must find its page.
TEST(HelpPages, EveryShippedProductRuleHasItsOwnPage)
{
    void* handle
        = VtrLibrary::Load(BinDir() + QStringLiteral("/PLQRuleConfiguratoru") + QLatin1String(VtrLibrary::kSuffix));
    ASSERT_NE(handle, nullptr) << "the configurator must be built beside the tests";
    using PFN_GetModuleRules = void (*)(const QString*, PtrArray*);
    auto getRules = reinterpret_cast<PFN_GetModuleRules>(VtrLibrary::Find(handle, "GetModuleRules"));
    auto release = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule));
    using PFN_GetUserRuleKeys = void (*)(QStringList*, QMap<QString, QStringList>*);
    auto getKeys = reinterpret_cast<PFN_GetUserRuleKeys>(VtrLibrary::Find(handle, "GetUserRuleKeys"));
    ASSERT_TRUE(getRules && release && getKeys);
    QStringList keys;
    getKeys(&keys, nullptr);
    EXPECT_TRUE(keys.contains(QStringLiteral("Mill"))) << qPrintable(keys.join(QLatin1Char(' ')));
    QStringList problems;
    int seen = 0;
    for (const QString& k : keys) {
        PtrArray rules;
        getRules(&k, &rules);
        for (int32_t i = 0; i < rules.GetSize(); ++i) {
            auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
            ++seen;
            const QString page = ReadPage(HelpFolder() + QStringLiteral("/%1.html").arg(rule->GetHelpId()));
            if (page.isEmpty() || !page.contains(rule->GetDisplayName().toHtmlEscaped())
                || !page.contains(rule->GetRuleCategory().toHtmlEscaped()))
                problems << QStringLiteral("%1 \"%2\" (%3)").arg(k, rule->GetDisplayName()).arg(rule->GetHelpId());
            release(&rule);
        }
    }
    VtrLibrary::Free(handle);
    EXPECT_GE(seen, 5);
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(QLatin1Char('\n')));
}
