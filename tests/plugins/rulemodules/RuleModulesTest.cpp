// Loads every rule module library from the program folder and checks the
// module contract and the rules the modules offer.

#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "modules/ModuleContract.h"
#include "PtrArray.h"
#include "RuleEditor.h"
#include "RuleUnits.h"
#include "TestSupport.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QSet>
#include <QString>

namespace {

struct ExpectedModule
{
    const char* library;
    const char* displayName;
    int minimumRules;
};

// Every rule module of the product family, with the display name it reports.
const ExpectedModule kModules[] = {
    { "VtrMillRulesu", "Prismatic Mill Rules", 20 },
    { "VtrTurnRulesu", "Turning Rules", 12 },
    { "VtrSMRulesu", "Sheet Metal Rules", 20 },
    { "VTRIMRulesu", "Injection Molding Rules", 20 },
    { "VTRAssemblyRulesu", "Assembly Rules", 18 },
    { "VtrGenericRulesu", "General Rules", 12 },
    { "VtrToleranceRulesu", "Tolerance Rules", 12 },
    { "VTRDieCastRulesu", "Die Casting Rules", 12 },
    { "VTRCastingRulesu", "Casting Rules", 12 },
    { "VtrRPRulesu", "Additive Manufacturing Rules", 12 },
    { "VTRWeldRulesu", "Welding Rules", 12 },
    { "VTRTubingRulesu", "Tubing Rules", 12 },
    { "VTRSandCastingRulesu", "Sand Casting Rules", 12 },
    { "VTRInvestmentCastRulesu", "Investment Casting Rules", 12 },
    { "VTRCompositeRulesu", "Composite Rules", 12 },
    { "VTRThermoformingRulesu", "Thermoforming Rules", 12 },
    { "VTRManualCheckRulesu", "Manual Check Rules", 12 },
    { "VTRForgingRulesu", "Forging Rules", 12 },
    { "VTRFormRulesu", "Sheet Metal Forming Rules", 12 },
    { "VTRVacInfusionRulesu", "Vacuum Infusion Rules", 12 },
    { "VTRCablingRulesu", "Cabling Rules", 12 },
};

struct Module
{
    QString library;
    void* handle = nullptr;
    PFN_GetModuleName getModuleName = nullptr;
    PFN_GetModuleSummary getModuleSummary = nullptr;
    PFN_GetAllRules getAllRules = nullptr;
    PFN_GetRule getRule = nullptr;
    PFN_DeleteRule deleteRule = nullptr;
    PFN_SetXMLDoc setXMLDoc = nullptr;
    PFN_SetDBModuleList setDBModuleList = nullptr;
    PFN_LaunchFastenerDatabaseDlg launchFastenerDatabaseDlg = nullptr;

