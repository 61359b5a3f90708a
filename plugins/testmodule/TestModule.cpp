// A rule module for the tests. It fulfils the module contract with three
// ConcreteVTRRule rules and records what the program hands it, readable
// through TestModuleGetRecorded. Built twice: the second build lacks
// SetDBModuleList and GetModuleName.

#include "ConcreteVTRRule.h"
#include "ModuleContract.h"
#include "VTRFrameWrkUtils.h"
#include "VtrXMLNode.h"

#include <QStringList>

namespace {
QStringList g_databaseModules;
int32_t g_setDbCalls = 0;
VtrXMLDocument* g_document = nullptr;
int32_t g_liveRules = 0;

constexpr const char* kRuleNames[] = { "TM - Hole Depth", "TM - Wall Thickness", "TM - Corner Radius" };

class TestRule : public ConcreteVTRRule
{
public:
    TestRule() { ++g_liveRules; }
    ~TestRule() override { --g_liveRules; }
};

bool IsOwnRule(const QString& name)
{
    for (const char* n : kRuleNames)
        if (name == QLatin1String(n))
            return true;
    return false;
}
} // namespace

extern "C" {

#if TESTMODULE_FULL
__attribute__((visibility("default"))) void GetModuleName(QString* name)
{
    if (name)
        *name = QStringLiteral("Test Rules");
}

__attribute__((visibility("default"))) void SetDBModuleList(const QStringList* databaseModules)
{
    ++g_setDbCalls;
    g_databaseModules = databaseModules ? *databaseModules : QStringList();
}
#endif

__attribute__((visibility("default"))) void GetModuleSummary(QString* summary)
{
    if (summary)
        *summary = QStringLiteral("Rules that exist only for the tests.");
}

__attribute__((visibility("default"))) void GetAllRules(PtrArray* rules)
{
    if (!rules)
        return;
    QStringList categories;
    CVTRFrameWrkUtils::GetRuleCategoryStringList(categories);
    int32_t id = 1;
    for (const char* n : kRuleNames) {
        auto* rule = new TestRule;
        rule->SetRuleName(QLatin1String(n));
        rule->SetDisplayName(QLatin1String(n));
        if (!categories.isEmpty())
            rule->SetRuleCategory(categories.first());
        rule->SetRuleId(id++);
        rules->Add(static_cast<CVtrRule*>(rule));
    }
}

__attribute__((visibility("default"))) void GetRule(VtrXMLNode* ruleNode, CVtrRule** rule)
{
    if (!ruleNode || !rule)
        return;
    QString name;
    if (!ruleNode->GetAttributeValue(QStringLiteral("Name"), name) || !IsOwnRule(name))
        return;
    auto* created = new TestRule;
    if (!created->PopulateParametersFromXML(ruleNode)) {
        delete created;
        return;
    }
    *rule = created;
}

__attribute__((visibility("default"))) void DeleteRule(CVtrRule** rule)
{
    if (!rule)
        return;
    delete *rule;
    *rule = nullptr;
}

__attribute__((visibility("default"))) void SetXMLDoc(VtrXMLDocument* document)
{
    g_document = document;
}

// What the program handed over so far: the last database list, how often
// SetDBModuleList ran, the last XML document and how many rules are alive.
__attribute__((visibility("default"))) void TestModuleGetRecorded(
    QStringList* databaseModules, int32_t* setDbCalls, VtrXMLDocument** document, int32_t* liveRules)
{
    if (databaseModules)
        *databaseModules = g_databaseModules;
    if (setDbCalls)
        *setDbCalls = g_setDbCalls;
    if (document)
        *document = g_document;
    if (liveRules)
        *liveRules = g_liveRules;
}
}
