// The rule list without windows: filling from the modules, matching the
// file's rules, check boxes, sorting, search and the status text.

#include "DocFixture.h"

#include "ConcreteVTRRule.h"
#include "document/OrderedRuleSet.h"
#include "document/RuleFile.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace {

class RuleListTest : public DocFixture
{
protected:
    // Opens a file into a document and fills a list for it.
    std::unique_ptr<RuleListController> OpenList(CVTRRuleBuilderDoc& doc, const QString& path)
    {
        EXPECT_TRUE(doc.OnOpenDocument(path));
        auto list = std::make_unique<RuleListController>(&doc);
        list->InitialUpdate();
        return list;
    }
    static int RowOf(RuleListModel* model, const QString& name)
    {
        for (int r = 0; r < model->RowCount(); ++r)
            if (model->RuleAt(r)->GetRuleName() == name)
                return r;
        return -1;
    }
    static QStringList CheckedNames(RuleListModel* model)
    {
        QStringList out;
        for (int r = 0; r < model->RowCount(); ++r)
            if (model->IsChecked(r))
                out << model->RuleAt(r)->GetRuleName();
        out.sort();
        return out;
    }
    void Close(CVTRRuleBuilderDoc& doc, RuleListController& list)
    {
        // Close as the program does: the document collects the list's rules.
        struct Link : IRuleDocView
        {
            RuleListController* list;
            void OnUpdate(int hint) override { list->OnUpdate(hint); }
            QList<CVtrRule*> ListedRules() const override { return list->ListedRules(); }
            void ClearRows() override { list->ClearAll(); }
        } link;
        link.list = &list;
        doc.AddView(&link);
        doc.OnCloseDocument();
        doc.RemoveView(&link);
    }
};

