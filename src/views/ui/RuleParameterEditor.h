#pragma once

#include "RuleEditor.h"

#include <functional>

class QWidget;
struct ModuleSet;

// The parameter editor the application registers with the framework, so
// that every module's EditRule opens it: the rule's parameters with the
// module's defaults (asked of the rule's module when the editor opens),
// written back only on OK.
//
//     CRuleParameterEditor editor(context.Modules(), [frame] { return frame; });
//     VtrSetRuleEditor(&editor);   // and VtrSetRuleEditor(nullptr) before it goes
class CRuleParameterEditor : public IVtrRuleEditor
{
public:
    CRuleParameterEditor(const ModuleSet& modules, std::function<QWidget*()> parent);

    bool EditRule(ConcreteVTRRule& rule) override;

private:
    const ModuleSet& m_modules;
    std::function<QWidget*()> m_parent;
};
