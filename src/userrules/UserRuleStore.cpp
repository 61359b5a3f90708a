#include "userrules/UserRuleStore.h"

#include "modules/ModuleContract.h"
#include "PLQRuleConfigurator.h"
#include "PtrArray.h"
#include "VtrLibrary.h"

#include <QMap>
#include <QStringList>

namespace {
using PFN_GetUserRuleKeys = void (*)(QStringList*, QMap<QString, QStringList>*);
using PFN_GetStoredUserRules = bool (*)(PtrArray*, QStringList*, QString*);
using PFN_StoreUserRule
    = int32_t (*)(const QString*, CVtrRule*, const QString*, const QString*, const QString*, QString*);
using PFN_RemoveUserRule = int32_t (*)(const QString*, const QString*, QString*);
using PFN_CreateUserRule = int32_t (*)(const QString*, CVtrRule*, const QString*, QString*);

template <typename F> F Export(void* library, const char* name)
{
    return library ? reinterpret_cast<F>(VtrLibrary::Find(library, name)) : nullptr;
}

const char kNoConfigurator[] = "The product-rule configurator is not available.";
} // namespace

UserRuleStore::UserRuleStore(void* configuratorLibrary)
    : m_library(configuratorLibrary)
{ }

bool UserRuleStore::IsUsable() const
{
    return Export<PFN_GetUserRuleKeys>(m_library, "GetUserRuleKeys")
        && Export<PFN_GetStoredUserRules>(m_library, "GetStoredUserRules")
        && Export<PFN_StoreUserRule>(m_library, "StoreUserRule")
        && Export<PFN_CreateUserRule>(m_library, "CreateUserRule")
        && Export<PFN_RemoveUserRule>(m_library, "RemoveUserRule")
        && Export<PFN_DeleteRule>(m_library, ModuleExports::kDeleteRule);
}

UserRuleKeys UserRuleStore::Keys() const
{
    UserRuleKeys keys;
    if (auto get = Export<PFN_GetUserRuleKeys>(m_library, "GetUserRuleKeys"))
        get(&keys.keys, &keys.categories);
    return keys;
}

bool UserRuleStore::List(std::vector<Entry>& entries, QString& error) const
{
    entries.clear();
    auto get = Export<PFN_GetStoredUserRules>(m_library, "GetStoredUserRules");
    auto release = Export<PFN_DeleteRule>(m_library, ModuleExports::kDeleteRule);
    if (!get || !release) {
        error = QLatin1String(kNoConfigurator);
        return false;
    }
    PtrArray rules;
    QStringList keys;
    const bool ok = get(&rules, &keys, &error);
    for (int32_t i = 0; i < rules.GetSize(); ++i) {
        auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
        auto* configurator = dynamic_cast<CPLQRuleConfigurator*>(rule);
        auto deleter = [release](CPLQRuleConfigurator* r) {
            CVtrRule* base = r;
            release(&base);
        };
        if (!configurator) {
            release(&rule);
            continue;
        }
        entries.push_back({ keys.value(i), std::shared_ptr<CPLQRuleConfigurator>(configurator, deleter) });
    }
    return ok;
}

UserRuleStore::Entry UserRuleStore::Find(const QString& name, const QString& category, QString& error) const
{
    // The rules the list shows for the category's key: the shipped product
    // rules with the stored rules over them.
    auto getModuleRules = Export<PFN_GetModuleRules>(m_library, ModuleExports::kGetModuleRules);
    auto release = Export<PFN_DeleteRule>(m_library, ModuleExports::kDeleteRule);
    if (!getModuleRules || !release) {
        error = QLatin1String(kNoConfigurator);
        return {};
    }
    const QString key = Keys().KeyOfCategory(category);
    if (key.isEmpty())
        return {};
    PtrArray rules;
    getModuleRules(&key, &rules);
    Entry found;
    for (int32_t i = 0; i < rules.GetSize(); ++i) {
        auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
        auto* configurator = dynamic_cast<CPLQRuleConfigurator*>(rule);
        if (!found.rule && configurator && rule->GetRuleName().compare(name, Qt::CaseInsensitive) == 0
            && rule->GetRuleCategory().compare(category, Qt::CaseInsensitive) == 0) {
            found = { key, std::shared_ptr<CPLQRuleConfigurator>(configurator, [release](CPLQRuleConfigurator* r) {
                         CVtrRule* base = r;
                         release(&base);
                     }) };
            continue;
        }
        release(&rule);
    }
    return found;
}

bool UserRuleStore::Store(const UserRuleDraft& draft, const RuleUnits& units, const QString& previousName,
    const QString& previousCategory, QString& error)
{
    auto store = Export<PFN_StoreUserRule>(m_library, "StoreUserRule");
    auto create = Export<PFN_CreateUserRule>(m_library, "CreateUserRule");
    if (!store || !create) {
        error = QLatin1String(kNoConfigurator);
        return false;
    }
    std::unique_ptr<CPLQRuleConfigurator> rule = UserRuleDrafts::Build(draft, units, error);
    if (!rule)
        return false;
    const QString markup = UserRuleDrafts::Markup(*rule);
    // A new rule is stored only when its name is free at the moment of
    // writing: another copy may have stored it since the names were checked.
    if (previousName.isEmpty())
        return create(&draft.key, rule.get(), &markup, &error) == 0;
    return store(&draft.key, rule.get(), &previousName, &previousCategory, &markup, &error) == 0;
}

int32_t UserRuleStore::Remove(const QString& name, const QString& category, QString& error)
{
    auto remove = Export<PFN_RemoveUserRule>(m_library, "RemoveUserRule");
    if (!remove) {
        error = QLatin1String(kNoConfigurator);
        return -1;
    }
    return remove(&name, &category, &error);
}
