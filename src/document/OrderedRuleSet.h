#pragma once

#include <cstddef>
#include <vector>

#include <QHash>
#include <QList>

class CVtrRule;

// An insertion-ordered set of rule pointers with constant-time contains,
// append, remove and replace. Removed entries leave a hole that iteration
// skips; holes are squeezed out when they outnumber the live entries, so
// every operation stays amortised constant and iteration stays linear.
class OrderedRuleSet
{
public:
    // Whether the rule is in the set.
    bool Contains(const CVtrRule* rule) const { return m_position.contains(const_cast<CVtrRule*>(rule)); }
    // Appends the rule when it is not there yet; false when it already was.
    bool Append(CVtrRule* rule);
    // Removes the rule; false when it was not there.
    bool Remove(const CVtrRule* rule);
    // Puts replacement in the place of rule (keeping the order); false when
    // rule is absent or replacement is already present.
    bool Replace(const CVtrRule* rule, CVtrRule* replacement);
    // Empties the set.
    void Clear();
    // Number of rules in the set.
    qsizetype Size() const { return m_position.size(); }
    bool IsEmpty() const { return m_position.isEmpty(); }
    // The rules in order.
    QList<CVtrRule*> ToList() const;

    // Calls f(rule) for every rule in order. f must not change the set.
    template <typename F> void ForEach(F&& f) const
    {
        for (CVtrRule* rule : m_slots)
            if (rule)
                f(rule);
    }
    // The same from the last rule to the first.
    template <typename F> void ForEachReverse(F&& f) const
    {
        for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
            if (*it)
                f(*it);
    }

private:
    void Compact();

    std::vector<CVtrRule*> m_slots;
    QHash<CVtrRule*, qsizetype> m_position;
};
