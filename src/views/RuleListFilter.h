#pragma once

#include <QString>

// What the filter bar above the rule list asks for. Every part narrows the
// rows; an empty filter keeps them all.
struct RuleListFilter
{
    // Contained, case aside, in the rule's name, category, module or custom message.
    QString text;
    // Criticality code 1 to 5; 0 for any. Codes outside 1..5 count as
    // Medium, as the list shows them.
    int criticality = 0;
    bool tickedOnly = false;
    // Only rules whose settings differ from their module's defaults.
    bool differsOnly = false;
    // The module's name as the list shows it; empty for any.
    QString module;

    bool IsEmpty() const
    {
        return text.isEmpty() && criticality == 0 && !tickedOnly && !differsOnly && module.isEmpty();
    }
    bool operator==(const RuleListFilter&) const = default;
};
