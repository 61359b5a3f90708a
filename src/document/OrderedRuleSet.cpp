#include "document/OrderedRuleSet.h"

#include <algorithm>

const size_t* OrderedRuleSet::PositionTable::Find(const CVtrRule* rule) const
{
    if (!rule || m_size == 0)
        return nullptr;
    const size_t mask = m_entries.size() - 1;
    for (size_t i = Home(rule);; i = (i + 1) & mask) {
        const Entry& e = m_entries[i];
        if (e.rule == rule)
            return &e.position;
        if (!e.rule)
            return nullptr;
    }
}

size_t* OrderedRuleSet::PositionTable::Find(const CVtrRule* rule)
{
    return const_cast<size_t*>(static_cast<const PositionTable*>(this)->Find(rule));
}

size_t& OrderedRuleSet::PositionTable::Insert(const CVtrRule* rule, size_t value, bool& inserted)
{
    // At most half full, so probes stay short and an empty entry always ends them.
    if (2 * (m_size + 1) > m_entries.size())
        Grow();
    const size_t mask = m_entries.size() - 1;
    for (size_t i = Home(rule);; i = (i + 1) & mask) {
        Entry& e = m_entries[i];
        if (e.rule == rule) {
            inserted = false;
            return e.position;
        }
        if (!e.rule) {
            e.rule = rule;
            e.position = value;
            ++m_size;
            inserted = true;
            return e.position;
        }
    }
}

bool OrderedRuleSet::PositionTable::Erase(const CVtrRule* rule, size_t& position)
{
    if (!rule || m_size == 0)
        return false;
    const size_t mask = m_entries.size() - 1;
    size_t hole = Home(rule);
    while (m_entries[hole].rule != rule) {
        if (!m_entries[hole].rule)
            return false;
        hole = (hole + 1) & mask;
    }
    position = m_entries[hole].position;
    // Moves later entries of the run back into the hole when their home
    // allows it, so no marker of a removed entry is ever needed.
    for (size_t i = (hole + 1) & mask; m_entries[i].rule; i = (i + 1) & mask) {
        const size_t home = Home(m_entries[i].rule);
        // The entry may move when its home is not inside (hole, i].
        const bool homeBetween = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
        if (!homeBetween) {
            m_entries[hole] = m_entries[i];
            hole = i;
        }
    }
    m_entries[hole] = Entry();
    --m_size;
    return true;
}

void OrderedRuleSet::PositionTable::Clear()
{
    m_entries.clear();
    m_size = 0;
    m_shift = 64;
}

void OrderedRuleSet::PositionTable::Reserve(size_t count)
{
    size_t capacity = m_entries.empty() ? 16 : m_entries.size();
    while (2 * count > capacity)
        capacity *= 2;
    if (capacity > m_entries.size())
        Rehash(capacity);
}

void OrderedRuleSet::PositionTable::Rehash(size_t capacity)
{
    std::vector<Entry> old = std::move(m_entries);
    m_entries.assign(capacity, Entry());
    m_shift = 64 - static_cast<unsigned>(__builtin_ctzll(capacity));
    const size_t mask = capacity - 1;
    for (const Entry& e : old) {
        if (!e.rule)
            continue;
        size_t i = Home(e.rule);
        while (m_entries[i].rule)
            i = (i + 1) & mask;
        m_entries[i] = e;
    }
}

void OrderedRuleSet::Reserve(size_t more)
{
    m_position.Reserve(m_position.Size() + more);
    // Geometric, so that many small reservations stay linear in all.
    const size_t need = m_slots.size() + more;
    if (need > m_slots.capacity())
        m_slots.reserve(std::max(need, 2 * m_slots.capacity()));
}

bool OrderedRuleSet::Append(CVtrRule* rule)
{
    size_t place = 0;
    return Append(rule, place);
}

bool OrderedRuleSet::Append(CVtrRule* rule, size_t& place)
{
    place = kNoPlace;
    if (!rule)
        return false;
    // One look-up whether or not the rule is there already.
    bool inserted = false;
    place = m_position.Insert(rule, m_slots.size(), inserted);
    if (!inserted)
        return false;
    m_slots.push_back(rule);
    return true;
}

size_t OrderedRuleSet::PlaceOf(const CVtrRule* rule) const
{
    const size_t* at = m_position.Find(rule);
    return at ? *at : kNoPlace;
}

bool OrderedRuleSet::Remove(const CVtrRule* rule)
{
    size_t at = 0;
    if (!m_position.Erase(rule, at))
        return false;
    m_slots[at] = nullptr;
    if (m_slots.size() > 32 && m_slots.size() > 2 * m_position.Size())
        Compact();
    return true;
}

bool OrderedRuleSet::Replace(const CVtrRule* rule, CVtrRule* replacement)
{
    if (!replacement || m_position.Find(replacement))
        return false;
    size_t at = 0;
    if (!m_position.Erase(rule, at))
        return false;
    m_slots[at] = replacement;
    bool inserted = false;
    m_position.Insert(replacement, at, inserted);
    return true;
}

void OrderedRuleSet::Clear()
{
    m_slots.clear();
    m_position.Clear();
}

QList<CVtrRule*> OrderedRuleSet::ToList() const
{
    QList<CVtrRule*> out;
    out.reserve(Size());
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
        *m_position.Find(m_slots[write]) = write;
        ++write;
    }
    m_slots.resize(write);
}
