#include "TestSupport.h"

#include "CatalogueReview.h"

#include "FrameworkExports.h"
#include "PLQRuleConfigurator.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleContract.h"
#include "userrules/UserRuleStore.h"
#include "views/ModuleRuleSource.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include <QFile>
#include <QMap>
#include <QStringList>

namespace {

// The configurator plug-in from the bin folder, with its rules released
// through its own DeleteRule.
class ConfiguratorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReleaseDatabase();
        m_library = VtrLibrary::Load(BinDir() + QStringLiteral("/PLQRuleConfiguratoru.so"));
        ASSERT_TRUE(m_library) << qPrintable(VtrLibrary::LastError());
        getModuleRules = reinterpret_cast<PFN_GetModuleRules>(VtrLibrary::Find(m_library, "GetModuleRules"));
        getRule = reinterpret_cast<PFN_GetRule>(VtrLibrary::Find(m_library, "GetRule"));
        deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(m_library, "DeleteRule"));
        ASSERT_TRUE(getModuleRules && getRule && deleteRule);
        SetXMLDoc(&document);
    }
    void TearDown() override
    {
        for (CVtrRule*& r : m_owned)
            deleteRule(&r);
        SetXMLDoc(nullptr);
        ReleaseDatabase();
        VtrLibrary::Free(m_library);
    }
    // The database follows each test's folders only after a release.
    static void ReleaseDatabase()
    {
        if (vtr_db::IDatabaseCollector* c = vtr_db::VTRDataHelper::getInstance()->GetCollector())
            c->Release();
    }
    static vtr_db::IDatabaseCollector* Database() { return vtr_db::VTRDataHelper::getInstance()->GetCollector(); }

    std::vector<CPLQRuleConfigurator*> RulesOf(const QString& key)
    {
        PtrArray list;
        getModuleRules(&key, &list);
        std::vector<CPLQRuleConfigurator*> rules;
        for (int32_t i = 0; i < list.GetSize(); ++i) {
            auto* rule = static_cast<CVtrRule*>(list.GetAt(i));
            m_owned.push_back(rule);
            rules.push_back(dynamic_cast<CPLQRuleConfigurator*>(rule));
        }
        return rules;
    }
    CVtrRule* RuleFromElement(const QString& markup)
    {
        const QByteArray utf8 = markup.toUtf8();
        std::unique_ptr<VtrXMLNode> node(source.LoadFromBuffer(utf8.constData(), static_cast<size_t>(utf8.size())));
        if (!node)
            return nullptr;
        CVtrRule* rule = nullptr;
        getRule(node.get(), &rule);
        if (rule)
            m_owned.push_back(rule);
        return rule;
    }
    // The markup a rule writes for itself.
    static QString Markup(CVtrRule* rule)
    {
        std::unique_ptr<VtrXMLNode> node(rule->GetXML());
        return node ? node->GetXML() : QString();
    }

    ScopedTestEnv env;
    VtrXMLDocument document;
    VtrXMLDocument source;
    PFN_GetModuleRules getModuleRules = nullptr;
    PFN_GetRule getRule = nullptr;
    PFN_DeleteRule deleteRule = nullptr;

    void* Library() const { return m_library; }

private:
    void* m_library = nullptr;
    std::vector<CVtrRule*> m_owned;
};

TEST_F(ConfiguratorTest, KeysGiveTheirProductRulesAndUnknownKeysNone)
{
    struct Case
    {
        const char* key;
        size_t count;
        const char* category;
    } cases[] = {
        { "Mill", 2, "Milling" },
        { "SheetMetal", 2, "Sheet Metal" },
        { "Assembly", 1, "Assembly" },
        { "Turn", 0, "" },
        { "Cabling", 0, "" },
        { "mill", 0, "" },
        { "Milling", 0, "" },
        { "", 0, "" },
        { "Unknown", 0, "" },
    };
    std::set<int32_t> helpIds;
    for (const Case& c : cases) {
        const auto rules = RulesOf(QString::fromUtf8(c.key));
        ASSERT_EQ(rules.size(), c.count) << c.key;
        for (CPLQRuleConfigurator* rule : rules) {
            ASSERT_NE(rule, nullptr) << c.key << ": not a configurator rule";
            EXPECT_TRUE(rule->IsProductRule()) << c.key;
            EXPECT_EQ(rule->GetRuleModuleName(), QStringLiteral("Product Rules"));
            EXPECT_FALSE(rule->GetRuleModuleName().contains(QLatin1String("Custom")));
            EXPECT_EQ(rule->GetValidatorName(), QStringLiteral("PLQRuleValidator"));
            EXPECT_EQ(rule->GetRuleCategory(), QString::fromUtf8(c.category));
            EXPECT_GE(rule->GetHelpId(), 900000);
            EXPECT_FALSE(vtr_db::IsStoredRuleHelpId(rule->GetHelpId())) << rule->GetHelpId();
            EXPECT_TRUE(helpIds.insert(rule->GetHelpId()).second) << "help id used twice: " << rule->GetHelpId();
            EXPECT_FALSE(rule->GetSummary().isEmpty());
            EXPECT_FALSE(rule->Items().empty()) << "a product rule without parameters";
        }
    }
    EXPECT_EQ(helpIds.size(), 5u);
}