TEST_F(RuleListTest, AFileWhoseRulesAllMatchOpensCheckedAndUnmodified)
{
    const QString path = WriteRuleFile(
        QStringLiteral("match.vtr"), { TestRuleElement("TM - Hole Depth"), TestRuleElement("TM - Corner Radius") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    RuleListModel* model = list->Model();
    ASSERT_EQ(model->RowCount(), 3);
    EXPECT_EQ(CheckedNames(model), (QStringList { "TM - Corner Radius", "TM - Hole Depth" }));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.SelectedRules().Size(), 2);
    // The rows carry the rules read from the file, not the module's copies.
    const QList<CVtrRule*> fileRules(doc.FileDetails().Rules().begin(), doc.FileDetails().Rules().end());
    for (CVtrRule* rule : fileRules)
        EXPECT_TRUE(doc.SelectedRules().Contains(rule));
    EXPECT_EQ(model->RuleAt(RowOf(model, "TM - Hole Depth"))->GetModulePath(), VtrLibrary::FileName(m_module));
    EXPECT_EQ(LiveRules(), 3) << "the two replaced module rules are released";
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 2, listed: 3"));
    EXPECT_EQ(m_app->StatusText(), QStringLiteral("Rules selected: 2, listed: 3"));
    Close(doc, *list);
}

// The test module's rules, renamed before they are listed: each entry is
// "name" or "name|display name"; "@category" after it moves the rule to
// another category.
class RenamingSource : public AppModuleRuleSource
{
public:
    explicit RenamingSource(QStringList names)
        : m_names(std::move(names))
    { }
    bool LoadRules(const QString& path, QList<CVtrRule*>& rules, QString& moduleName) override
    {
        if (!AppModuleRuleSource::LoadRules(path, rules, moduleName))
            return false;
        for (qsizetype i = 0; i < rules.size() && i < m_names.size(); ++i) {
            QString entry = m_names[i];
            if (const qsizetype at = entry.indexOf(u'@'); at >= 0) {
                rules[i]->SetRuleCategory(entry.mid(at + 1));
                entry.truncate(at);
            }
            const QStringList parts = entry.split(u'|');
            rules[i]->SetRuleName(parts[0]);
            rules[i]->SetDisplayName(parts.value(1, parts[0]));
        }
        return true;
    }

private:
    QStringList m_names;
};

TEST_F(RuleListTest, FileRulesMatchModuleRulesByNameOrDisplayNameCaseAside)
{
    // Rows are listed by display name; "*" marks a row that holds the rule
    // read from the file in place of the module's.
    struct Case
    {
        const char* what;
        QStringList moduleRules;
        QList<QByteArray> fileRules; // name, or name|display name
        QStringList rows;
        bool modified;
    };
    // The test module reads only rules of its own names from a file, so the
    // module's rules are the ones renamed here.
    const QString corner = QStringLiteral("TM - Corner Radius");
    const QString wall = QStringLiteral("TM - Wall Thickness");
    const Case cases[] = {
        { "name in other case", { "tm - HOLE depth|Held", wall, corner }, { "TM - Hole Depth" },
            { "TM - Corner Radius", "TM - Hole Depth*", "TM - Wall Thickness" }, false },
        { "display name only", { "TM - Hole Depth", "Renamed|TM - WALL THICKNESS", corner },
            { "TM - Wall Thickness|tm - wall thickness" },
            { "TM - Corner Radius", "TM - Hole Depth", "tm - wall thickness*" }, false },
        { "letters beyond ASCII", { "Other|TM - ÖSE", wall, "Other too|TM - MAß" },
            { "TM - Hole Depth|tm - öse", "TM - Corner Radius|tm - maß" },
            { "TM - Wall Thickness", "tm - maß*", "tm - öse*" }, false },
        { "ASCII against a sign that lowers to it", { "Other|TM - \u212Aerf", wall, corner },
            { "TM - Hole Depth|TM - kerf" }, { "TM - Corner Radius", "TM - Wall Thickness", "TM - kerf*" }, false },
        { "another category", { "TM - Hole Depth@Elsewhere", wall, corner }, { "TM - Hole Depth" },
            { "TM - Corner Radius", "TM - Hole Depth", "TM - Wall Thickness" }, true },
        { "the last of equal rules", { "TM - Hole Depth|First", "TM - Hole Depth|Second", corner },
            { "TM - Hole Depth" }, { "First", "TM - Corner Radius", "TM - Hole Depth*" }, false },
        { "equal file rules take one each", { "TM - Hole Depth|First", "TM - Hole Depth|Second", corner },
            { "TM - Hole Depth|A", "TM - Hole Depth|B" }, { "A*", "B*", "TM - Corner Radius" }, false },
        { "a longer name is another rule", { "TM - Hole Depths|Longer", wall, corner }, { "TM - Hole Depth|Other" },
            { "Longer", "TM - Corner Radius", "TM - Wall Thickness" }, true },
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QList<QByteArray> elements;
        for (const QByteArray& rule : c.fileRules) {
            const QList<QByteArray> parts = rule.split('|');
            elements << "<Rule Name=\"" + parts[0] + "\" DisplayName=\"" + parts.value(1, parts[0])
                    + "\" RuleCategory=\"" + Category()
                    + "\" RuleModule=\"Test Rules\" Severity=\"2\" Selected=\"1\"/>";
        }
        const QString path = WriteRuleFile(QStringLiteral("match-%1.vtr").arg(n++), elements);
        CVTRRuleBuilderDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(path));
        auto list = std::make_unique<RuleListController>(&doc, std::make_unique<RenamingSource>(c.moduleRules));
        list->InitialUpdate();
        const QList<CVtrRule*> fromFile(doc.FileDetails().Rules().begin(), doc.FileDetails().Rules().end());
        QStringList rows;
        for (int r = 0; r < list->Model()->RowCount(); ++r) {
            CVtrRule* rule = list->Model()->RuleAt(r);
            rows << rule->GetDisplayName() + (fromFile.contains(rule) ? QStringLiteral("*") : QString());
        }
        rows.sort();
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(doc.IsModified(), c.modified);
        Close(doc, *list);
        EXPECT_EQ(LiveRules(), 0);
    }
}

TEST_F(RuleListTest, AFileRuleWhoseModuleIsGoneDisappearsAndMarksTheDocumentModified)
{
    const QString path = WriteRuleFile(QStringLiteral("gone.vtr"),
        { TestRuleElement("TM - Hole Depth"),
            "<Rule Name=\"GR - Old Rule\" DisplayName=\"GR - Old Rule\" RuleModule=\"Gone Rules\" Selected=\"1\"/>" });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    EXPECT_EQ(list->Model()->RowCount(), 3);
    EXPECT_EQ(RowOf(list->Model(), "GR - Old Rule"), -1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.SelectedRules().Size(), 1);

    // Saving writes the file without it.
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_FALSE(ReadAll(path).contains("GR - Old Rule"));
    EXPECT_TRUE(ReadAll(path).contains("TM - Hole Depth"));
    Close(doc, *list);
}