    bool Complete() const
    {
        return handle && getModuleName && getModuleSummary && getAllRules && getRule && deleteRule && setXMLDoc
            && setDBModuleList;
    }
};

template <typename T> T Export(void* handle, const char* name)
{
    return reinterpret_cast<T>(VtrLibrary::Find(handle, name));
}

// The modules are loaded once for the whole test program and stay loaded, as
// they do in the application.
const std::vector<Module>& Modules()
{
    static const std::vector<Module> modules = [] {
        std::vector<Module> result;
        for (const ExpectedModule& expected : kModules) {
            Module m;
            m.library = QString::fromLatin1(expected.library);
            m.handle = VtrLibrary::Load(BinDir() + QLatin1Char('/') + m.library + QLatin1String(VtrLibrary::kSuffix));
            if (m.handle) {
                m.getModuleName = Export<PFN_GetModuleName>(m.handle, ModuleExports::kGetModuleName);
                m.getModuleSummary = Export<PFN_GetModuleSummary>(m.handle, ModuleExports::kGetModuleSummary);
                m.getAllRules = Export<PFN_GetAllRules>(m.handle, ModuleExports::kGetAllRules);
                m.getRule = Export<PFN_GetRule>(m.handle, ModuleExports::kGetRule);
                m.deleteRule = Export<PFN_DeleteRule>(m.handle, ModuleExports::kDeleteRule);
                m.setXMLDoc = Export<PFN_SetXMLDoc>(m.handle, ModuleExports::kSetXMLDoc);
                m.setDBModuleList = Export<PFN_SetDBModuleList>(m.handle, ModuleExports::kSetDBModuleList);
                m.launchFastenerDatabaseDlg
                    = Export<PFN_LaunchFastenerDatabaseDlg>(m.handle, ModuleExports::kLaunchFastenerDatabaseDlg);
            }
            result.push_back(m);
        }
        return result;
    }();
    return modules;
}

// The modules that loaded with every export (LoadsEveryModuleWithItsExports
// reports the others).
const std::vector<const Module*>& UsableModules()
{
    static const std::vector<const Module*> usable = [] {
        std::vector<const Module*> result;
        for (const Module& m : Modules())
            if (m.Complete())
                result.push_back(&m);
        return result;
    }();
    return usable;
}

const Module* FindModule(const QString& library)
{
    for (const Module* m : UsableModules())
        if (m->library == library)
            return m;
    return nullptr;
}

// A usable module by name; fails the calling test when it is missing.
#define REQUIRE_MODULE(var, library)                                                                                   \
    const Module* var##Ptr = FindModule(QStringLiteral(library));                                                      \
    ASSERT_NE(var##Ptr, nullptr) << library << " did not load";                                                        \
    const Module& var = *var##Ptr

// The rules of one GetAllRules call, returned to their module at the end.
class RuleSet
{
public:
    explicit RuleSet(const Module& module)
        : m_module(module)
    {
        module.getAllRules(&m_rules);
    }
    ~RuleSet()
    {
        for (int i = 0; i < m_rules.GetSize(); ++i) {
            auto* rule = static_cast<CVtrRule*>(m_rules.GetAt(i));
            m_module.deleteRule(&rule);
        }
    }
    RuleSet(const RuleSet&) = delete;
    RuleSet& operator=(const RuleSet&) = delete;
    int Size() const { return m_rules.GetSize(); }
    ConcreteVTRRule* At(int i) const
    {
        return dynamic_cast<ConcreteVTRRule*>(static_cast<CVtrRule*>(m_rules.GetAt(i)));
    }
    ConcreteVTRRule* Find(const QString& name) const
    {
        for (int i = 0; i < Size(); ++i)
            if (At(i)->GetRuleName() == name)
                return At(i);
        return nullptr;
    }

private:
    const Module& m_module;
    PtrArray m_rules;
};

// A rule made by a module's GetRule, returned to that module.
struct OwnedRule
{
    const Module* module = nullptr;
    CVtrRule* rule = nullptr;
    OwnedRule(const Module& m, VtrXMLNode* node)
        : module(&m)
    {
        m.getRule(node, &rule);
    }
    ~OwnedRule()
    {
        if (rule)
            module->deleteRule(&rule);
    }
    OwnedRule(const OwnedRule&) = delete;
    OwnedRule& operator=(const OwnedRule&) = delete;
};

// The markup of a rule's element, built in a document of the test's own.
QString Markup(const Module& module, CVtrRule* rule, VtrXMLDocument& doc)
{
    module.setXMLDoc(&doc);
    std::unique_ptr<VtrXMLNode> node(rule->GetXML());
    module.setXMLDoc(nullptr);
    return node ? node->GetXML() : QString();
}

// Every numeric value of a length or angle parameter, in document order.
void CollectValues(const std::vector<VtrRuleItem>& items, const QString& unitType, std::vector<double>& values)
{
    for (const VtrRuleItem& item : items) {
        if (item.name == QLatin1String("Parameter") && item.Attribute(QStringLiteral("UnitType")) == unitType) {
            for (const VtrRuleItem& c : item.children) {
                static const QSet<QString> kValueNames = { QStringLiteral("Value"), QStringLiteral("Recom"),
                    QStringLiteral("Alert"), QStringLiteral("Min"), QStringLiteral("Max") };
                bool ok = false;
                const double v = c.text.toDouble(&ok);
                if (kValueNames.contains(c.name) && ok)
                    values.push_back(v);
            }
        }
        CollectValues(item.children, unitType, values);
    }
}

std::vector<double> Values(const ConcreteVTRRule& rule, const char* unitType)
{
    std::vector<double> values;
    CollectValues(rule.Items(), QString::fromLatin1(unitType), values);
    return values;
}

bool CloseTo(double expected, double actual, double relative)
{
    return std::fabs(expected - actual) <= relative * std::max(std::fabs(expected), 1e-300);
}

bool HasChild(const std::vector<VtrRuleItem>& items, const QString& name)
{
    for (const VtrRuleItem& item : items)
        if (item.name == name || HasChild(item.children, name))
            return true;
    return false;
}

class RuleModules : public ::testing::Test
{
protected:
    ScopedTestEnv m_env;
};

// ---------------------------------------------------------------- loading

TEST(RuleModulesLoading, LoadsEveryModuleWithItsExports)
{
    ScopedTestEnv env;
    for (const ExpectedModule& expected : kModules) {
        SCOPED_TRACE(expected.library);
        const Module* m = nullptr;
        for (const Module& candidate : Modules())
            if (candidate.library == QLatin1String(expected.library))
                m = &candidate;
        ASSERT_NE(m, nullptr);
        ASSERT_NE(m->handle, nullptr) << VtrLibrary::LastError().toStdString();
        EXPECT_TRUE(m->Complete());
        // The hardware database editor belongs to the assembly module alone.
        EXPECT_EQ(m->launchFastenerDatabaseDlg != nullptr,
            QLatin1String(expected.library) == QLatin1String("VTRAssemblyRulesu"));

        QString name = QStringLiteral("Module Name");
        m->getModuleName(&name);
        EXPECT_EQ(name, QString::fromLatin1(expected.displayName));
        QString summary;
        m->getModuleSummary(&summary);
        EXPECT_GT(summary.size(), 20);
        // Null arguments are ignored rather than followed.
        m->getModuleName(nullptr);
        m->getModuleSummary(nullptr);
        m->getAllRules(nullptr);
        m->deleteRule(nullptr);
    }
}

TEST_F(RuleModules, FastenerDatabaseCommandWithoutWindowChangesNothing)
{
    REQUIRE_MODULE(m, "VTRAssemblyRulesu");
    RuleSet before(m);
    VtrXMLDocument doc;
    const QString markup = Markup(m, before.At(0), doc);
    m.launchFastenerDatabaseDlg(nullptr);
    RuleSet after(m);
    ASSERT_EQ(after.Size(), before.Size());
    EXPECT_EQ(Markup(m, after.At(0), doc), markup);
}

// ---------------------------------------------------------------- catalogues

TEST_F(RuleModules, CataloguesAreLargeUniqueAndComplete)
{
    QStringList categories;
    int total = 0;
    QHash<int, QString> helpIds;
    QSet<QString> identities;
    for (const ExpectedModule& expected : kModules) {
        SCOPED_TRACE(expected.library);
        const Module* m = FindModule(QString::fromLatin1(expected.library));
        ASSERT_NE(m, nullptr);
        RuleSet rules(*m);
        EXPECT_GE(rules.Size(), expected.minimumRules);
        total += rules.Size();
        for (int i = 0; i < rules.Size(); ++i) {
            ConcreteVTRRule* r = rules.At(i);
            ASSERT_NE(r, nullptr);
            SCOPED_TRACE(r->GetRuleName().toStdString());
            EXPECT_FALSE(r->GetRuleName().isEmpty());
            EXPECT_FALSE(r->GetDisplayName().isEmpty());
            EXPECT_GT(r->GetSummary().size(), 30);
            EXPECT_FALSE(r->GetValidatorName().isEmpty());
            EXPECT_FALSE(r->GetRuleModuleName().isEmpty());
            EXPECT_GE(r->GetRuleCategoryEnum(), 0) << r->GetRuleCategory().toStdString();
            EXPECT_GE(r->GetCriticality(), 1);
            EXPECT_LE(r->GetCriticality(), 5);
            EXPECT_EQ(r->GetSelected(), 0);
            EXPECT_EQ(r->GetRuleUnits(), RuleUnits());
            EXPECT_FALSE(r->Items().empty());
            EXPECT_GT(r->GetHelpId(), 0);
            EXPECT_FALSE(helpIds.contains(r->GetHelpId()))
                << "help id " << r->GetHelpId() << " also used by " << helpIds.value(r->GetHelpId()).toStdString();
            helpIds.insert(r->GetHelpId(), r->GetRuleName());
            const QString identity
                = r->GetRuleName().toCaseFolded() + QLatin1Char('|') + r->GetRuleCategory().toCaseFolded();
            EXPECT_FALSE(identities.contains(identity)) << "name and category repeated";
            identities.insert(identity);
        }
    }
    EXPECT_GE(total, 300);
}

struct SpecialRule
{
    const char* library;
    const char* name;
    const char* category;
    const char* moduleName;
};

const SpecialRule kSpecialRules[] = {
    { "VtrSMRulesu", "SM - Minimum Hole Diameter", "Sheet Metal", "Sheet Metal Rules" },
    { "VtrSMRulesu", "SM - Minimum Distance between Holes", "Sheet Metal", "Sheet Metal Rules" },
    { "VtrSMRulesu", "SM - Minimum Flange Width", "Sheet Metal", "Sheet Metal Rules" },
    { "VtrSMRulesu", "Curl - External Bend Distance", "Sheet Metal", "Sheet Metal Rules" },
    { "VtrMillRulesu", "Standard Hole Sizes", "Drilling", "Prismatic Mill Rules" },
    { "VTRTubingRulesu", "Minimum Bending Radius for Tubes and Hoses", "Tubing", "Tubing Rules" },
    { "VTRAssemblyRulesu", "Interference Detection", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Minimum Clearance Between Components", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Recommended Thread Connection", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Fastener Engagement Length", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Check Preferred Components", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Check Contact Material", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Fastener Clearance", "Assembly", "Assembly Rules" },
    { "VTRAssemblyRulesu", "Fastener Accessibility - Based On Fastening Tool Parameters", "Assembly",
        "Assembly Rules" },
    { "VTRFormRulesu", "Recommended Bend Radius and Tolerance", "Sheet Metal Forming", "Sheet Metal Forming Rules" },
    { "VTRManualCheckRulesu", "Title Block Complete", "Drafting", "Manual Check Drafting Rules" },
    { "VTRManualCheckRulesu", "Material Specification Confirmed", "Manual Check", "Manual Check Rules" },
};

TEST_F(RuleModules, SpecialRulesLiveInTheirModules)
{
    for (const SpecialRule& special : kSpecialRules) {
        SCOPED_TRACE(special.name);
        const Module* m = FindModule(QString::fromLatin1(special.library));
        ASSERT_NE(m, nullptr);
        RuleSet rules(*m);
        ConcreteVTRRule* r = rules.Find(QString::fromLatin1(special.name));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetRuleCategory(), QString::fromLatin1(special.category));
        EXPECT_EQ(r->GetRuleModuleName(), QString::fromLatin1(special.moduleName));
    }
}

TEST_F(RuleModules, SpecialRulesCarryTheirLayout)
{
    {
        REQUIRE_MODULE(smModule, "VtrSMRulesu");
        RuleSet sm(smModule);
        const std::pair<const char*, int> ids[]
            = { { "Curl - External Bend Distance", 19053 }, { "SM - Minimum Distance between Holes", 19054 },
                  { "SM - Minimum Hole Diameter", 19055 }, { "SM - Minimum Flange Width", 19056 } };
        for (const auto& [name, id] : ids) {
            ConcreteVTRRule* r = sm.Find(QString::fromLatin1(name));
            ASSERT_NE(r, nullptr) << name;
            EXPECT_EQ(r->GetRuleId(), id) << name;
        }
    }
    {
        REQUIRE_MODULE(mill, "VtrMillRulesu");
        RuleSet rules(mill);
        ConcreteVTRRule* holes = rules.Find(QStringLiteral("Standard Hole Sizes"));
        ASSERT_NE(holes, nullptr);
        VtrXMLDocument doc;
        mill.setXMLDoc(&doc);
        std::unique_ptr<VtrXMLNode> node(holes->GetXML());
        mill.setXMLDoc(nullptr);
        ASSERT_NE(node, nullptr);
        for (const char* attribute :
            { "DBCategory", "StdHoleUnit", "StdHoleFilterType", "StdHoleTolerance", "StdHoleToleranceUnit" }) {
            QString value;
            EXPECT_TRUE(node->GetAttributeValue(QString::fromLatin1(attribute), value)) << attribute;
            EXPECT_FALSE(value.isEmpty()) << attribute;
        }
    }
    {
        REQUIRE_MODULE(assembly, "VTRAssemblyRulesu");
        RuleSet rules(assembly);
        ConcreteVTRRule* clearance = rules.Find(QStringLiteral("Minimum Clearance Between Components"));
        ASSERT_NE(clearance, nullptr);
        int tableParameters = 0;
        for (const VtrRuleItem& item : clearance->Items())
            if (item.name == QLatin1String("Parameter")
                && item.Attribute(QStringLiteral("Type")) == QLatin1String("2048"))
                ++tableParameters;
        EXPECT_EQ(tableParameters, 1);
    }
    // Rules set up through configurations and through definitions exist.
    bool configured = false;
    bool defined = false;
    for (const Module* m : UsableModules()) {
        RuleSet rules(*m);
        for (int i = 0; i < rules.Size(); ++i) {
            const auto& items = rules.At(i)->Items();
            configured = configured
                || (HasChild(items, QStringLiteral("SelectedConfig"))
                    && HasChild(items, QStringLiteral("ConstraintList")));
            defined = defined
                || (HasChild(items, QStringLiteral("ConstraintDefList"))
                    && HasChild(items, QStringLiteral("ValidationDefList")));
        }
    }
    EXPECT_TRUE(configured);
    EXPECT_TRUE(defined);
}

// ---------------------------------------------------------------- GetAllRules

TEST_F(RuleModules, GetAllRulesAppendsNewObjectsOnEveryCall)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    PtrArray rules;
    m.getAllRules(&rules);
    const int once = rules.GetSize();
    ASSERT_GT(once, 0);
    m.getAllRules(&rules);
    ASSERT_EQ(rules.GetSize(), 2 * once);
    QSet<void*> distinct;
    for (int i = 0; i < rules.GetSize(); ++i)
        distinct.insert(rules.GetAt(i));
    EXPECT_EQ(distinct.size(), 2 * once);