TEST_F(ConfiguratorTest, EveryCallHandsOutNewRules)
{
    const auto first = RulesOf(QStringLiteral("Mill"));
    const auto second = RulesOf(QStringLiteral("Mill"));
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_NE(first[i], second[i]);
        EXPECT_EQ(first[i]->GetRuleName(), second[i]->GetRuleName());
    }
}

TEST_F(ConfiguratorTest, NullArgumentsAreIgnored)
{
    const QString key = QStringLiteral("Mill");
    PtrArray list;
    getModuleRules(nullptr, &list);
    getModuleRules(&key, nullptr);
    EXPECT_EQ(list.GetSize(), 0);
    getRule(nullptr, nullptr);
    CVtrRule* rule = reinterpret_cast<CVtrRule*>(&list); // must be nulled, not used
    getRule(nullptr, &rule);
    EXPECT_EQ(rule, nullptr);
    deleteRule(nullptr);
    deleteRule(&rule);
}

TEST_F(ConfiguratorTest, StoredRulesJoinTheShippedOnesOfTheirKey)
{
    ASSERT_NE(Database(), nullptr) << "the database module did not load";
    const QString mill = QStringLiteral("Mill");
    // A user's custom rule, a stored edit of a shipped product rule, and a broken row.
    ASSERT_EQ(Database()->AddUserRule(mill, QStringLiteral("Shop Slot Width"), QStringLiteral("Milling"),
                  QStringLiteral("<Rule Name=\"Shop Slot Width\" RuleCategory=\"Milling\" Severity=\"4\" "
                                 "RuleModule=\"Custom Rules\" HelpId=\"910001\" Validator=\"PLQRuleValidator\" "
                                 "Summary=\"Slots fit the shop's cutters.\"><Parameter UnitType=\"Length\">"
                                 "<Value>6</Value></Parameter></Rule>")),
        0);
    ASSERT_EQ(Database()->AddUserRule(mill, QStringLiteral("Product - Maximum Pocket Depth"), QStringLiteral("Milling"),
                  QStringLiteral("<Rule Name=\"Product - Maximum Pocket Depth\" RuleCategory=\"Milling\" "
                                 "Severity=\"1\" RuleModule=\"Product Rules\" HelpId=\"900002\" "
                                 "Validator=\"PLQRuleValidator\"/>")),
        0);
    ASSERT_EQ(Database()->AddUserRule(
                  mill, QStringLiteral("Broken"), QStringLiteral("Milling"), QStringLiteral("<Rule Name=\"Broken\"")),
        0);
    ASSERT_EQ(Database()->AddUserRule(mill, QStringLiteral("Nameless"), QStringLiteral("Milling"),
                  QStringLiteral("<Rule RuleModule=\"Custom Rules\"/>")),
        0);

    const auto rules = RulesOf(mill);
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0]->GetRuleName(), QStringLiteral("Product - Minimum Pocket Corner Radius"));
    EXPECT_EQ(rules[1]->GetRuleName(), QStringLiteral("Product - Maximum Pocket Depth"));
    EXPECT_EQ(rules[1]->GetCriticality(), 1) << "the stored edit replaces the shipped rule in place";
    EXPECT_TRUE(rules[1]->IsProductRule());
    EXPECT_EQ(rules[1]->GetHelpId(), 900002) << "and keeps the shipped rule's help id";
    EXPECT_EQ(rules[2]->GetRuleName(), QStringLiteral("Shop Slot Width"));
    // A stored rule's help id is the database's, whatever its element says.
    EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(rules[2]->GetHelpId())) << rules[2]->GetHelpId();
    EXPECT_FALSE(rules[2]->IsProductRule());
    EXPECT_TRUE(rules[2]->GetRuleModuleName().contains(QLatin1String("Custom")));
    EXPECT_EQ(rules[2]->GetSummary(), QStringLiteral("Slots fit the shop's cutters."));
    EXPECT_EQ(RulesOf(QStringLiteral("Assembly")).size(), 1u) << "stored rules stay with their key";
}

