#include "ListedRules.h"

#include "PtrArray.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/ModuleLists.h"
#include "views/ModuleRuleSource.h"

#include <cstdio>

#include <QFileInfo>

namespace {
// Appends the rules of one GetAllRules or GetModuleRules call, stamped with
// the library they came from, as the rule list stamps them.
void Collect(PtrArray& rules, void* library, const QString& moduleName, std::vector<ListedRule>& out)
{
    auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(library, ModuleExports::kDeleteRule));
    const QString path = VtrLibrary::FileName(library);
    for (int32_t i = 0; i < rules.GetSize(); ++i) {
        auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
        if (!rule)
            continue;
        StampModuleRule(rule, path, moduleName);
        out.push_back({ rule, deleteRule });
    }
}
} // namespace

std::vector<ListedRule> ListOfferedRules(ModuleSet& modules)
{
    auto getModuleRules = reinterpret_cast<PFN_GetModuleRules>(
        VtrLibrary::Find(modules.configuratorLibrary, ModuleExports::kGetModuleRules));
    std::vector<ListedRule> listed;
    for (int32_t i = 0; i < modules.loadedRuleModules.GetSize(); ++i) {
        void* library = modules.loadedRuleModules.GetAt(i);
        auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(library, ModuleExports::kGetAllRules));
        if (!getAll)
            continue;
        PtrArray rules;
        getAll(&rules);
        Collect(rules, library, ModuleDisplayName(library), listed);
        // The configurator's rules for this module follow the module's own.
        const QString key = ConfiguratorKeyOfModule(QFileInfo(VtrLibrary::FileName(library)).fileName());
        if (getModuleRules && !key.isEmpty()) {
            PtrArray productRules;
            getModuleRules(&key, &productRules);
            Collect(productRules, modules.configuratorLibrary, ModuleDisplayName(modules.configuratorLibrary), listed);
        }
    }
    return listed;
}

void ReleaseOfferedRules(std::vector<ListedRule>& rules)
{
    for (ListedRule& l : rules)
        if (l.deleteRule && l.rule)
            l.deleteRule(&l.rule);
    rules.clear();
}

bool DatabaseWasReadable()
{
    vtr_db::IDatabaseCollector* database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    if (!database)
        return true;
    // Opened here if nothing has opened it yet, so that its state is known.
    database->Initialize();
    const QString problem = database->ReadProblem();
    if (problem.isEmpty())
        return true;
    std::fprintf(stderr, "vtrpro-rules: %s\n", qUtf8Printable(problem));
    return false;
}