    // The copies are independent: changing one leaves the other as it was.
    auto* first = static_cast<CVtrRule*>(rules.GetAt(0));
    auto* twin = static_cast<CVtrRule*>(rules.GetAt(once));
    EXPECT_EQ(first->GetRuleName(), twin->GetRuleName());
    first->SetSelected(1);
    RuleUnits from;
    RuleUnits inches { VtrUnits::Inches, VtrUnits::Radians };
    first->UpdateRule(&from, &inches);
    EXPECT_EQ(twin->GetSelected(), 0);
    EXPECT_EQ(twin->GetRuleUnits(), RuleUnits());
    VtrXMLDocument doc;
    EXPECT_NE(Markup(m, first, doc), Markup(m, twin, doc));
    // Immutable texts are shared with the catalogue instead of copied.
    EXPECT_TRUE(first->GetSummary().isSharedWith(twin->GetSummary()));

    for (int i = 0; i < rules.GetSize(); ++i) {
        auto* r = static_cast<CVtrRule*>(rules.GetAt(i));
        m.deleteRule(&r);
        EXPECT_EQ(r, nullptr);
    }
}

// ---------------------------------------------------------------- GetRule

TEST_F(RuleModules, EveryRuleSurvivesElementToRuleToElement)
{
    for (const Module* module : UsableModules()) {
        const Module& m = *module;
        RuleSet rules(m);
        for (int i = 0; i < rules.Size(); ++i) {
            ConcreteVTRRule* original = rules.At(i);
            SCOPED_TRACE((m.library + QLatin1String(": ") + original->GetRuleName()).toStdString());
            VtrXMLDocument doc;
            m.setXMLDoc(&doc);
            std::unique_ptr<VtrXMLNode> node(original->GetXML());
            ASSERT_NE(node, nullptr);
            const QString markup = node->GetXML();
            OwnedRule back(m, node.get());
            ASSERT_NE(back.rule, nullptr);
            std::unique_ptr<VtrXMLNode> again(back.rule->GetXML());
            m.setXMLDoc(nullptr);
            ASSERT_NE(again, nullptr);
            EXPECT_EQ(again->GetXML(), markup);
            // What the element does not hold comes from the catalogue.
            EXPECT_EQ(back.rule->GetSummary(), original->GetSummary());
            // Texts read from the element share the catalogue's storage.
            EXPECT_TRUE(back.rule->GetRuleName().isSharedWith(original->GetRuleName()));
        }
    }
}

