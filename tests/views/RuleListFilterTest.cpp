// The filter bar's filter over the rule list and the marks of rules whose
// settings differ from their defaults, without windows.

#include "DocFixture.h"

#include "ConcreteVTRRule.h"
#include "TestSupport.h"
#include "views/RuleDefaultsMarks.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"

#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QFile>

namespace {

struct MadeRule
{
    const char* name;
    const char* category;
    const char* module;
    int criticality;
    bool ticked;
    const char* message;
};

// A model of hand-made rules; each case starts from all of its rows.
class FilterModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const MadeRule made[] = {
            { "Hole Depth", "Drilling", "Holes", 4, true, "Ask the shop" },
            { "Corner Radius", "Milling", "Pockets", 2, false, "" },
            { "Wall Thickness", "Molding", "Plastics", 3, true, "thin walls crack" },
            { "Hole Spacing", "Drilling", "Holes", 9, false, "" }, // shown as Medium
            { "Rib Draft", "Molding", "Plastics", 5, false,
                "\xc3\x89"
                "bauche interdite" },
        };
        std::vector<RuleListModel::Row> rows;
        for (const MadeRule& m : made) {
            auto rule = std::make_unique<ConcreteVTRRule>();
            rule->SetRuleName(QString::fromUtf8(m.name));
            rule->SetDisplayName(QString::fromUtf8(m.name));
            rule->SetRuleCategory(QString::fromUtf8(m.category));
            rule->SetRuleModuleName(QString::fromUtf8(m.module));
            rule->SetCriticality(m.criticality);
            m_messages.insert(rule.get(), QString::fromUtf8(m.message));
            RuleListModel::Row row;
            row.rule = rule.get();
            row.checked = m.ticked;
            rows.push_back(row);
            m_rules.push_back(std::move(rule));
        }
        m_model.SetCustomMessageLookup([this](const CVtrRule* rule) {
            ++m_lookups;
            return m_messages.value(rule);
        });
        m_model.AppendRows(std::move(rows));
        m_all = m_model.Rows();
        m_model.SetDiffering({ { m_rules[1].get(), QStringList { QStringLiteral("criticality") } } });
    }

    QStringList Passing(const RuleListFilter& filter)
    {
        m_model.SetRows(m_all);
        m_model.KeepRowsPassing(filter);
        QStringList names;
        for (int r = 0; r < m_model.RowCount(); ++r)
            names << m_model.RuleAt(r)->GetRuleName();
        return names;
    }

    std::vector<std::unique_ptr<ConcreteVTRRule>> m_rules;
    QHash<const CVtrRule*, QString> m_messages;
    RuleListModel m_model;
    std::vector<RuleListModel::Row> m_all;
    int m_lookups = 0;
};

RuleListFilter Text(const char* text)
{
    RuleListFilter f;
    f.text = QString::fromUtf8(text);
    return f;
}