TEST_F(RuleListTest, CheckBoxesKeepTheDocumentInStep)
{
    const QString path = WriteRuleFile(QStringLiteral("ticks.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    RuleListModel* model = list->Model();
    const int held = RowOf(model, "TM - Hole Depth");
    const int other = RowOf(model, "TM - Wall Thickness");
    CVtrRule* otherRule = model->RuleAt(other);

    // Unticking a rule that was never in the document changes nothing but its flag.
    otherRule->SetSelected(1);
    ASSERT_TRUE(list->SetChecked(other, false));
    EXPECT_EQ(otherRule->GetSelected(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(doc.SelectedRules().Contains(otherRule));

    // Ticking adds it and marks the document modified.
    ASSERT_TRUE(model->setData(model->index(other, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model->data(model->index(other, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(doc.SelectedRules().Contains(otherRule));
    EXPECT_EQ(otherRule->GetSelected(), 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.GetTitle().endsWith(QLatin1Char('*')));
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 2, listed: 3"));

    // Unticking a held rule keeps it in the list with flag 0 (the file keeps
    // its settings, marked as not selected).
    doc.SetModifiedFlag(false);
    CVtrRule* heldRule = model->RuleAt(held);
    ASSERT_TRUE(list->SetChecked(held, false));
    EXPECT_TRUE(doc.SelectedRules().Contains(heldRule));
    EXPECT_EQ(heldRule->GetSelected(), 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 1, listed: 3"));
    const QString log = ReadLog();
    EXPECT_TRUE(log.contains(QStringLiteral("TM - Wall Thickness Rule is Selected")));
    EXPECT_TRUE(log.contains(QStringLiteral("TM - Hole Depth Rule is Deselected")));

    ASSERT_TRUE(doc.OnSaveDocument(path));
    const QByteArray saved = ReadAll(path);
    EXPECT_TRUE(saved.contains("TM - Wall Thickness"));
    EXPECT_TRUE(saved.contains("TM - Hole Depth"));
    Close(doc, *list);
}

TEST_F(RuleListTest, TickingManyRowsAtOnceLogsEveryRuleAsOneTickWould)
{
    const QString path = WriteRuleFile(QStringLiteral("many.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    RuleListModel* model = list->Model();
    // A name beyond ASCII goes to the log as UTF-8, like any other line.
    const int corner = RowOf(model, "TM - Corner Radius");
    model->RuleAt(corner)->SetRuleName(QStringLiteral("TM - Eckenradius Ø"));
    // A name longer than any buffer the log fills it through.
    const QString wallName = QStringLiteral("TM - Wall Thickness ") + QString(600, u'w');
    model->RuleAt(RowOf(model, "TM - Wall Thickness"))->SetRuleName(wallName);
    int changes = 0;
    int firstChanged = -1;
    int lastChanged = -1;
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to) {
        ++changes;
        firstChanged = from.row();
        lastChanged = to.row();
    });

    QList<int> all;
    for (int r = 0; r < model->RowCount(); ++r)
        all << r;
    list->SetCheckedRows(all, true);
    EXPECT_EQ(changes, 1) << "one change for the span, not one per row";
    EXPECT_EQ(firstChanged, 0);
    EXPECT_EQ(lastChanged, model->RowCount() - 1);
    EXPECT_EQ(list->SelectedCount(), 3);
    EXPECT_TRUE(doc.IsModified());
    list->SetCheckedRows(all, false);
    EXPECT_EQ(list->SelectedCount(), 0);

    // Every line has the time, the source place and the message, as the
    // one-by-one log writes it; the held rule was ticked already.
    const QString log = ReadLog();
    const QString prefix
        = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[VTRRuleBuilder\\Utilities\\VTRUIUtils:296\] )");
    for (const QString& line : { QStringLiteral("TM - Eckenradius Ø Rule is Selected"), wallName + " Rule is Selected",
             QStringLiteral("TM - Eckenradius Ø Rule is Deselected"),
             QStringLiteral("TM - Hole Depth Rule is Deselected") }) {
        const QRegularExpression pattern(
            QStringLiteral("(^|\n)") + prefix + QRegularExpression::escape(line) + QStringLiteral("\n"));
        EXPECT_TRUE(pattern.match(log).hasMatch()) << line.left(40).toStdString();
    }
    EXPECT_FALSE(log.contains(QStringLiteral("TM - Hole Depth Rule is Selected")));

    // A rule taken out of the document's list behind the list's back is found
    // missing, not where the list last saw it.
    list->SetCheckedRows(all, true);
    const int wallRow = RowOf(model, wallName);
    CVtrRule* wall = model->RuleAt(wallRow);
    ASSERT_TRUE(doc.SelectedRules().Remove(wall));
    doc.SetModifiedFlag(false);
    list->SetCheckedRows({ wallRow }, false);
    EXPECT_FALSE(doc.IsModified()) << "a rule not in the document changes nothing but its flag";
    EXPECT_EQ(wall->GetSelected(), 0);
    list->SetCheckedRows({ wallRow }, true);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.SelectedRules().ToList().last(), wall);
    Close(doc, *list);
}

TEST_F(RuleListTest, SortingByColumnZeroTwiceListsUncheckedRulesFirst)
{
    const QString path = WriteRuleFile(QStringLiteral("sort.vtr"), { TestRuleElement("TM - Wall Thickness") });
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    RuleListController list(&doc);
    list.Fill(true, true);
    RuleListModel* model = list.Model();
    const QString uncheckedOrder = [&] {
        QString s;
        for (int r = 0; r < model->RowCount(); ++r)
            if (!model->IsChecked(r))
                s += model->RuleAt(r)->GetRuleName() + QLatin1Char('|');
        return s;
    }();

    list.SortByColumn(0);
    EXPECT_EQ(list.SortState(), 1);
    EXPECT_TRUE(model->IsChecked(0));
    list.SortByColumn(0);
    EXPECT_EQ(list.SortState(), -1);
    EXPECT_FALSE(model->IsChecked(0));
    EXPECT_FALSE(model->IsChecked(1));
    EXPECT_TRUE(model->IsChecked(2));
    // Unchecked rules compare equal, so the stable sort keeps their order.
    EXPECT_EQ(model->RuleAt(0)->GetRuleName() + "|" + model->RuleAt(1)->GetRuleName() + "|", uncheckedOrder);

    // Criticality: 1 first; a second click reverses.
    model->RuleAt(0)->SetCriticality(5);
    model->RuleAt(1)->SetCriticality(1);
    model->RuleAt(2)->SetCriticality(3);
    model->RefreshKeys();
    list.SortByColumn(3);
    EXPECT_EQ(list.SortState(), 4);
    EXPECT_EQ(model->RuleAt(0)->GetCriticality(), 1);
    EXPECT_EQ(model->RuleAt(2)->GetCriticality(), 5);
    list.SortByColumn(3);
    EXPECT_EQ(model->RuleAt(0)->GetCriticality(), 5);
    list.SortByColumn(4); // the custom message column does not sort
    EXPECT_EQ(list.SortState(), -4);
    Close(doc, list);
}

TEST(RuleListModelTest, CriticalityWords)
{
    const struct
    {
        int code;
        const char* word;
    } cases[] = { { 0, "Medium" }, { 1, "Critical" }, { 2, "High" }, { 3, "Medium" }, { 4, "Low" },
        { 5, "Insignificant" }, { 6, "Medium" }, { -1, "Medium" } };
    for (const auto& c : cases)
        EXPECT_EQ(RuleListModel::CriticalityWord(c.code), QString::fromLatin1(c.word)) << c.code;
    RuleListModel model;
    ConcreteVTRRule rule;
    rule.SetDisplayName(QStringLiteral("R"));
    rule.SetCriticality(6);
    model.AppendRows({ RuleListModel::Row { &rule, false, {} } });
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), QStringLiteral("Medium"));
    const char* headers[] = { "Rule", "Category", "Module", "Criticality", "Custom Message" };
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(headers[c]));
}

TEST_F(RuleListTest, SearchKeepsMatchingRowsAndClearBringsThemBack)
{
    const QString path = WriteRuleFile(QStringLiteral("search.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    auto list = OpenList(doc, path);
    RuleListModel* model = list->Model();

    list->Search(QStringLiteral("HOLE"));
    ASSERT_EQ(model->RowCount(), 1);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Hole Depth"));
    EXPECT_TRUE(model->IsChecked(0));
    EXPECT_EQ(list->SearchText(), QStringLiteral("hole"));
    EXPECT_TRUE(list->SearchActive());
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 1, listed: 1"));

    // A different text starts again from every rule, not from the rows left.
    list->Search(QStringLiteral("corner"));
    ASSERT_EQ(model->RowCount(), 1);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Corner Radius"));
    // A tick given while searching stays when the search is cleared.
    ASSERT_TRUE(list->SetChecked(0, true));

    // The criticality word is searched as well (the file's rule is "High"
    // through its Severity); no match leaves no rows.
    list->Search(QStringLiteral("medium"));
    EXPECT_EQ(model->RowCount(), 2);
    list->Search(QStringLiteral("high"));
    ASSERT_EQ(model->RowCount(), 1);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Hole Depth"));
    list->Search(QStringLiteral("no such rule"));
    EXPECT_EQ(model->RowCount(), 0);

    list->OnUpdate(9);
    EXPECT_EQ(model->RowCount(), 3);
    EXPECT_FALSE(list->SearchActive());
    EXPECT_EQ(CheckedNames(model), (QStringList { "TM - Corner Radius", "TM - Hole Depth" }));
    EXPECT_EQ(list->StatusText(), QStringLiteral("Rules selected: 2, listed: 3"));
    Close(doc, *list);
}

TEST_F(RuleListTest, NoDatabaseModuleStopsLoadingWithAMessage)
{
    m_app->Modules().loadedDbModules.RemoveAll();
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc);
    list.InitialUpdate();
    EXPECT_EQ(list.Model()->RowCount(), 0);
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("Database is not found"));
    EXPECT_FALSE(m_app->ConfigureRuleEnabled());
    Close(doc, list);
}

TEST_F(RuleListTest, ModulesChangedLoadsOnlyNewModulesAndKeepsTheSearch)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc);
    list.InitialUpdate();
    ASSERT_EQ(list.Model()->RowCount(), 3);
    list.Search(QStringLiteral("wall"));
    list.OnUpdate(1); // the module is already listed: no second copy
    EXPECT_EQ(list.Model()->RowCount(), 1);
    EXPECT_EQ(list.Pool().Size(), 3);
    list.OnUpdate(9);
    EXPECT_EQ(list.Model()->RowCount(), 3);
    Close(doc, list);
}

TEST_F(RuleListTest, UnitsChangedConvertsEveryRuleAndRewritesTheAllRulesFile)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc);
    list.InitialUpdate();
    const QString allRules = m_app->LastAllRulesFile();
    ASSERT_FALSE(allRules.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(allRules));
    list.Search(QStringLiteral("wall")); // hidden rows follow as well
    const RuleUnits inches { 3, 3 };
    doc.SetUnits(inches);
    list.OnUpdate(3);
    list.Pool().ForEach(
        [&](CVtrRule* rule) { EXPECT_EQ(rule->GetRuleUnits(), inches) << rule->GetRuleName().toStdString(); });
    for (CVtrRule* rule : list.InstalledRules())
        EXPECT_EQ(rule->GetRuleUnits(), inches);
    EXPECT_TRUE(QFileInfo::exists(m_app->LastAllRulesFile()));
    EXPECT_TRUE(ReadAll(m_app->LastAllRulesFile()).contains("Unit=\"3\""));
    Close(doc, list);
}

TEST_F(RuleListTest, AListThatKeepsAwayFromTheAllRulesFileStillConvertsItsRules)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc);
    list.SetWritesAllRulesFile(false);
    list.Fill(true, true);
    const RuleUnits inches { 3, 3 };
    doc.SetUnits(inches);
    list.OnUpdate(3);
    list.Pool().ForEach([&](CVtrRule* rule) { EXPECT_EQ(rule->GetRuleUnits(), inches); });
    for (CVtrRule* rule : list.InstalledRules())
        EXPECT_EQ(rule->GetRuleUnits(), inches);
    EXPECT_TRUE(m_app->LastAllRulesFile().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(GetAllRulesFilePath()));
    Close(doc, list);
}

