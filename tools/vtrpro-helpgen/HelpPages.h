#pragma once

#include <vector>

#include <QString>

// One row of a rule page's parameter table.
struct HelpParameter
{
    QString name; // with its constraints, as the parameter editor names it
    QString op;
    QString value;
    QString recommended;
    QString alert;
    QString unit;
};

// What a rule's help page shows.
struct HelpRule
{
    int helpId = 0;
    QString name;
    QString displayName;
    QString module; // the rule's own module name, which may differ from the catalogue's
    QString category;
    int criticality = 3;
    QString summary;
    QString why;
    std::vector<HelpParameter> parameters;
};

// One module's rules, in catalogue order.
struct HelpModule
{
    QString library;
    QString name;
    QString summary;
    std::vector<HelpRule> rules;
};

// A hand-written topic page.
struct HelpTopicPage
{
    QString file; // "1000.html"
    QString title;
};

// Reads a rule catalogue as the rule module does, plus the paragraphs that
// only the help pages use. False with the reason in error.
bool ReadHelpModule(const QString& cataloguePath, HelpModule& module, QString& error);
class CVtrRule;
// What a rule's page shows of a rule object, with its paragraph on why it matters.
HelpRule HelpRuleOf(const CVtrRule& rule, const QString& why);
// The product rules the configurator ships, as one module.
bool ReadProductRules(HelpModule& module, QString& error);
// The topic pages of a folder (every "<number>.html"), by number.
std::vector<HelpTopicPage> ReadTopicPages(const QString& folder);

// The page of one rule.
QString RulePage(const HelpModule& module, const HelpRule& rule);
// The contents: the topics, then every module's rules.
QString IndexPage(const std::vector<HelpModule>& modules, const std::vector<HelpTopicPage>& topics);
// The anchor of a module's section in the contents.
QString ModuleAnchor(const HelpModule& module);
