#pragma once

#include "RuleUnits.h"

#include <cstdint>
#include <vector>

#include <QString>

class CVtrRule;

// A "Rule" element of a file that no loaded module (nor the configurator)
// turned into a rule; a save of the document leaves it out.
struct DroppedRuleElement
{
    QString name;     // "Name"
    QString category; // "RuleCategory"
    QString module;   // "RuleModule"
};

// What a rule file holds in memory: its rules in order (numbered from 1) and
// its file details. The record does not own the rules.
class CVTRFileDetails
{
public:
    // Starts with units (0, 0), then the stored default units.
    CVTRFileDetails();

    // Appends a rule; its sequence number becomes the new rule count.
    void AddRule(CVtrRule* rule);
    // Rules in sequence order (rule n is Rules()[n - 1]).
    const std::vector<CVtrRule*>& Rules() const { return m_rules; }
    std::vector<CVtrRule*>& Rules() { return m_rules; }
    int32_t RuleCount() const { return static_cast<int32_t>(m_rules.size()); }
    // Rule with sequence number n (1-based), or null.
    CVtrRule* RuleAt(int32_t sequence) const;
    // Forgets every rule (does not release them).
    void ClearRules() { m_rules.clear(); }

    RuleUnits units;          // "Unit" and "AngularUnit"
    RuleUnits previousUnits;  // set by the units command; not stored
    QString name;             // "Name"
    QString createdOn;        // "CreatedOn"
    QString createdBy;        // "Createdby"
    bool passwordProtected = false;
    QString password;         // plain text; encoded in the file
    QString version;          // "Version" as read; never interpreted, always written "v3.4"
    // The elements of the last read that yielded no rule, in file order.
    std::vector<DroppedRuleElement> droppedRules;

private:
    std::vector<CVtrRule*> m_rules;
};
