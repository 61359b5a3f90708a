// Exports of the product-rule configurator. Rules are CPLQRuleConfigurator
// objects (framework library): the shipped product rules of a key, then the
// custom and product rules users stored for it in the product database.

#include "ModuleContract.h"
#include "PLQRuleConfigurator.h"
#include "ProductRuleCatalogue.h"
#include "RuleMarkup.h"
#include "VTRDataHelper.h"
#include "VtrProLog.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <memory>
#include <vector>

#include <QHash>
#include <QStringList>

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
VtrXMLDocument* g_document = nullptr;
QStringList g_databaseModules;

void Log(const QString& message)
{
    CVtrProLog::PrintMessage(message, "PLQRuleConfigurator", __LINE__);
}

QString IdentityKey(const CVtrRule& rule)
{
    return rule.GetRuleName().toLower() + QChar(u'\x1f') + rule.GetRuleCategory().toLower();
}
} // namespace

// The configurator's own name, for lists that show one per library.
VTR_EXPORT void GetModuleName(QString* name)
{
    if (name)
        *name = QStringLiteral("Product Rule Configurator");
}

// Builds a rule only from a custom or product rule element.
VTR_EXPORT void GetRule(VtrXMLNode* ruleNode, CVtrRule** rule)
{
    if (!rule)
        return;
    *rule = nullptr;
    QString module;
    if (!ruleNode || ruleNode->IsNull() || !ruleNode->GetAttributeValue(QStringLiteral("RuleModule"), module)
        || !CPLQRuleConfigurator::IsConfiguratorModuleName(module))
        return;
    auto built = std::make_unique<CPLQRuleConfigurator>();
    if (built->PopulateParametersFromXML(ruleNode))
        *rule = built.release();
}

// Appends new rule objects of a key: shipped product rules first, then the
// rules stored for the key, a stored rule replacing a shipped one of the same
// name and category. An unknown key appends nothing.
VTR_EXPORT void GetModuleRules(const QString* key, PtrArray* rules)
{
    if (!key || !rules || !ProductRuleCatalogue::IsKnownKey(*key))
        return;
    std::vector<std::unique_ptr<CPLQRuleConfigurator>> found;
    QHash<QString, size_t> position;
    auto take = [&](std::unique_ptr<CPLQRuleConfigurator> rule) {
        const QString identity = IdentityKey(*rule);
        const auto it = position.constFind(identity);
        if (it != position.constEnd()) {
            // A stored edit of a shipped rule keeps the shipped rule's help id,
            // which its custom message and help page are kept under.
            rule->SetHelpId(found[it.value()]->GetHelpId());
            found[it.value()] = std::move(rule);
            return;
        }
        position.insert(identity, found.size());
        found.push_back(std::move(rule));
    };

    const ProductRuleEntry* entries = ProductRuleCatalogue::Entries();
    for (int i = 0; i < ProductRuleCatalogue::Count(); ++i) {
        if (*key != QLatin1String(entries[i].key))
            continue;
        auto rule = RuleFromMarkup(QString::fromUtf8(entries[i].element));
        if (!rule)
            continue; // the shipped table is checked by the tests
        rule->SetProductRule(true);
        rule->SetSummary(QString::fromUtf8(entries[i].summary));
        take(std::move(rule));
    }

    QList<vtr_db::StoredUserRule> stored;
    if (vtr_db::IDatabaseCollector* collector = vtr_db::VTRDataHelper::getInstance()->GetCollector())
        collector->GetStoredUserRules(*key, stored);
    for (const vtr_db::StoredUserRule& s : stored) {
        auto rule = RuleFromMarkup(s.element);
        if (!rule) {
            Log(QStringLiteral("A stored rule of %1 is not a usable rule element and is skipped").arg(*key));
            continue;
        }
        // The database's help id, not the element's: it keys the rule's
        // custom message and its help page. The list's copy knows which
        // stored version it shows.
        rule->SetHelpId(s.helpId);
        rule->SetStoredVersion(s.version);
        take(std::move(rule));
    }
    for (auto& rule : found)
        rules->Add(static_cast<CVtrRule*>(rule.release()));
}

// Destroys a rule this library created and nulls the pointer.
VTR_EXPORT void DeleteRule(CVtrRule** rule)
{
    if (!rule)
        return;
    delete *rule;
    *rule = nullptr;
}

VTR_EXPORT void SetXMLDoc(VtrXMLDocument* document)
{
    g_document = document;
}

VTR_EXPORT void SetDBModuleList(const QStringList* databaseModules)
{
    g_databaseModules = databaseModules ? *databaseModules : QStringList();
}