TEST_F(RuleListTest, SelectionSetsTheApplicationFlags)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc);
    list.InitialUpdate();
    CVtrRule* rule = list.Model()->RuleAt(0);
    const struct
    {
        const char* validator;
        const char* module;
        int selected;
        bool configure, custom, product;
    } cases[] = {
        { "plqrulevalidator", "My Custom Rules", 1, true, true, false },
        { "PLQRuleValidator", "Product rules", 1, true, false, true },
        { "PLQRuleValidator", "My Custom Rules", 2, false, false, false },
        { "OtherValidator", "My Custom Rules", 1, true, false, false },
    };
    for (const auto& c : cases) {
        rule->SetValidatorName(QString::fromLatin1(c.validator));
        rule->SetRuleModuleName(QString::fromLatin1(c.module));
        list.OnSelectionChanged(c.selected, 0);
        EXPECT_EQ(m_app->ConfigureRuleEnabled(), c.configure) << c.validator << c.module;
        EXPECT_EQ(m_app->EditCustomRuleEnabled(), c.custom) << c.validator << c.module;
        EXPECT_EQ(m_app->EditProductRuleEnabled(), c.product) << c.validator << c.module;
    }
    rule->SetRuleModuleName(QStringLiteral("Test Rules"));
    Close(doc, list);
}