TEST_F(RuleModules, SelectedFlagComesBackAsWritten)
{
    REQUIRE_MODULE(m, "VTRAssemblyRulesu");
    RuleSet rules(m);
    for (int selected : { 1, 0 }) {
        rules.At(0)->SetSelected(selected);
        VtrXMLDocument doc;
        m.setXMLDoc(&doc);
        std::unique_ptr<VtrXMLNode> node(rules.At(0)->GetXML());
        OwnedRule back(m, node.get());
        m.setXMLDoc(nullptr);
        ASSERT_NE(back.rule, nullptr);
        EXPECT_EQ(back.rule->GetSelected(), selected);
    }
}

TEST_F(RuleModules, GetRuleTakesOnlyElementsOfItsOwnModule)
{
    // The first rule element of every module, offered to every module.
    std::vector<std::unique_ptr<VtrXMLDocument>> docs;
    std::vector<std::unique_ptr<VtrXMLNode>> elements;
    const auto& modules = UsableModules();
    for (const Module* m : modules) {
        RuleSet rules(*m);
        docs.push_back(std::make_unique<VtrXMLDocument>());
        m->setXMLDoc(docs.back().get());
        elements.emplace_back(rules.At(0)->GetXML());
        m->setXMLDoc(nullptr);
        ASSERT_NE(elements.back(), nullptr);
    }
    for (size_t owner = 0; owner < modules.size(); ++owner)
        for (size_t asked = 0; asked < modules.size(); ++asked) {
            OwnedRule r(*modules[asked], elements[owner].get());
            EXPECT_EQ(r.rule != nullptr, owner == asked)
                << modules[owner]->library.toStdString() << " element offered to "
                << modules[asked]->library.toStdString();
        }
}

