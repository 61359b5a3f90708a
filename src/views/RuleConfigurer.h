#pragma once

#include <functional>

#include <QString>

class CPLQRuleCreationData;
class ConcreteVTRRule;
class CVtrRule;
class RuleListController;

// Whoever owns the settings of a kind of rule. The application shows
// windows; tests and the command line answer without them.
class IRuleSettingsOwners
{
public:
    virtual ~IRuleSettingsOwners() = default;
    // The criticality dialog of a user-defined rule; true when it closed with OK.
    virtual bool EditCriticality(ConcreteVTRRule& rule) = 0;
    // Hands a configurator rule to the rule-creation program and returns
    // when that closes; false with the reason in error when it cannot start.
    virtual bool LaunchRuleCreation(CPLQRuleCreationData& data, QString& error) = 0;
    // Tells the user why a rule could not be handed over.
    virtual void ShowError(const QString& text) = 0;
};

// Configure rule of the rule list: hands the rule of a row to the owner of
// its settings (the criticality dialog for user-defined rules, the
// rule-creation program for configurator rules, the rule's own EditRule for
// module rules), then brings the row and the document up to date.
class RuleConfigurer
{
public:
    // setEditInProgress: the program-wide flag that is 1 while a module's
    // EditRule runs (may be empty).
    RuleConfigurer(
        RuleListController& list, IRuleSettingsOwners& owners, std::function<void(int)> setEditInProgress = {});

    // Configures the rule of a row; false when the row has no rule.
    bool ConfigureRow(int row);

    // Whether a module name marks a user-defined rule (case ignored).
    static bool IsUserDefinedModule(const QString& moduleName);

private:
    // True when the rule may have changed.
    bool HandOver(CVtrRule* rule);
    // A ticked row marks the document modified only when its rule changed.
    void RefreshAfterwards(int row, CVtrRule* rule, bool changed);

    RuleListController& m_list;
    IRuleSettingsOwners& m_owners;
    std::function<void(int)> m_setEditInProgress;
};