TEST_F(FilterModelTest, EachPartOfTheFilterNarrowsTheRows)
{
    RuleListFilter critical4;
    critical4.criticality = 4;
    RuleListFilter medium;
    medium.criticality = 3;
    RuleListFilter ticked;
    ticked.tickedOnly = true;
    RuleListFilter holes;
    holes.module = QStringLiteral("Holes");
    RuleListFilter holesLower;
    holesLower.module = QStringLiteral("holes");
    RuleListFilter differs;
    differs.differsOnly = true;
    RuleListFilter holeTicked = Text("hole");
    holeTicked.tickedOnly = true;
    RuleListFilter plasticsHigh = Text("molding");
    plasticsHigh.criticality = 5;

    const struct
    {
        const char* what;
        RuleListFilter filter;
        QStringList expected;
    } cases[] = {
        { "empty filter keeps all", RuleListFilter {},
            { "Hole Depth", "Corner Radius", "Wall Thickness", "Hole Spacing", "Rib Draft" } },
        { "text in the name, case aside", Text("HOLE"), { "Hole Depth", "Hole Spacing" } },
        { "text in the category", Text("drill"), { "Hole Depth", "Hole Spacing" } },
        { "text in the module", Text("plast"), { "Wall Thickness", "Rib Draft" } },
        { "text in the custom message only", Text("crack"), { "Wall Thickness" } },
        { "non-ASCII message, case aside",
            Text("\xc3\xa9"
                 "bauche"),
            { "Rib Draft" } },
        { "criticality words are the criticality box's", Text("medium"), {} },
        { "text nowhere", Text("zzz"), {} },
        { "criticality", critical4, { "Hole Depth" } },
        { "codes outside 1..5 are Medium", medium, { "Wall Thickness", "Hole Spacing" } },
        { "ticked only", ticked, { "Hole Depth", "Wall Thickness" } },
        { "module by its name", holes, { "Hole Depth", "Hole Spacing" } },
        { "module names are exact", holesLower, {} },
        { "differs from the defaults", differs, { "Corner Radius" } },
        { "parts combine: text and ticked", holeTicked, { "Hole Depth" } },
        { "parts combine: text and criticality", plasticsHigh, { "Rib Draft" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Passing(c.filter), c.expected) << c.what;
}

TEST_F(FilterModelTest, MessagesAreLookedUpOnceAndOnlyWhenTheOtherTextsMiss)
{
    Passing(Text("hole"));
    // The two hole rules matched by name; the three others needed their message.
    EXPECT_EQ(m_lookups, 3);
    Passing(Text("crack"));
    Passing(Text("shop"));
    EXPECT_EQ(m_lookups, 5) << "each rule's message is asked for once";
}

TEST_F(FilterModelTest, DifferingRowsCarryTheMarkAndNameTheSettings)
{
    m_model.SetRows(m_all);
    const QModelIndex differing = m_model.index(1, RuleListModel::RuleColumn);
    const QModelIndex same = m_model.index(0, RuleListModel::RuleColumn);
    EXPECT_TRUE(differing.data(RuleListModel::DiffersRole).toBool());
    EXPECT_FALSE(same.data(RuleListModel::DiffersRole).toBool());
    EXPECT_EQ(differing.data(Qt::ToolTipRole).toString(),
        QStringLiteral("Corner Radius\nDiffers from the defaults: criticality"));
    EXPECT_EQ(same.data(Qt::ToolTipRole).toString(), QStringLiteral("Hole Depth"));
    // Only column 0 carries it.
    EXPECT_FALSE(m_model.index(1, RuleListModel::CategoryColumn).data(RuleListModel::DiffersRole).toBool());
    m_model.SetDiffering({});
    EXPECT_FALSE(differing.data(RuleListModel::DiffersRole).toBool());
}

class RuleListFilterTest : public DocFixture
{
protected:
    std::unique_ptr<RuleListController> OpenList(CVTRRuleBuilderDoc& doc, const QString& path)
    {
        EXPECT_TRUE(doc.OnOpenDocument(path));
        auto list = std::make_unique<RuleListController>(&doc);
        list->InitialUpdate();
        return list;
    }
    static QStringList Names(RuleListModel* model)
    {
        QStringList out;
        for (int r = 0; r < model->RowCount(); ++r)
            out << model->RuleAt(r)->GetRuleName();
        out.sort();
        return out;
    }
    void Close(CVTRRuleBuilderDoc& doc, RuleListController& list)
    {
        RuleListDocLink link(&list);
        doc.OnCloseDocument();
    }
};

TEST_F(RuleListFilterTest, FilterNarrowsOnTopOfTheSearchAndCountsNOfM)
{
    const QString path = WriteRuleFile(QStringLiteral("filter.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    RuleListModel* model = list->Model();
    const QStringList all = Names(model);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("3 of 3"));

    RuleListFilter ticked;
    ticked.tickedOnly = true;
    list->SetFilter(ticked);
    EXPECT_EQ(Names(model), QStringList { "TM - Hole Depth" });
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("1 of 3"));
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 1, listed: 1"));

    // A wider filter brings back the rows the narrower one removed.
    list->SetFilter(Text("tm - "));
    EXPECT_EQ(Names(model), all);

    // With a search, M is what the search leaves.
    list->SetFilter(Text("corner"));
    list->Search(QStringLiteral("radius"));
    EXPECT_EQ(Names(model), QStringList { "TM - Corner Radius" });
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("1 of 1"));
    list->Search(QStringLiteral("tm"));
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("1 of 3"));
    // A tick given while filtered stays when the filter is cleared.
    ASSERT_TRUE(list->SetChecked(0, true));

    // Clearing the search keeps the filter; clearing the filter keeps nothing back.
    list->OnUpdate(9);
    EXPECT_EQ(Names(model), QStringList { "TM - Corner Radius" });
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("1 of 3"));
    list->SetFilter(RuleListFilter {});
    EXPECT_EQ(Names(model), all);
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("3 of 3"));
    EXPECT_EQ(list->SelectedCount(), 2);
    list->SetFilter(ticked);
    EXPECT_EQ(Names(model), (QStringList { "TM - Corner Radius", "TM - Hole Depth" }));

    // The document read its file again: the filter holds for the new rows.
    list->OnUpdate(1);
    EXPECT_EQ(list->FilterCountText(), QStringLiteral("%1 of 3").arg(model->RowCount()));
    for (int r = 0; r < model->RowCount(); ++r)
        EXPECT_TRUE(model->IsChecked(r));
    Close(doc, *list);
}