TEST_F(RuleModules, GetRuleRefusesForeignAndUnmarkedElements)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    const char* const cases[] = {
        R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal"/>)",
        R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal" RuleModule=""/>)",
        R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal" RuleModule="Interactive User Defined Rule"/>)",
        R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal" RuleModule="Sheet Metal Forming Rules"/>)",
        R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal" RuleModule="Sheet Metal Rules "/>)",
        R"(<Rule Name="x" RuleCategory="Sheet Metal" rulemodule="Sheet Metal Rules"/>)",
    };
    for (const char* xml : cases) {
        SCOPED_TRACE(xml);
        VtrXMLDocument doc;
        std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(xml, std::strlen(xml)));
        ASSERT_NE(root, nullptr);
        CVtrRule* rule = nullptr;
        m.getRule(root.get(), &rule);
        EXPECT_EQ(rule, nullptr);
    }
    // Missing arguments are refused as well.
    CVtrRule* rule = nullptr;
    m.getRule(nullptr, &rule);
    EXPECT_EQ(rule, nullptr);
    VtrXMLNode empty;
    m.getRule(&empty, &rule);
    EXPECT_EQ(rule, nullptr);
    VtrXMLDocument doc;
    const char xml[] = R"(<Rule Name="a" RuleModule="Sheet Metal Rules"/>)";
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(xml, sizeof xml - 1));
    m.getRule(root.get(), nullptr);
}

TEST_F(RuleModules, GetRuleKeepsWhatTheCatalogueDoesNotKnow)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    const char xml[]
        = R"(<Rule Name="Shop Specific Check" DisplayName="Shop Specific Check" RuleCategory="Sheet Metal" )"
          R"(Severity="1" RuleModule="Sheet Metal Rules" Selected="1" HelpId="99" RuleId="7" Validator="Mine" )"
          R"(LinearUnit="3" AngularUnit="0" Extra="kept"><Parameter Type="1" Status="0" Name="Gap" UnitType="Length">)"
          R"(<Operator>&gt;=</Operator><Value Attribute1="a">0.25</Value></Parameter><Note>free text</Note></Rule>)";
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(xml, sizeof xml - 1));
    ASSERT_NE(root, nullptr);
    const QString markup = root->GetXML();
    OwnedRule r(m, root.get());
    ASSERT_NE(r.rule, nullptr);
    EXPECT_EQ(r.rule->GetHelpId(), 99);
    EXPECT_EQ(r.rule->GetRuleUnits(), (RuleUnits { VtrUnits::Inches, VtrUnits::Degrees }));
    VtrXMLDocument out;
    EXPECT_EQ(Markup(m, r.rule, out), markup);
}

