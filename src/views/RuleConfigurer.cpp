#include "views/RuleConfigurer.h"

#include "ConcreteVTRRule.h"
#include "PLQRuleConfigurator.h"
#include "VtrRule.h"
#include "VtrRuleMarkup.h"
#include "Utilities/VTRUIUtils.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"

#include <string>
#include <utility>

namespace {
// Update hint: the summary of the focused rule is to be shown again.
constexpr int kHintSummaryRefresh = 4;
} // namespace

RuleConfigurer::RuleConfigurer(
    RuleListController& list, IRuleSettingsOwners& owners, std::function<void(int)> setEditInProgress)
    : m_list(list)
    , m_owners(owners)
    , m_setEditInProgress(std::move(setEditInProgress))
{ }

bool RuleConfigurer::IsUserDefinedModule(const QString& moduleName)
{
    return moduleName.compare(QLatin1String("Interactive User Defined Rule"), Qt::CaseInsensitive) == 0
        || moduleName.compare(QLatin1String("VSTA Rule"), Qt::CaseInsensitive) == 0;
}

bool RuleConfigurer::ConfigureRow(int row)
{
    CVtrRule* rule = m_list.Model()->RuleAt(row);
    if (!rule)
        return false;
    const bool changed = HandOver(rule);
    RefreshAfterwards(row, rule, changed);
    return true;
}

namespace {
// The rule's element as it would be saved; false when the rule has no
// writer of its own.
bool MarkupOf(const CVtrRule& rule, std::string& markup)
{
    VtrMarkupWriter out(VtrMarkupWriter::kRaw);
    if (!rule.AppendMarkup(out))
        return false;
    markup = std::move(out.raw);
    return true;
}
} // namespace

bool RuleConfigurer::HandOver(CVtrRule* rule)
{
    bool changed = true; // what cannot be looked at may have changed
    if (IsUserDefinedModule(rule->GetRuleModuleName())) {
        // Only the system's own user-defined rules have a criticality to set.
        if (auto* concrete = dynamic_cast<ConcreteVTRRule*>(rule))
            changed = m_owners.EditCriticality(*concrete);
        else
            changed = false;
    } else if (auto* configurator = dynamic_cast<CPLQRuleConfigurator*>(rule)) {
        CPLQRuleCreationData data(configurator, PLQ_RULE_EDIT_FROM_LIST);
        if (CVTRRuleBuilderDoc* doc = m_list.Document()) {
            data.m_nLinearUnit = doc->CurrentUnits().LinearUnit;
            data.m_nAngularUnit = doc->CurrentUnits().AngularUnit;
        }
        QString error;
        if (!m_owners.LaunchRuleCreation(data, error))
            m_owners.ShowError(error);
    } else {
        if (m_setEditInProgress)
            m_setEditInProgress(1);
        // The rule's element before and after tells whether the module's
        // editor changed anything, whatever it returns: Cancel, or OK with
        // nothing changed, leaves the document as it was.
        std::string before;
        const bool looked = MarkupOf(*rule, before);
        const bool edited = rule->EditRule();
        std::string after;
        changed = edited || !looked || !MarkupOf(*rule, after) || after != before;
    }
    if (m_setEditInProgress)
        m_setEditInProgress(0);
    if (CVTRRuleBuilderDoc* doc = m_list.Document()) {
        doc->UpdateAllViews(kHintSummaryRefresh);
        doc->SetTitle(doc->GetBaseTitle());
    }
    return changed;
}

void RuleConfigurer::RefreshAfterwards(int row, CVtrRule* rule, bool changed)
{
    // Column 3 (and column 1 of user-defined rules) show the rule's texts
    // as they are now; the sort and search keys follow.
    m_list.RefreshRow(row);
    CVTRRuleBuilderDoc* doc = m_list.Document();
    if (doc && changed && m_list.Model()->IsChecked(row)) {
        doc->SetModifiedFlag(true);
        doc->SetTitle(doc->GetBaseTitle());
    }
    LogWithText(QStringLiteral("Edit Rule Command Received for %s Rule"), rule->GetRuleName());
}
