// Offers arbitrary XML to every rule module's GetRule: the root element and
// each of its element children, as a rule file reader would. Any rule that
// results is written back, converted between units and deleted.

#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include "RuleUnits.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
struct RuleModule
{
    PFN_GetRule getRule;
    PFN_DeleteRule deleteRule;
    PFN_SetXMLDoc setXMLDoc;
};

// Loaded once from the program folder and kept for the whole run.
const std::vector<RuleModule>& Modules()
{
    static const std::vector<RuleModule> modules = [] {
        std::vector<RuleModule> result;
        for (const QString& name : KnownModules::InstalledOrder()) {
            void* handle = VtrLibrary::Load(KnownModules::PathInProgramFolder(name));
            if (!handle) {
                std::fprintf(stderr, "rule module %s did not load\n", qPrintable(name));
                continue;
            }
            RuleModule m { reinterpret_cast<PFN_GetRule>(VtrLibrary::Find(handle, ModuleExports::kGetRule)),
                reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)),
                reinterpret_cast<PFN_SetXMLDoc>(VtrLibrary::Find(handle, ModuleExports::kSetXMLDoc)) };
            if (m.getRule && m.deleteRule && m.setXMLDoc)
                result.push_back(m);
        }
        if (result.empty())
            std::fprintf(stderr, "no rule module loaded; the target exercises nothing\n");
        return result;
    }();
    return modules;
}

void Offer(const RuleModule& module, VtrXMLNode* node)
{
    CVtrRule* rule = nullptr;
    module.getRule(node, &rule);
    if (!rule)
        return;
    std::unique_ptr<VtrXMLNode> written(rule->GetXML());
    if (written)
        (void)written->GetXML();
    const RuleUnits metric;
    const RuleUnits imperial { VtrUnits::Inches, VtrUnits::Radians };
    rule->UpdateRule(&metric, &imperial);
    rule->UpdateRule(&imperial, &metric);
    module.deleteRule(&rule);
    if (rule)
        __builtin_trap(); // DeleteRule must null the pointer
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto& modules = Modules();
    VtrXMLDocument doc;
    std::unique_ptr<VtrXMLNode> root(doc.LoadFromBuffer(reinterpret_cast<const char*>(data), size));
    if (!root)
        return 0;
    std::vector<std::unique_ptr<VtrXMLNode>> candidates;
    candidates.emplace_back(new VtrXMLNode(*root));
    if (VtrXMLNodeList* children = root->GetChildNodes()) {
        for (int i = 0; i < children->GetSize(); ++i) {
            VtrXMLNode* child = children->GetItem(i);
            if (child && !child->GetNodeName().isEmpty())
                candidates.emplace_back(new VtrXMLNode(*child));
        }
        VtrXMLNode::DeleteNodeList(children);
    }
    for (const RuleModule& module : modules) {
        module.setXMLDoc(&doc);
        for (const auto& node : candidates)
            Offer(module, node.get());
        module.setXMLDoc(nullptr);
    }
    return 0;
}