// A source with rules of its own, for what the test module cannot show.
class FakeSource : public IModuleRuleSource
{
public:
    explicit FakeSource(bool vsta)
        : m_vsta(vsta)
    { }
    bool DatabaseLoaded() const override { return true; }
    QStringList RuleModulePaths() const override { return { QStringLiteral("/fake/VtrFakeu.so") }; }
    QStringList InstalledModulePaths() const override { return {}; }
    QStringList ConfiguredModules() const override { return RuleModulePaths(); }
    QStringList LoadedLibraryPaths() const override { return RuleModulePaths(); }
    bool LoadRules(const QString&, QList<CVtrRule*>& rules, QString& moduleName) override
    {
        moduleName = QStringLiteral("Fake Rules");
        // "VSTA Rule" rules belong to the program, which releases them on close.
        for (const char* n : { "Spacing Between Holes", "Scripted Check" }) {
            auto* r = new ConcreteVTRRule;
            r->SetRuleName(QString::fromLatin1(n));
            r->SetDisplayName(r->GetRuleName());
            r->SetRuleModuleName(QStringLiteral("VSTA Rule"));
            rules.append(r);
        }
        m_plain.SetRuleName(QStringLiteral("Plain"));
        m_plain.SetDisplayName(QStringLiteral("Plain"));
        rules.append(&m_plain);
        return true;
    }
    QString ConfiguratorPath() const override { return {}; }
    QList<CVtrRule*> ProductRules(const QString&) override { return {}; }
    bool VstaRulesSupported() const override { return m_vsta; }
    QString CustomMessage(const CVtrRule*) const override { return QStringLiteral("msg"); }

