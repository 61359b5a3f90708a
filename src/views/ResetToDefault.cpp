#include "views/ResetToDefault.h"

#include "VtrRule.h"
#include "VtrXMLNode.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"
#include "views/RuleSettingsReport.h"

bool MarkRulesThatDiffer(const QString& documentPath, const QString& allRulesPath, const QList<CVtrRule*>& rules)
{
    if (rules.isEmpty())
        return false;
    RuleSettingsReport report;
    if (!report.Load(documentPath, allRulesPath))
        return false; // without both files no rule can be compared
    bool any = false;
    for (CVtrRule* rule : rules) {
        if (!rule)
            continue;
        const QString& name = rule->GetRuleName();
        const QString& category = rule->GetRuleCategory();
        // A rule the saved file does not hold is not compared.
        if (report.Current().Elements(name, category).empty() || IsNeverResetRule(name))
            continue;
        if (report.Compare(name, category) == SettingsVerdict::Differs) {
            rule->SetDiffersFromDefault(1);
            any = true;
        }
    }
    return any;
}

int ResetRulesToDefault(RuleListController& list, const QList<int>& rows, const QString& allRulesPath)
{
    CVTRRuleBuilderDoc* doc = list.Document();
    if (!doc)
        return -1;
    RuleElementIndex defaults;
    if (!defaults.Load(allRulesPath))
        return -1;
    RuleListModel* model = list.Model();
    int reset = 0;
    for (int row : rows) {
        CVtrRule* rule = model->RuleAt(row);
        if (!rule || defaults.Rules().empty() || rule->GetDiffersFromDefault() != 1)
            continue;
        const std::vector<pugi::xml_node>& elements = defaults.Elements(rule->GetRuleName(), rule->GetRuleCategory());
        if (elements.empty()) {
            if (list.onTitleChanged)
                list.onTitleChanged();
            continue;
        }
        const QString modulePath = rule->GetModulePath();
        // The element's own selected flag is not the list's: the row's check
        // state decides below, from the flag the list counted with.
        const int32_t selected = rule->GetSelected();
        VtrXMLNode element(elements.front(), defaults.Document());
        rule->PopulateParametersFromXML(&element);
        rule->SetSelected(selected);
        list.ApplyCheckState(row);
        rule->SetModulePath(modulePath);
        doc->SetModifiedFlag(true);
        rule->SetDiffersFromDefault(0);
        if (list.onTitleChanged)
            list.onTitleChanged();
        ++reset;
    }
    list.RefreshRuleTexts();
    return reset;
}
