// The exports of one rule module. Every module library is built from this
// file and its own catalogue; VTR_RULE_MODULE_LIBRARY names the library.

#include "ModuleContract.h"
#include "ModuleRule.h"
#include "RuleCatalogue.h"

#include "PtrArray.h"
#include "VtrProLog.h"
#include "VtrXMLNode.h"

#include <cstddef>

#include <QStringList>

#ifndef VTR_RULE_MODULE_LIBRARY
#error "VTR_RULE_MODULE_LIBRARY must name the module library"
#endif

#define VTR_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

extern const char kRuleCatalogue[];
extern const std::size_t kRuleCatalogueSize;

namespace {
VtrXMLDocument* g_document = nullptr;
// Kept for rules that look data up in the configured database modules.
QStringList g_databaseModules;

const RuleCatalogue& Catalogue()
{
    static const RuleCatalogue catalogue = [] {
        RuleCatalogue c;
        QString error;
        if (!c.Load(kRuleCatalogue, kRuleCatalogueSize, error)) {
            // The module then offers no rules; the log says why.
            CVtrProLog::PrintMessage(QStringLiteral(VTR_RULE_MODULE_LIBRARY ": %1").arg(error), __FILE__, __LINE__);
        }
        return c;
    }();
    return catalogue;
}
} // namespace

VtrXMLDocument* ModuleXMLDoc()
{
    return g_document;
}

VTR_MODULE_EXPORT void GetModuleName(QString* name)
{
    if (name)
        *name = Catalogue().ModuleName();
}

VTR_MODULE_EXPORT void GetModuleSummary(QString* summary)
{
    if (summary)
        *summary = Catalogue().Summary();
}

VTR_MODULE_EXPORT void GetAllRules(PtrArray* rules)
{
    if (!rules)
        return;
    for (const auto& prototype : Catalogue().Rules())
        rules->Add(new CVtrModuleRule(*prototype));
}

VTR_MODULE_EXPORT void GetRule(VtrXMLNode* ruleNode, CVtrRule** rule)
{
    if (!rule)
        return;
    if (!ruleNode || ruleNode->IsNull())
        return;
    // Every module is offered every element: the test runs on the text as
    // read, without making a string of it.
    const char* moduleName = ruleNode->AttributeText("RuleModule");
    if (!moduleName)
        return;
    const RuleCatalogue& catalogue = Catalogue();
    if (!catalogue.OwnsModuleName(moduleName))
        return;
    const pugi::xml_node element = ruleNode->Native();

    // A rule of the catalogue starts from its defaults (summary, parameters);
    // anything else the module's name was stamped on still becomes a rule,
    // so nothing a user saved is dropped.
    const CVtrModuleRule* base
        = catalogue.Find(element.attribute("Name").value(), element.attribute("RuleCategory").value());
    auto* result = base ? new CVtrModuleRule(*base) : new CVtrModuleRule();
    // A renamed copy of a catalogue rule mostly keeps that rule's settings:
    // offered them, it keeps them shared when they are the same.
    const CVtrModuleRule* like = base ? nullptr : catalogue.WithSettingsLike(element);
    if (like)
        result->ShareItems(*like);
    result->PopulateParametersFromXML(ruleNode);
    if (base) {
        // What the element leaves out keeps the catalogue's defaults: its
        // settings when it carries no child element, and root attributes
        // such as the hole-size filter that it does not mention.
        const bool hasChildElements
            = ruleNode->Native().find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
        if (!hasChildElements)
            result->ShareItems(*base);
        // The element's own attributes other than the common ones are the
        // rule's extra attributes now.
        auto& extras = result->ExtraAttributes();
        const size_t own = extras.size();
        for (const auto& [attribute, value] : base->ExtraAttributes()) {
            bool mentioned = false;
            for (size_t i = 0; i < own && !mentioned; ++i)
                mentioned = extras[i].first == attribute;
            if (!mentioned)
                extras.emplace_back(attribute, value);
        }
    }
    catalogue.Intern(*result, base ? base : like);
    *rule = result;
}

VTR_MODULE_EXPORT void DeleteRule(CVtrRule** rule)
{
    if (!rule)
        return;
    delete *rule;
    *rule = nullptr;
}

VTR_MODULE_EXPORT void SetXMLDoc(VtrXMLDocument* document)
{
    g_document = document;
}

VTR_MODULE_EXPORT void SetDBModuleList(const QStringList* databaseModules)
{
    g_databaseModules = databaseModules ? *databaseModules : QStringList();
}