TEST_F(RuleModules, GetRuleMatchesTheCatalogueWithoutRegardToCase)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    RuleSet rules(m);
    ConcreteVTRRule* base = rules.Find(QStringLiteral("SM - Minimum Hole Diameter"));
    ASSERT_NE(base, nullptr);

    // An element with its own settings keeps them; one without settings takes
    // the catalogue's parameters, and a missing root attribute is filled in.
    const char withSettings[]
        = R"(<Rule Name="sm - minimum HOLE diameter" RuleCategory="SHEET METAL" RuleModule="sheet metal rules" Severity="1">)"
          R"(<Parameter Type="1" Status="1" Name="Minimum hole diameter" UnitType="Length"><Value>9</Value></Parameter></Rule>)";
    const char withoutSettings[]
        = R"(<Rule Name="SM - Minimum Hole Diameter" RuleCategory="Sheet Metal" RuleModule="Sheet Metal Rules" Selected="1"/>)";
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> own(doc.LoadFromBuffer(withSettings, sizeof withSettings - 1));
    OwnedRule a(m, own.get());
    ASSERT_NE(a.rule, nullptr);
    EXPECT_EQ(a.rule->GetSummary(), base->GetSummary());
    EXPECT_EQ(a.rule->GetRuleName(), QStringLiteral("sm - minimum HOLE diameter"));
    EXPECT_EQ(a.rule->GetCriticality(), 1);
    EXPECT_EQ(a.rule->GetRuleId(), base->GetRuleId());
    auto* concrete = dynamic_cast<ConcreteVTRRule*>(a.rule);
    ASSERT_NE(concrete, nullptr);
    EXPECT_EQ(Values(*concrete, "Length"), std::vector<double> { 9 });

    VtrXMLDocument doc2;
    std::unique_ptr<VtrXMLNode> bare(doc2.LoadFromBuffer(withoutSettings, sizeof withoutSettings - 1));
    OwnedRule b(m, bare.get());
    ASSERT_NE(b.rule, nullptr);
    concrete = dynamic_cast<ConcreteVTRRule*>(b.rule);
    ASSERT_NE(concrete, nullptr);
    EXPECT_EQ(concrete->GetSelected(), 1);
    EXPECT_EQ(Values(*concrete, "Length"), Values(*base, "Length"));

    REQUIRE_MODULE(mill, "VtrMillRulesu");
    const char holes[]
        = R"(<Rule Name="Standard Hole Sizes" RuleCategory="Drilling" RuleModule="Prismatic Mill Rules" )"
          R"(StdHoleTolerance="0.1"><Parameter Type="8" Name="Standard drill diameters" UnitType="Length">)"
          R"(<Value>3</Value></Parameter></Rule>)";
    VtrXMLDocument doc3;
    std::unique_ptr<VtrXMLNode> holeNode(doc3.LoadFromBuffer(holes, sizeof holes - 1));
    OwnedRule c(mill, holeNode.get());
    ASSERT_NE(c.rule, nullptr);
    VtrXMLDocument out;
    mill.setXMLDoc(&out);
    std::unique_ptr<VtrXMLNode> written(c.rule->GetXML());
    mill.setXMLDoc(nullptr);
    ASSERT_NE(written, nullptr);
    QString tolerance, category;
    EXPECT_TRUE(written->GetAttributeValue(QStringLiteral("StdHoleTolerance"), tolerance));
    EXPECT_EQ(tolerance, QStringLiteral("0.1"));
    EXPECT_TRUE(written->GetAttributeValue(QStringLiteral("DBCategory"), category));
    EXPECT_FALSE(category.isEmpty());
}

TEST_F(RuleModules, DeleteRuleDestroysAndNulls)
{
    REQUIRE_MODULE(m, "VtrTurnRulesu");
    PtrArray rules;
    m.getAllRules(&rules);
    ASSERT_GT(rules.GetSize(), 0);
    for (int i = 0; i < rules.GetSize(); ++i) {
        auto* r = static_cast<CVtrRule*>(rules.GetAt(i));
        m.deleteRule(&r);
        EXPECT_EQ(r, nullptr);
        m.deleteRule(&r); // a second call on the nulled pointer is harmless
    }
}

// ---------------------------------------------------------------- documents

TEST_F(RuleModules, ElementsAreBuiltInTheModulesDocument)
{
    REQUIRE_MODULE(m, "VTRCablingRulesu");
    RuleSet rules(m);
    VtrXMLDocument moduleDoc;
    VtrXMLDocument frameworkDoc;
    SetXMLDoc(&frameworkDoc);
    m.setXMLDoc(&moduleDoc);
    std::unique_ptr<VtrXMLNode> inModuleDoc(rules.At(0)->GetXML());
    m.setXMLDoc(nullptr);
    std::unique_ptr<VtrXMLNode> inFrameworkDoc(rules.At(0)->GetXML());
    SetXMLDoc(nullptr);
    std::unique_ptr<VtrXMLNode> nowhere(rules.At(0)->GetXML());
    ASSERT_NE(inModuleDoc, nullptr);
    ASSERT_NE(inFrameworkDoc, nullptr);
    EXPECT_EQ(inModuleDoc->Owner(), &moduleDoc);
    EXPECT_EQ(inFrameworkDoc->Owner(), &frameworkDoc);
    EXPECT_EQ(nowhere, nullptr);

    // The database-module list is copied, so the caller may drop its own.
    {
        QStringList list { QStringLiteral("/opt/vtr/VtrSqliteDatabaseu.so") };
        m.setDBModuleList(&list);
    }
    m.setDBModuleList(nullptr);
}

// ---------------------------------------------------------------- units

struct UnitPath
{
    const char* label;
    std::vector<RuleUnits> steps; // starts and ends in millimetres and degrees
};