TEST_F(ConfiguratorTest, GetRuleTakesOnlyCustomAndProductRuleElements)
{
    struct Case
    {
        const char* element;
        bool taken;
        bool product;
    } cases[] = {
        { "<Rule Name=\"A\" RuleCategory=\"Milling\" RuleModule=\"Custom Rules\"/>", true, false },
        { "<Rule Name=\"A\" RuleCategory=\"Milling\" RuleModule=\"Product Rules\"/>", true, true },
        { "<Rule Name=\"A\" RuleCategory=\"Milling\" RuleModule=\"product rules\"/>", true, true },
        { "<Rule Name=\"A\" RuleCategory=\"Milling\" RuleModule=\"Prismatic Mill Rules\"/>", false, false },
        { "<Rule Name=\"A\" RuleCategory=\"Milling\" RuleModule=\"Interactive User Defined Rule\"/>", false, false },
        { "<Rule Name=\"A\" RuleCategory=\"Milling\"/>", false, false },
        { "<Rule Name=\"A\" RuleModule=\"Custom Rules \"/>", false, false },
    };
    for (const Case& c : cases) {
        CVtrRule* rule = RuleFromElement(QString::fromUtf8(c.element));
        EXPECT_EQ(rule != nullptr, c.taken) << c.element;
        if (!rule)
            continue;
        auto* configurator = dynamic_cast<CPLQRuleConfigurator*>(rule);
        ASSERT_NE(configurator, nullptr) << c.element;
        EXPECT_EQ(configurator->IsProductRule(), c.product) << c.element;
        EXPECT_EQ(configurator->GetValidatorName(), QStringLiteral("PLQRuleValidator")) << c.element;
    }
}

TEST_F(ConfiguratorTest, ProductRuleElementRoundTrips)
{
    for (const char* key : { "Mill", "SheetMetal", "Assembly" }) {
        for (CPLQRuleConfigurator* shipped : RulesOf(QString::fromUtf8(key))) {
            const QString markup = Markup(shipped);
            ASSERT_FALSE(markup.isEmpty());
            CVtrRule* read = RuleFromElement(markup);
            ASSERT_NE(read, nullptr) << qPrintable(markup);
            auto* again = dynamic_cast<CPLQRuleConfigurator*>(read);
            ASSERT_NE(again, nullptr);
            EXPECT_TRUE(again->IsProductRule());
            EXPECT_EQ(again->GetRuleName(), shipped->GetRuleName());
            EXPECT_EQ(again->GetRuleCategory(), shipped->GetRuleCategory());
            EXPECT_EQ(again->GetHelpId(), shipped->GetHelpId());
            EXPECT_EQ(again->GetCriticality(), shipped->GetCriticality());
            EXPECT_EQ(Markup(again), markup);
        }
    }
}

TEST_F(ConfiguratorTest, ProductRuleValuesFollowUnitChanges)
{
    const auto rules = RulesOf(QStringLiteral("Mill"));
    ASSERT_FALSE(rules.empty());
    CPLQRuleConfigurator* rule = rules[0]; // corner radius 1.5 mm
    const RuleUnits mm { 0, 0 };
    const RuleUnits inches { 3, 0 };
    ASSERT_TRUE(rule->UpdateRule(&mm, &inches));
    const VtrRuleItem* value = rule->Items().front().Child(QStringLiteral("Value"));
    ASSERT_NE(value, nullptr);
    EXPECT_NEAR(value->text.toDouble(), 1.5 / 25.4, 1e-12);
    EXPECT_EQ(rule->GetRuleUnits().LinearUnit, 3);
}