TEST_F(RuleListFilterTest, ModuleNamesListEachModuleOnce)
{
    const QString path = WriteRuleFile(QStringLiteral("modules.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    QStringList expected;
    for (int r = 0; r < list->Model()->RowCount(); ++r)
        if (!expected.contains(list->Model()->RuleAt(r)->GetRuleModuleName()))
            expected << list->Model()->RuleAt(r)->GetRuleModuleName();
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(list->ModuleNames(), expected);
    ASSERT_FALSE(expected.isEmpty());
    RuleListFilter module;
    module.module = expected.first();
    list->SetFilter(module);
    for (int r = 0; r < list->Model()->RowCount(); ++r)
        EXPECT_EQ(list->Model()->RuleAt(r)->GetRuleModuleName(), expected.first());
    Close(doc, *list);
}

// Listings of one rule as lines: "key=value" each.
std::vector<SettingsLine> Lines(std::initializer_list<const char*> lines)
{
    std::vector<SettingsLine> out;
    for (const char* l : lines) {
        const std::string text(l);
        const size_t eq = text.find('=');
        out.push_back({ text.substr(0, eq), text.substr(eq + 1) });
    }
    return out;
}

TEST(DifferingSettingNames, NamesTheChangedLinesByTheirParameter)
{
    const auto defaults = Lines({ "Severity=2", "Type=1", "Operator=>=", "Status=1", "Value=5", "Recom=4", "Alert=6",
        "Type=1", "Status=1", "Value=2" });
    const struct
    {
        const char* what;
        std::vector<SettingsLine> current;
        QStringList expected;
    } cases[] = {
        { "same listing", defaults, {} },
        { "numbers within 1e-9 are the same",
            Lines({ "Severity=2", "Type=1", "Operator=>=", "Status=1", "Value=5.0000000000001", "Recom=4", "Alert=6",
                "Type=1", "Status=1", "Value=2" }),
            {} },
        { "criticality",
            Lines({ "Severity=4", "Type=1", "Operator=>=", "Status=1", "Value=5", "Recom=4", "Alert=6", "Type=1",
                "Status=1", "Value=2" }),
            { "criticality" } },
        { "recommended and alert values of the first parameter, value of the second",
            Lines({ "Severity=2", "Type=1", "Operator=>=", "Status=1", "Value=5", "Recom=3", "Alert=7", "Type=1",
                "Status=1", "Value=9" }),
            { "parameter 1: recommended value", "parameter 1: alert value", "parameter 2: value" } },
        { "a line fewer",
            Lines({ "Severity=2", "Type=1", "Operator=>=", "Status=1", "Value=5", "Recom=4", "Alert=6", "Type=1",
                "Status=1" }),
            { "parameter 2: value" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(DifferingSettingNames(c.current, defaults), c.expected) << c.what;
}

QByteArray RuleFileText(const QList<QByteArray>& rules)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<VTRExpress Name=\"x\" Createdby=\"t\" CreatedOn=\"\" Unit=\"0\" "
                      "AngularUnit=\"0\" Version=\"v3.4\">\n";
    for (const QByteArray& r : rules)
        text += "  " + r + "\n";
    return text + "</VTRExpress>\n";
}

QByteArray Rule(const char* name, const char* severity, const char* value)
{
    return QByteArray("<Rule Name=\"") + name + "\" RuleCategory=\"C\" Severity=\"" + severity
        + "\" RuleModule=\"M\"><Parameter Type=\"1\" Status=\"1\"><Operator>&gt;=</Operator>"
          "<ParameterType>Double</ParameterType><Value>"
        + value + "</Value></Parameter></Rule>";
}

QString Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
}

class DifferingRulesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_defaults = Write(m_env.Path(QStringLiteral("all.vtr")),
            RuleFileText({ Rule("Same", "2", "5"), Rule("Critical", "2", "5"), Rule("Valued", "2", "5") }));
        m_current = Write(m_env.Path(QStringLiteral("doc.vtr")),
            RuleFileText({ Rule("Same", "2", "5"), Rule("Critical", "4", "5"), Rule("valued", "2", "7"),
                Rule("Mine", "2", "5") }));
    }
    ScopedTestEnv m_env;
    QString m_defaults;
    QString m_current;
};

TEST_F(DifferingRulesTest, OnePassFindsTheRulesThatDifferAndWhere)
{
    QHash<QString, QStringList> found;
    ASSERT_TRUE(FindDifferingRules(m_current, m_defaults, found));
    const QHash<QString, QStringList> expected {
        { DifferingRuleKey(QStringLiteral("Critical"), QStringLiteral("C")), { QStringLiteral("criticality") } },
        { DifferingRuleKey(QStringLiteral("Valued"), QStringLiteral("c")), { QStringLiteral("parameter 1: value") } },
    };
    EXPECT_EQ(found, expected) << "rules the defaults do not hold are not marked";

    EXPECT_FALSE(FindDifferingRules(m_env.Path(QStringLiteral("missing.vtr")), m_defaults, found));
    EXPECT_TRUE(found.isEmpty());
    const QString broken = Write(m_env.Path(QStringLiteral("broken.vtr")), "<VTRExpress><Rule");
    EXPECT_FALSE(FindDifferingRules(broken, m_defaults, found));
}

TEST_F(DifferingRulesTest, TheWorkerReportsOnlyTheNewestStart)
{
    std::unique_ptr<QCoreApplication> app;
    int argc = 1;
    char name[] = "test";
    char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    RuleDefaultsMarker marker;
    QList<QHash<QString, QStringList>> results;
    QObject::connect(&marker, &RuleDefaultsMarker::Found, [&](const QHash<QString, QStringList>& found, bool loaded) {
        EXPECT_TRUE(loaded);
        results.append(found);
    });
    // The first start compares the defaults with themselves; the second,
    // started before the first can report, supersedes it.
    const QString copy = m_env.Path(QStringLiteral("copy.vtr"));
    ASSERT_TRUE(QFile::copy(m_current, copy));
    marker.Start(m_defaults, m_defaults, false);
    marker.Start(copy, m_defaults, true);
    ASSERT_TRUE(marker.WaitIdle(30000));
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0].size(), 2);
    EXPECT_FALSE(QFile::exists(copy)) << "the file of listed rules is removed once read";
    EXPECT_TRUE(QFile::exists(m_defaults));
}

} // namespace
