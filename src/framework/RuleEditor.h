#pragma once

class ConcreteVTRRule;

// The editor that shows a rule's settings. The application registers one;
// tests and the command-line tool register none, and EditRule then changes nothing.
class IVtrRuleEditor
{
public:
    virtual ~IVtrRuleEditor() = default;
    // Lets the user change the rule; true when something was changed.
    virtual bool EditRule(ConcreteVTRRule& rule) = 0;
};

// Registers the editor (null removes it); the framework does not own it.
void VtrSetRuleEditor(IVtrRuleEditor* editor);
// The registered editor, or null.
IVtrRuleEditor* VtrGetRuleEditor();
