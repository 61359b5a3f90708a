#include "userrules/UserRuleCommands.h"

#include "PLQRuleConfigurator.h"
#include "VtrRule.h"
#include "settings/RuleUnitSettings.h"
#include "userrules/UserRuleStore.h"

#include <memory>

RuleNameTable UserRuleCommands::NameTable(const QList<CVtrRule*>& rules)
{
    RuleNameTable table;
    for (const CVtrRule* rule : rules)
        if (rule)
            table[rule->GetRuleModuleName().toLower()].append(rule->GetRuleName().toLower());
    return table;
}

bool UserRuleCommands::Run(
    Mode mode, bool productRule, const Scene& scene, const Launcher& launch, const StoredHandler& stored)
{
    CPLQRuleConfigurator configurator;
    configurator.SetProductRule(productRule);
    auto data
        = std::make_unique<CPLQRuleCreationData>(&configurator, mode == Mode::Create ? PLQ_RULE_CREATE : PLQ_RULE_EDIT);
    if (scene.hasView)
        data->m_ruleNameTable = NameTable(scene.listedRules);
    RuleUnits units;
    if (scene.documentUnits)
        units = *scene.documentUnits;
    else
        LoadDefaultRuleUnits(units);
    data->m_nLinearUnit = units.LinearUnit;
    data->m_nAngularUnit = units.AngularUnit;

    if (mode == Mode::Create) {
        launch(QString(), QString(), *data);
        return true;
    }
    if (!scene.hasView || scene.selectedRules.size() != 1 || !scene.selectedRules.front())
        return false;
    CVtrRule* rule = scene.selectedRules.front();
    launch(rule->GetRuleName(), rule->GetRuleCategory(), *data);
    if (stored && !data->m_storedName.isEmpty())
        stored(*rule, data->m_storedName, data->m_storedCategory);
    return true;
}

bool UserRuleCommands::TakeStoredRule(
    CVtrRule& listed, const UserRuleStore& store, const QString& name, const QString& category)
{
    auto* copy = dynamic_cast<CPLQRuleConfigurator*>(&listed);
    if (!copy)
        return false;
    QString error;
    const UserRuleStore::Entry entry = store.Find(name, category, error);
    return entry.rule && UserRuleDrafts::TakeStored(*copy, *entry.rule);
}