TEST_F(ConfiguratorTest, ShippedProductRulesAreFreeOfCatalogueSlips)
{
    using PFN_GetUserRuleKeys = void (*)(QStringList*, QMap<QString, QStringList>*);
    auto getKeys = reinterpret_cast<PFN_GetUserRuleKeys>(VtrLibrary::Find(Library(), "GetUserRuleKeys"));
    ASSERT_TRUE(getKeys);
    QStringList keys;
    getKeys(&keys, nullptr);
    int reviewed = 0;
    QStringList slips;
    for (const QString& key : keys) {
        for (CPLQRuleConfigurator* rule : RulesOf(key)) {
            ASSERT_NE(rule, nullptr);
            slips << CatalogueSlips(*rule);
            ++reviewed;
        }
    }
    EXPECT_EQ(reviewed, 5);
    EXPECT_TRUE(slips.isEmpty()) << qPrintable(slips.join(QLatin1Char('\n')));
}

TEST(CreationData, KeepsWhatTheProgramHandsOver)
{
    CPLQRuleConfigurator configurator;
    EXPECT_FALSE(configurator.IsProductRule());
    EXPECT_EQ(configurator.GetRuleModuleName(), QStringLiteral("Custom Rules"));
    configurator.SetProductRule(true);
    EXPECT_EQ(configurator.GetRuleModuleName(), QStringLiteral("Product Rules"));
    configurator.SetProductRule(false);
    EXPECT_EQ(configurator.GetRuleModuleName(), QStringLiteral("Custom Rules"));

    for (PLQRuleStatus_e status : { PLQ_RULE_CREATE, PLQ_RULE_EDIT, PLQ_RULE_EDIT_FROM_LIST }) {
        CPLQRuleCreationData data(&configurator, status);
        EXPECT_EQ(data.GetConfigurator(), &configurator);
        EXPECT_EQ(data.GetStatus(), status);
        EXPECT_EQ(data.m_nLinearUnit, 0);
        EXPECT_EQ(data.m_nAngularUnit, 0);
        EXPECT_TRUE(data.m_ruleNameTable.isEmpty());
    }
    EXPECT_EQ(static_cast<int>(PLQ_RULE_EDIT_FROM_LIST), 2);
}

