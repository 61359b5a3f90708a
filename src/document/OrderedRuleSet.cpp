#include "document/OrderedRuleSet.h"

bool OrderedRuleSet::Append(CVtrRule* rule)
{
    if (!rule || m_position.contains(rule))
        return false;
    m_position.insert(rule, static_cast<qsizetype>(m_slots.size()));
    m_slots.push_back(rule);
    return true;
}

bool OrderedRuleSet::Remove(const CVtrRule* rule)
{
    auto it = m_position.find(const_cast<CVtrRule*>(rule));
    if (it == m_position.end())
        return false;
    m_slots[static_cast<size_t>(it.value())] = nullptr;
    m_position.erase(it);
    if (m_slots.size() > 32 && static_cast<qsizetype>(m_slots.size()) > 2 * m_position.size())
        Compact();
    return true;
}

bool OrderedRuleSet::Replace(const CVtrRule* rule, CVtrRule* replacement)
{
    if (!replacement || m_position.contains(replacement))
        return false;
    auto it = m_position.find(const_cast<CVtrRule*>(rule));
    if (it == m_position.end())
        return false;
    const qsizetype at = it.value();
    m_position.erase(it);
    m_slots[static_cast<size_t>(at)] = replacement;
    m_position.insert(replacement, at);
    return true;
}

void OrderedRuleSet::Clear()
{
    m_slots.clear();
    m_position.clear();
}

QList<CVtrRule*> OrderedRuleSet::ToList() const
{
    QList<CVtrRule*> out;
    out.reserve(m_position.size());
    ForEach([&out](CVtrRule* r) { out.append(r); });
    return out;
}

void OrderedRuleSet::Compact()
{
    size_t write = 0;
    for (size_t read = 0; read < m_slots.size(); ++read) {
        if (!m_slots[read])
            continue;
        m_slots[write] = m_slots[read];
        m_position[m_slots[write]] = static_cast<qsizetype>(write);
        ++write;
    }
    m_slots.resize(write);
}