TEST_F(RuleModules, UnitConversionsThereAndBackRestoreEveryValue)
{
    const UnitPath paths[] = {
        { "mm-inch-mm", { { 0, 0 }, { VtrUnits::Inches, 0 }, { 0, 0 } } },
        { "deg-rad-deg", { { 0, 0 }, { 0, VtrUnits::Radians }, { 0, 0 } } },
        { "every linear unit",
            { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 0 }, { 4, 0 }, { 5, 0 }, { 6, 0 }, { 7, 0 }, { 8, 0 }, { 9, 0 },
                { 10, 0 }, { 0, 0 } } },
        { "both at once",
            { { 0, 0 }, { VtrUnits::Microinches, VtrUnits::Radians }, { VtrUnits::Miles, VtrUnits::DegreesMinutes },
                { 0, 0 } } },
    };
    int lengthRules = 0;
    int angleRules = 0;
    int areaOrVolumeRules = 0;
    for (const UnitPath& path : paths) {
        SCOPED_TRACE(path.label);
        for (const Module* m : UsableModules()) {
            RuleSet rules(*m);
            for (int i = 0; i < rules.Size(); ++i) {
                ConcreteVTRRule* r = rules.At(i);
                SCOPED_TRACE(r->GetRuleName().toStdString());
                const char* const kinds[] = { "Length", "Angle", "Area", "Volume" };
                std::vector<double> before[4];
                for (int k = 0; k < 4; ++k)
                    before[k] = Values(*r, kinds[k]);
                for (size_t s = 1; s < path.steps.size(); ++s) {
                    ASSERT_TRUE(r->UpdateRule(&path.steps[s - 1], &path.steps[s]));
                    EXPECT_EQ(r->GetRuleUnits(), path.steps[s]);
                }
                for (int k = 0; k < 4; ++k) {
                    SCOPED_TRACE(kinds[k]);
                    const std::vector<double> back = Values(*r, kinds[k]);
                    ASSERT_EQ(back.size(), before[k].size());
                    for (size_t v = 0; v < back.size(); ++v)
                        EXPECT_TRUE(CloseTo(before[k][v], back[v], 1e-9))
                            << before[k][v] << " came back as " << back[v];
                }
                lengthRules += before[0].empty() ? 0 : 1;
                angleRules += before[1].empty() ? 0 : 1;
                areaOrVolumeRules += before[2].empty() && before[3].empty() ? 0 : 1;
            }
        }
    }
    EXPECT_GT(lengthRules, 100);
    EXPECT_GT(angleRules, 10);
    EXPECT_GT(areaOrVolumeRules, 0);
}

TEST_F(RuleModules, UnitConversionUsesExactFactors)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    RuleSet rules(m);
    ConcreteVTRRule* hole = rules.Find(QStringLiteral("SM - Minimum Hole Diameter"));
    ConcreteVTRRule* countersink = rules.Find(QStringLiteral("Countersink - Maximum Depth"));
    ASSERT_NE(hole, nullptr);
    ASSERT_NE(countersink, nullptr);
    const std::vector<double> mm = Values(*hole, "Length");
    const std::vector<double> ratios = Values(*hole, "None");
    const std::vector<double> degrees = Values(*countersink, "Angle");
    ASSERT_FALSE(mm.empty());
    ASSERT_FALSE(degrees.empty());
    const RuleUnits metric;
    const RuleUnits imperial { VtrUnits::Inches, VtrUnits::Radians };
    hole->UpdateRule(&metric, &imperial);
    countersink->UpdateRule(&metric, &imperial);
    const std::vector<double> inches = Values(*hole, "Length");
    const std::vector<double> radians = Values(*countersink, "Angle");
    ASSERT_EQ(inches.size(), mm.size());
    // Converted values are kept to 15 significant digits, so that a round
    // trip gives the original texts back.
    for (size_t k = 0; k < mm.size(); ++k)
        EXPECT_TRUE(CloseTo(mm[k] / 25.4, inches[k], 1e-14)) << inches[k];
    for (size_t k = 0; k < degrees.size(); ++k)
        EXPECT_TRUE(CloseTo(degrees[k] * std::numbers::pi / 180.0, radians[k], 1e-14)) << radians[k];
    // Values without a unit are not touched.
    EXPECT_EQ(Values(*hole, "None"), ratios);
}

TEST_F(RuleModules, AreasAndVolumesFollowTheSquareAndCubeOfTheLength)
{
    REQUIRE_MODULE(generic, "VtrGenericRulesu");
    REQUIRE_MODULE(assembly, "VTRAssemblyRulesu");
    RuleSet general(generic);
    RuleSet assemblies(assembly);
    ConcreteVTRRule* face = general.Find(QStringLiteral("Minimum Face Area"));
    ConcreteVTRRule* interference = assemblies.Find(QStringLiteral("Interference Detection"));
    ASSERT_NE(face, nullptr);
    ASSERT_NE(interference, nullptr);
    const std::vector<double> squareMm = Values(*face, "Area");
    const std::vector<double> cubicMm = Values(*interference, "Volume");
    ASSERT_EQ(squareMm, (std::vector<double> { 0.01, 0.1, 0.001 }));
    ASSERT_EQ(cubicMm, (std::vector<double> { 0.001 }));

    const RuleUnits metric;
    const RuleUnits centimetres { VtrUnits::Centimeters, VtrUnits::Radians };
    face->UpdateRule(&metric, &centimetres);
    interference->UpdateRule(&metric, &centimetres);
    const std::vector<double> squareCm = Values(*face, "Area");
    const std::vector<double> cubicCm = Values(*interference, "Volume");
    ASSERT_EQ(squareCm.size(), squareMm.size());
    for (size_t k = 0; k < squareMm.size(); ++k)
        EXPECT_TRUE(CloseTo(squareMm[k] / 100.0, squareCm[k], 1e-15)) << squareCm[k];
    ASSERT_EQ(cubicCm.size(), 1u);
    EXPECT_TRUE(CloseTo(cubicMm[0] / 1000.0, cubicCm[0], 1e-15)) << cubicCm[0];

    // Angles changed with the pair; areas only follow the length unit.
    const RuleUnits inches { VtrUnits::Inches, VtrUnits::Radians };
    face->UpdateRule(&centimetres, &inches);
    const std::vector<double> squareIn = Values(*face, "Area");
    for (size_t k = 0; k < squareMm.size(); ++k)
        EXPECT_TRUE(CloseTo(squareMm[k] / (25.4 * 25.4), squareIn[k], 1e-12)) << squareIn[k];
}