    bool m_vsta;
    ConcreteVTRRule m_plain;
};

TEST_F(RuleListTest, ScriptedRulesAreListedOnlyWhenSupportedAndNeverTheSkippedOnes)
{
    for (bool vsta : { false, true }) {
        CVTRRuleBuilderDoc doc;
        ASSERT_TRUE(doc.OnNewDocument());
        auto source = std::make_unique<FakeSource>(vsta);
        FakeSource* fake = source.get();
        RuleListController list(&doc, std::move(source));
        list.Fill(false, false);
        QStringList names;
        for (int r = 0; r < list.Model()->RowCount(); ++r)
            names << list.Model()->RuleAt(r)->GetRuleName();
        EXPECT_EQ(names, vsta ? QStringList({ "Scripted Check", "Plain" }) : QStringList({ "Plain" })) << vsta;
        EXPECT_EQ(fake->m_plain.GetModulePath(), QStringLiteral("/fake/VtrFakeu.so"));
        EXPECT_EQ(fake->m_plain.GetRuleModuleName(), QStringLiteral("Fake Rules"))
            << "unnamed rules take the module's name";
        EXPECT_EQ(list.Model()->CellText(names.size() - 1, 4), QStringLiteral("msg"));
        // Only the scripted rules are the program's to release.
        for (CVtrRule* rule : list.ListedRules()) {
            CVtrRule* r = rule;
            if (r != &fake->m_plain)
                doc.DeleteRule(r);
        }
        list.ClearAll();
        doc.OnCloseDocument();
    }
}

TEST(RuleListModelTest, SearchMatchesWithinOneTextOnly)
{
    // Texts are searched in one buffer: a hit across two of them must not count.
    const struct
    {
        const char* name;
        const char* category;
        int criticality;
    } rules[] = { { "Flange ab", "Sheet", 1 }, { "cd Größe", "Sheet", 1 }, { "abcd", "Drill", 1 },
        { "ÄRGER", "Drill", 1 }, { "x", "MillING", 1 }, { "y", "z", 7 } };
    std::vector<ConcreteVTRRule> objects(std::size(rules));
    std::vector<RuleListModel::Row> all;
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i].SetDisplayName(QString::fromUtf8(rules[i].name));
        objects[i].SetRuleCategory(QString::fromUtf8(rules[i].category));
        objects[i].SetRuleModuleName(QStringLiteral("M"));
        objects[i].SetCriticality(rules[i].criticality);
        all.push_back(RuleListModel::Row { &objects[i], false, {} });
    }
    const struct
    {
        const char* text;
        const char* expected; // display names left, in order
    } cases[] = {
        { "bc", "abcd|" }, // "ab" + "cd" side by side is no hit
        { "abcd", "abcd|" },
        { "größe", "cd Größe|" }, // lower-cased beyond ASCII
        { "ärger", "ÄRGER|" },
        { "ing", "x|" }, // in the category only
        { "medium", "y|" }, // criticality 7 shows as "Medium"
        { "critical", "Flange ab|cd Größe|abcd|ÄRGER|x|" },
        { "", "Flange ab|cd Größe|abcd|ÄRGER|x|y|" },
        { "nowhere", "" },
    };
    for (const auto& c : cases) {
        RuleListModel model;
        model.AppendRows(all);
        model.NumberRows();
        const std::vector<RuleListModel::Row> keyed = model.Rows();
        model.KeepRowsContaining(QString::fromUtf8(c.text));
        QString left;
        for (int r = 0; r < model.RowCount(); ++r)
            left += model.RuleAt(r)->GetDisplayName() + QLatin1Char('|');
        EXPECT_EQ(left, QString::fromUtf8(c.expected)) << c.text;
        // Filtering a kept copy of every row gives the same rows.
        model.SetRowsContaining(keyed, QString::fromUtf8(c.text));
        QString again;
        for (int r = 0; r < model.RowCount(); ++r)
            again += model.RuleAt(r)->GetDisplayName() + QLatin1Char('|');
        EXPECT_EQ(again, left) << c.text;
    }
}

