#include "views/ui/RuleSettingsOwners.h"

#include "userrules/RuleCreationBridge.h"
#include "userrules/ui/VTRRMUserDefinedRuleDlg.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"

#include <QWidget>

CRuleSettingsOwners::CRuleSettingsOwners(QWidget* parent)
    : m_parent(parent)
{ }

bool CRuleSettingsOwners::EditCriticality(ConcreteVTRRule& rule)
{
    CVTRRMUserDefinedRuleDlg dialog(&rule, m_parent);
    return dialog.exec() == QDialog::Accepted;
}

bool CRuleSettingsOwners::LaunchRuleCreation(CPLQRuleCreationData& data, QString& error)
{
    QWidget* window = m_parent ? m_parent->window() : nullptr;
    return RuleCreationBridge::Launch(window, QString(), QString(), &data, error);
}

void CRuleSettingsOwners::ShowError(const QString& text)
{
    ShowMessage(text, VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
}
