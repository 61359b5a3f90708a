#pragma once

#include "views/RuleConfigurer.h"

class QWidget;

// The owners of rule settings as the program shows them: the criticality
// dialog, the rule-creation program over the main window, message boxes.
class CRuleSettingsOwners : public IRuleSettingsOwners
{
public:
    // parent: the widget whose window the dialogs and the rule-creation program belong to.
    explicit CRuleSettingsOwners(QWidget* parent);

    bool EditCriticality(ConcreteVTRRule& rule) override;
    bool LaunchRuleCreation(CPLQRuleCreationData& data, QString& error) override;
    void ShowError(const QString& text) override;

private:
    QWidget* m_parent;
};