TEST_F(ConfiguratorTest, AStoredRuleRenamedAndMovedKeepsOneElementUntilRemoved)
{
    ASSERT_NE(Database(), nullptr) << "the database module did not load";
    UserRuleStore store(Library());
    ASSERT_TRUE(store.IsUsable());
    UserRuleDraft rib;
    rib.name = QStringLiteral("Shop Rib");
    rib.category = QStringLiteral("Milling");
    rib.criticality = 2;
    rib.parameters
        = { { QStringLiteral("Width"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("2") } };
    QString error;
    ASSERT_TRUE(UserRuleDrafts::Validate(rib, store.Keys(), {}, {}, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(rib, {}, {}, {}, error)) << qPrintable(error);
    // Created again under another spelling (the name table of a copy that
    // listed before the first was stored would let it through): refused.
    UserRuleDraft again = rib;
    again.name = QStringLiteral("SHOP RIB");
    EXPECT_FALSE(store.Store(again, {}, {}, {}, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("name taken"))) << qPrintable(error);

    // Edited: a new name and a category of another module.
    const UserRuleStore::Entry read = store.Find(rib.name, rib.category, error);
    ASSERT_TRUE(read.rule);
    UserRuleDraft moved = rib;
    moved.storedVersion = read.rule->StoredVersion();
    moved.name = QStringLiteral("Shop Rib Width");
    moved.category = QStringLiteral("turning");
    moved.key.clear();
    ASSERT_TRUE(UserRuleDrafts::Validate(moved, store.Keys(), {}, rib.name, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(moved, {}, QStringLiteral("shop rib"), QStringLiteral("MILLING"), error));

    std::vector<UserRuleStore::Entry> entries;
    ASSERT_TRUE(store.List(entries, error)) << qPrintable(error);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].key, QStringLiteral("Turn"));
    EXPECT_EQ(entries[0].rule->GetRuleName(), QStringLiteral("Shop Rib Width"));
    EXPECT_EQ(entries[0].rule->GetRuleCategory(), QStringLiteral("Turning"));
    EXPECT_TRUE(RulesOf(QStringLiteral("Mill")).size() == 2u) << "only the shipped product rules stay under Mill";
    entries.clear();

    // Edit finds shipped product rules as well as stored ones.
    const UserRuleStore::Entry shipped
        = store.Find(QStringLiteral("product - maximum pocket depth"), QStringLiteral("milling"), error);
    ASSERT_TRUE(shipped.rule);
    EXPECT_EQ(shipped.key, QStringLiteral("Mill"));
    EXPECT_TRUE(shipped.rule->IsProductRule());

    EXPECT_EQ(store.Remove(QStringLiteral("SHOP RIB WIDTH"), QStringLiteral("turning"), error), 1);
    EXPECT_EQ(store.Remove(QStringLiteral("Shop Rib Width"), QStringLiteral("Turning"), error), 0);
    ASSERT_TRUE(store.List(entries, error));
    EXPECT_TRUE(entries.empty());
}

TEST_F(ConfiguratorTest, AStaleCopyIsNeverStoredOverANewerRule)
{
    ASSERT_NE(Database(), nullptr) << "the database module did not load";
    UserRuleStore store(Library());
    UserRuleDraft rib;
    rib.name = QStringLiteral("Shop Rib");
    rib.category = QStringLiteral("Milling");
    rib.parameters
        = { { QStringLiteral("Width"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("2") } };
    QString error;
    ASSERT_TRUE(UserRuleDrafts::Validate(rib, store.Keys(), {}, {}, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(rib, {}, {}, {}, error)) << qPrintable(error);

    // Two copies read the same stored rule, as the rule list and the Edit
    // command do; both know its version.
    const std::vector<CPLQRuleConfigurator*> listed = RulesOf(QStringLiteral("Mill"));
    CPLQRuleConfigurator* listCopy = nullptr;
    for (CPLQRuleConfigurator* r : listed)
        if (r && r->GetRuleName() == rib.name)
            listCopy = r;
    ASSERT_TRUE(listCopy);
    const UserRuleStore::Entry editCopy = store.Find(QStringLiteral("shop rib"), QStringLiteral("milling"), error);
    ASSERT_TRUE(editCopy.rule);
    ASSERT_GT(listCopy->StoredVersion(), 0);
    EXPECT_EQ(listCopy->StoredVersion(), editCopy.rule->StoredVersion());

    // The Edit command stores a new definition from its copy.
    UserRuleDraft edited = UserRuleDrafts::FromRule(*editCopy.rule, editCopy.key, {});
    edited.parameters[0].value = QStringLiteral("5");
    ASSERT_TRUE(UserRuleDrafts::Validate(edited, store.Keys(), {}, rib.name, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(edited, {}, rib.name, rib.category, error)) << qPrintable(error);

    // The list's copy is now stale: writing it back is refused, the new
    // definition stays, and so does a second write of the first copy.
    struct Case
    {
        const char* what;
        int32_t version;
    } stale[] = { { "the list's copy", listCopy->StoredVersion() }, { "a copy never stored", 0 } };
    for (const Case& c : stale) {
        UserRuleDraft back = UserRuleDrafts::FromRule(*listCopy, QStringLiteral("Mill"), {});
        back.storedVersion = c.version;
        ASSERT_TRUE(UserRuleDrafts::Validate(back, store.Keys(), {}, rib.name, error)) << qPrintable(error);
        error.clear();
        EXPECT_FALSE(store.Store(back, {}, rib.name, rib.category, error)) << c.what;
        EXPECT_TRUE(error.contains(QStringLiteral("\"Shop Rib\" (Milling)"))) << c.what << ": " << qPrintable(error);
    }
    EXPECT_FALSE(store.Store(edited, {}, rib.name, rib.category, error)) << "the Edit copy was stored once";
    const UserRuleStore::Entry now = store.Find(rib.name, rib.category, error);
    ASSERT_TRUE(now.rule);
    EXPECT_EQ(UserRuleDrafts::FromRule(*now.rule, now.key, {}).parameters[0].value, QStringLiteral("5"));

    // The list's copy takes what is stored, and may then be written again.
    ASSERT_TRUE(UserRuleDrafts::TakeStored(*listCopy, *now.rule));
    EXPECT_EQ(listCopy->StoredVersion(), now.rule->StoredVersion());
    UserRuleDraft again = UserRuleDrafts::FromRule(*listCopy, QStringLiteral("Mill"), {});
    EXPECT_EQ(again.parameters[0].value, QStringLiteral("5"));
    again.parameters[0].value = QStringLiteral("6");
    ASSERT_TRUE(UserRuleDrafts::Validate(again, store.Keys(), {}, rib.name, error)) << qPrintable(error);
    EXPECT_TRUE(store.Store(again, {}, rib.name, rib.category, error)) << qPrintable(error);
}

// A list source of one configurator rule, the copy the list holds.
class OneRuleSource : public IModuleRuleSource
{
public:
    explicit OneRuleSource(CVtrRule* rule)
        : m_rule(rule)
    { }
    bool DatabaseLoaded() const override { return true; }
    QStringList RuleModulePaths() const override { return { QStringLiteral("/fake/VtrCustomu.so") }; }
    QStringList InstalledModulePaths() const override { return {}; }
    QStringList ConfiguredModules() const override { return RuleModulePaths(); }
    QStringList LoadedLibraryPaths() const override { return RuleModulePaths(); }
    bool LoadRules(const QString&, QList<CVtrRule*>& rules, QString& moduleName) override
    {
        moduleName = QStringLiteral("Custom Rules");
        rules.append(m_rule);
        return true;
    }
    QString ConfiguratorPath() const override { return {}; }
    QList<CVtrRule*> ProductRules(const QString&) override { return {}; }
    bool VstaRulesSupported() const override { return false; }
    QString CustomMessage(const CVtrRule*) const override { return {}; }

private:
    CVtrRule* m_rule;
};

TEST_F(ConfiguratorTest, AfterAnEditTheListedRowShowsWhatWasStored)
{
    ASSERT_NE(Database(), nullptr) << "the database module did not load";
    AppContext app;
    UserRuleStore store(Library());
    UserRuleDraft rib;
    rib.name = QStringLiteral("Shop Rib");
    rib.category = QStringLiteral("Milling");
    rib.criticality = 2;
    rib.parameters
        = { { QStringLiteral("Width"), QStringLiteral(">="), UserRuleValueType::Length, QStringLiteral("2") } };
    QString error;
    ASSERT_TRUE(UserRuleDrafts::Validate(rib, store.Keys(), {}, {}, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(rib, {}, {}, {}, error)) << qPrintable(error);

    // The list's copy, in a document in centimetres, as the list read it.
    CPLQRuleConfigurator listed;
    listed.SetRuleUnits({ 1, 0 });
    {
        const UserRuleStore::Entry read = store.Find(rib.name, rib.category, error);
        ASSERT_TRUE(read.rule);
        ASSERT_TRUE(UserRuleDrafts::TakeStored(listed, *read.rule));
    }
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    RuleListController list(&doc, std::make_unique<OneRuleSource>(&listed));
    list.Fill(false, false);
    ASSERT_EQ(list.Model()->RowCount(), 1);
    ASSERT_TRUE(list.SetChecked(0, true));
    doc.SetModifiedFlag(false);

    // The Edit command stores a new name, criticality and value.
    UserRuleDraft edited = rib;
    edited.storedVersion = listed.StoredVersion();
    edited.name = QStringLiteral("Shop Rib Width");
    edited.criticality = 4;
    edited.parameters[0].value = QStringLiteral("5");
    ASSERT_TRUE(UserRuleDrafts::Validate(edited, store.Keys(), {}, rib.name, error)) << qPrintable(error);
    ASSERT_TRUE(store.Store(edited, {}, rib.name, rib.category, error)) << qPrintable(error);

    EXPECT_FALSE(list.TakeStoredRule(&listed, store, QStringLiteral("No Such Rule"), rib.category));
    EXPECT_FALSE(doc.IsModified());
    ASSERT_TRUE(list.TakeStoredRule(&listed, store, edited.name, edited.category));
    EXPECT_EQ(list.Model()->CellText(0, RuleListModel::RuleColumn), QStringLiteral("Shop Rib Width"));
    EXPECT_EQ(listed.GetCriticality(), 4);
    EXPECT_EQ(listed.GetRuleUnits(), (RuleUnits { 1, 0 }));
    EXPECT_NEAR(listed.Items().front().Child(QStringLiteral("Value"))->text.toDouble(), 0.5, 1e-12);
    // The ticked row now saves the stored rule: the file has changed.
    EXPECT_TRUE(doc.IsModified());
    const UserRuleStore::Entry now = store.Find(edited.name, edited.category, error);
    ASSERT_TRUE(now.rule);
    EXPECT_EQ(listed.StoredVersion(), now.rule->StoredVersion());

    CVtrRule* other = nullptr;
    EXPECT_FALSE(list.TakeStoredRule(other, store, edited.name, edited.category)) << "a rule the list does not hold";
    list.ClearAll();
    doc.OnCloseDocument();
}

} // namespace
