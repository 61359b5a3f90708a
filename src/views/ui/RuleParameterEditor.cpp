#include "views/ui/RuleParameterEditor.h"

#include "ConcreteVTRRule.h"
#include "views/RuleParameters.h"
#include "views/ui/RuleParameterDlg.h"

#include <QApplication>

CRuleParameterEditor::CRuleParameterEditor(const ModuleSet& modules, std::function<QWidget*()> parent)
    : m_modules(modules)
    , m_parent(std::move(parent))
{ }

bool CRuleParameterEditor::EditRule(ConcreteVTRRule& rule)
{
    const std::unique_ptr<ConcreteVTRRule> defaults = FreshModuleRule(m_modules, rule);
    RuleParameterEdit edit(rule, defaults.get());
    QWidget* parent = m_parent ? m_parent() : nullptr;
    if (!parent)
        parent = QApplication::activeWindow();
    CRuleParameterDlg dialog(edit, rule, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return edit.Apply(rule);
}