TEST(RuleListModelTest, SortingMatchesAStableSortByTheColumnsRule)
{
    // Random rows with few distinct values, so many compare equal and the
    // kept order of equal rows shows.
    std::vector<ConcreteVTRRule> rules(300);
    std::vector<RuleListModel::Row> rows;
    unsigned seed = 7;
    auto next = [&seed](unsigned m) { return (seed = seed * 1103515245u + 12345u) / 65536u % m; };
    const char* names[] = { "b", "B", "a", "c", "a" };
    const char* categories[] = { "Sheet Metal", "Drilling", "drilling", "Assembly" };
    for (auto& r : rules) {
        r.SetDisplayName(QString::fromLatin1(names[next(5)]));
        r.SetRuleCategory(QString::fromLatin1(categories[next(4)]));
        r.SetRuleModuleName(QString::fromLatin1(categories[next(4)]));
        r.SetCriticality(static_cast<int32_t>(next(8)) - 1);
        rows.push_back(RuleListModel::Row { &r, next(3) == 0, {} });
    }
    auto compare = [](int column, const RuleListModel::Row& a, const RuleListModel::Row& b) {
        switch (column) {
        case 0:
            if (a.checked != b.checked)
                return a.checked ? -1 : 1;
            return a.checked ? a.rule->GetDisplayName().compare(b.rule->GetDisplayName()) : 0;
        case 1:
            return a.rule->GetRuleCategory().compare(b.rule->GetRuleCategory());
        case 2:
            return a.rule->GetRuleModuleName().compare(b.rule->GetRuleModuleName());
        default:
            return a.rule->GetCriticality() - b.rule->GetCriticality();
        }
    };
    for (int column = 0; column < 4; ++column) {
        for (bool descending : { false, true }) {
            RuleListModel model;
            model.AppendRows(rows);
            model.SortRows(column, descending);
            std::vector<RuleListModel::Row> expected = rows;
            std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
                const int c = compare(column, a, b);
                return descending ? c > 0 : c < 0;
            });
            for (size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(model.RuleAt(static_cast<int>(i)), expected[i].rule)
                    << "column " << column << (descending ? " descending" : "") << " row " << i;
        }
    }
}

TEST(RuleListModelTest, ManyNamesSortAsQStringComparesThem)
{
    // Enough distinct names that long shared beginnings, names that begin
    // other names, case, accents, other scripts and characters beyond the
    // basic plane all meet in big groups; equal names keep their order.
    unsigned seed = 11;
    auto next = [&seed](unsigned m) { return (seed = seed * 1103515245u + 12345u) / 65536u % m; };
    const QString prefixes[] = { QStringLiteral("SM - Minimum Distance Between Holes #"),
        QStringLiteral("SM - Minimum Distance Between Holes"), QStringLiteral("SM - Min"), QString(),
        QStringLiteral("sm - minimum") };
    const QString beyondPlane = QString::fromUcs4(U"\U0001F600\uFF5E");
    struct Set
    {
        const char* what;
        QString letters;
        bool farCharacters;
    };
    const Set sets[] = { { "ASCII", QStringLiteral("aBz09 #"), false },
        { "accents and Greek", QStringLiteral("aBz09 #é\u00ff\u0100Ω"), false },
        { "far scripts and beyond the basic plane", QStringLiteral("aB一가"), true } };
    for (const Set& set : sets) {
        SCOPED_TRACE(set.what);
        std::vector<ConcreteVTRRule> rules(3000);
        std::vector<RuleListModel::Row> rows;
        for (size_t i = 0; i < rules.size(); ++i) {
            QString name = prefixes[next(5)];
            if (next(4) == 0)
                name += QString::number(next(400));
            for (unsigned n = next(5); n > 0; --n)
                name += set.letters[static_cast<qsizetype>(next(static_cast<unsigned>(set.letters.size())))];
            if (set.farCharacters && next(8) == 0)
                name.insert(static_cast<qsizetype>(next(static_cast<unsigned>(name.size()) + 1)),
                    next(2) == 0 ? beyondPlane.left(2) : beyondPlane.mid(2));
            rules[i].SetDisplayName(name);
            rows.push_back(RuleListModel::Row { &rules[i], true, {} });
        }
        RuleListModel model;
        model.AppendRows(rows);
        model.SortRows(RuleListModel::RuleColumn, false);
        std::vector<RuleListModel::Row> expected = rows;
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return a.rule->GetDisplayName().compare(b.rule->GetDisplayName()) < 0;
        });
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(model.RuleAt(static_cast<int>(i)), expected[i].rule)
                << "row " << i << ": " << model.RuleAt(static_cast<int>(i))->GetDisplayName().toStdString();
    }
}