// ---------------------------------------------------------------- rule operations

TEST_F(RuleModules, UpdateRuleFromAnotherRuleTakesItsSettings)
{
    REQUIRE_MODULE(m, "VtrMillRulesu");
    RuleSet edited(m);
    RuleSet fresh(m);
    ConcreteVTRRule* source = edited.At(1);
    ConcreteVTRRule* target = fresh.At(1);
    source->SetCriticality(5);
    source->Items().front().children.back().text = QStringLiteral("42");
    ASSERT_TRUE(target->UpdateRule(source));
    VtrXMLDocument doc;
    EXPECT_EQ(Markup(m, target, doc), Markup(m, source, doc));
    EXPECT_FALSE(target->UpdateRule(nullptr));
}

class CountingEditor : public IVtrRuleEditor
{
public:
    bool EditRule(ConcreteVTRRule& rule) override
    {
        ++calls;
        rule.SetCriticality(1);
        return true;
    }
    int calls = 0;
};

TEST_F(RuleModules, EditRuleUsesTheRegisteredEditorOnly)
{
    REQUIRE_MODULE(m, "VTRWeldRulesu");
    RuleSet rules(m);
    ConcreteVTRRule* rule = rules.At(0);
    VtrXMLDocument doc;
    const QString before = Markup(m, rule, doc);
    VtrSetRuleEditor(nullptr);
    EXPECT_FALSE(rule->EditRule());
    EXPECT_EQ(Markup(m, rule, doc), before);

    CountingEditor editor;
    VtrSetRuleEditor(&editor);
    EXPECT_TRUE(rule->EditRule());
    VtrSetRuleEditor(nullptr);
    EXPECT_EQ(editor.calls, 1);
    EXPECT_EQ(rule->GetCriticality(), 1);
}

} // namespace

TEST_F(RuleModules, RenamedCopiesShareTheSettingsTheyRepeat)
{
    REQUIRE_MODULE(m, "VtrSMRulesu");
    RuleSet rules(m);
    ConcreteVTRRule* base = rules.Find(QStringLiteral("SM - Minimum Hole Diameter"));
    ASSERT_NE(base, nullptr);
    ASSERT_FALSE(base->Items().empty());
    // The catalogue rule's own element, renamed, with its settings as they
    // are, changed, and written another way that reads the same.
    VtrXMLDocument out;
    const QString element = Markup(m, base, out);
    const QString renamed = QString(element).replace(QStringLiteral("Name=\"SM - Minimum Hole Diameter\""),
        QStringLiteral("Name=\"SM - Minimum Hole Diameter #2\""));
    ASSERT_NE(renamed, element);
    const qsizetype value = renamed.indexOf(QStringLiteral("<Value>"));
    ASSERT_GT(value, 0);
    const struct
    {
        const char* what;
        QString text;
        bool shared;
    } cases[] = {
        { "the same settings", renamed, true },
        { "a value changed", QString(renamed).insert(value + 7, QStringLiteral("1")), false },
        { "a comment inside a value", QString(renamed).insert(value + 7, QStringLiteral("<!-- c -->")), true },
    };
    for (const auto& c : cases) {
        const QByteArray text = c.text.toUtf8();
        VtrXMLDocument doc;
        std::unique_ptr<VtrXMLNode> node(doc.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
        ASSERT_NE(node, nullptr) << c.what;
        OwnedRule r(m, node.get());
        auto* concrete = dynamic_cast<ConcreteVTRRule*>(r.rule);
        ASSERT_NE(concrete, nullptr) << c.what;
        EXPECT_EQ(concrete->GetRuleName(), QStringLiteral("SM - Minimum Hole Diameter #2")) << c.what;
        // Shared with a rule of the catalogue (another may hold the same settings).
        EXPECT_EQ(concrete->ItemsShared(), c.shared) << c.what;
        // Whatever is shared, the rule is written back as it was read.
        VtrXMLDocument again;
        const QByteArray back = Markup(m, concrete, again).toUtf8();
        VtrXMLDocument expected;
        std::unique_ptr<VtrXMLNode> read(expected.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
        EXPECT_EQ(QString::fromUtf8(back), read->GetXML()) << c.what;
    }
}
