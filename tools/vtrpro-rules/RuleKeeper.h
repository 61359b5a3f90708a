#pragma once

#include "ConcreteVTRRule.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <vector>

#include <QHash>

// Rules taken from modules, released through their modules when done, so
// the libraries can be freed afterwards.
class RuleKeeper
{
public:
    explicit RuleKeeper(ModuleSet& modules)
    {
        Index(modules.loadedRuleModules);
        Index(modules.loadedInstalledModules);
        if (modules.configuratorLibrary)
            AddHandle(modules.configuratorLibrary);
    }
    ~RuleKeeper()
    {
        for (CVtrRule* rule : m_rules)
            Release(rule);
    }
    RuleKeeper(const RuleKeeper&) = delete;
    RuleKeeper& operator=(const RuleKeeper&) = delete;

    void Keep(CVtrRule* rule) { m_rules.push_back(rule); }
    const std::vector<CVtrRule*>& Rules() const { return m_rules; }

private:
    void Index(const PtrArray& handles)
    {
        for (int32_t i = 0; i < handles.GetSize(); ++i)
            AddHandle(handles.GetAt(i));
    }
    void AddHandle(void* handle)
    {
        if (auto fn = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)))
            m_deleters.insert(VtrLibrary::FileName(handle), fn);
    }
    void Release(CVtrRule* rule)
    {
        if (!rule)
            return;
        if (PFN_DeleteRule fn = m_deleters.value(rule->GetModulePath()))
            fn(&rule);
        else if (dynamic_cast<ConcreteVTRRule*>(rule)
            && rule->GetRuleModuleName().compare(QLatin1String(RuleFileNames::kUserDefinedModule), Qt::CaseInsensitive)
                == 0)
            delete rule; // user-defined rules belong to the program
        // Any other rule belongs to a module without DeleteRule: it keeps it.
    }

    QHash<QString, PFN_DeleteRule> m_deleters;
    std::vector<CVtrRule*> m_rules;
};