TEST(OrderedRuleSetTest, KeepsOrderThroughRemovalsAndReplacement)
{
    std::vector<ConcreteVTRRule> rules(100);
    OrderedRuleSet set;
    for (auto& r : rules)
        EXPECT_TRUE(set.Append(&r));
    EXPECT_FALSE(set.Append(&rules[0])) << "no duplicates";
    for (size_t i = 0; i < rules.size(); i += 2)
        EXPECT_TRUE(set.Remove(&rules[i]));
    EXPECT_FALSE(set.Remove(&rules[0]));
    ConcreteVTRRule replacement;
    EXPECT_TRUE(set.Replace(&rules[1], &replacement));
    EXPECT_FALSE(set.Contains(&rules[1]));
    const QList<CVtrRule*> list = set.ToList();
    ASSERT_EQ(list.size(), 50);
    EXPECT_EQ(list[0], &replacement);
    for (int k = 1; k < 50; ++k)
        EXPECT_EQ(list[k], &rules[static_cast<size_t>(2 * k + 1)]);
    EXPECT_TRUE(set.Append(&rules[0]));
    EXPECT_EQ(set.ToList().last(), &rules[0]);
}

// Rules are only compared by address here, so plain bytes stand in for them.
CVtrRule* FakeRule(std::vector<std::unique_ptr<char[]>>& store, size_t i)
{
    return reinterpret_cast<CVtrRule*>(store[i].get());
}

TEST(OrderedRuleSetTest, AgreesWithAPlainListOverRandomOperations)
{
    std::vector<std::unique_ptr<char[]>> store;
    for (int i = 0; i < 600; ++i)
        store.push_back(std::make_unique<char[]>(48));
    std::mt19937 random(12345);
    OrderedRuleSet set;
    std::vector<CVtrRule*> expected;
    auto present = [&](const CVtrRule* r) { return std::find(expected.begin(), expected.end(), r) != expected.end(); };

    for (int step = 0; step < 40000; ++step) {
        CVtrRule* rule = FakeRule(store, random() % store.size());
        switch (random() % 4) {
        case 0:
        case 1: // appends outnumber removals, so the set grows and shrinks through every size
            ASSERT_EQ(set.Append(rule), !present(rule)) << "step " << step;
            if (!present(rule))
                expected.push_back(rule);
            break;
        case 2: {
            const bool was = present(rule);
            ASSERT_EQ(set.Remove(rule), was) << "step " << step;
            if (was)
                expected.erase(std::find(expected.begin(), expected.end(), rule));
            break;
        }
        default: {
            CVtrRule* replacement = FakeRule(store, random() % store.size());
            const bool can = present(rule) && !present(replacement);
            ASSERT_EQ(set.Replace(rule, replacement), can) << "step " << step;
            if (can)
                *std::find(expected.begin(), expected.end(), rule) = replacement;
            break;
        }
        }
        if (step % 1000 == 500) // a reservation keeps what is there and where
            set.Reserve(random() % 700);
        if (step % 4000 == 3999 && random() % 2)
            for (size_t i = expected.size() / 2; i < expected.size();)
                (void)set.Remove(expected[i]), expected.erase(expected.begin() + static_cast<long>(i));
        ASSERT_EQ(set.Size(), static_cast<qsizetype>(expected.size()));
        if (step % 97 == 0) {
            ASSERT_EQ(set.ToList(), QList<CVtrRule*>(expected.begin(), expected.end())) << "step " << step;
            size_t lastPlace = 0;
            for (CVtrRule* r : expected) {
                // Places follow the order and lead back to their rule.
                const size_t place = set.PlaceOf(r);
                ASSERT_TRUE(set.IsAt(r, place)) << "step " << step;
                ASSERT_TRUE(place >= lastPlace);
                lastPlace = place;
            }
            for (size_t i = 0; i < store.size(); ++i) {
                CVtrRule* r = FakeRule(store, i);
                ASSERT_EQ(set.Contains(r), present(r));
                if (!present(r)) {
                    ASSERT_EQ(set.PlaceOf(r), OrderedRuleSet::kNoPlace);
                }
            }
        }
    }
    set.Clear();
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_FALSE(set.Contains(FakeRule(store, 0)));
    EXPECT_FALSE(set.Contains(nullptr));
    EXPECT_FALSE(set.Append(nullptr));
    EXPECT_FALSE(set.Remove(nullptr));
}

TEST(SummaryTest, LinesBreakAtTheLastBlankBeforeTheLimit)
{
    const struct
    {
        QString text;
        int columnWidth;
        int textWidth;
        QStringList lines;
    } cases[] = {
        { "short text", 200, 100, { "short text" } },
        { "aaaa bbbb cccc", 50, 140, { "aaaa", "bbbb", "cccc" } }, // 5 characters a line
        { "abcdefghij", 40, 100, { "abcd", "efgh", "ij" } }, // no blank: cut at the limit
        { "", 100, 0, {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitSummary(c.text, c.columnWidth, c.textWidth), c.lines) << c.text.toStdString();
}

} // namespace
