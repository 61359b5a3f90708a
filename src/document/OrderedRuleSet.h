#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
    bool Contains(const CVtrRule* rule) const { return m_position.Find(rule) != nullptr; }
    // Appends the rule when it is not there yet; false when it already was.
    bool Append(CVtrRule* rule);
    // The same, giving the rule's place in the order (new or old).
    bool Append(CVtrRule* rule, size_t& place);
    // The rule's place in the order, or kNoPlace.
    size_t PlaceOf(const CVtrRule* rule) const;
    // Whether rule is at place: one read and no look-up, for callers that
    // remember where rules went (places move when holes are squeezed out).
    bool IsAt(const CVtrRule* rule, size_t place) const
    {
        return rule && place < m_slots.size() && m_slots[place] == rule;
    }
    static constexpr size_t kNoPlace = static_cast<size_t>(-1);
    // Removes the rule; false when it was not there.
    bool Remove(const CVtrRule* rule);
    // Puts replacement in the place of rule (keeping the order); false when
    // rule is absent or replacement is already present.
    bool Replace(const CVtrRule* rule, CVtrRule* replacement);
    // Room for that many more rules without growing on the way.
    void Reserve(size_t more);
    // Empties the set.
    void Clear();
    // Number of rules in the set.
    qsizetype Size() const { return static_cast<qsizetype>(m_position.Size()); }
    bool IsEmpty() const { return m_position.Size() == 0; }
    // The rules in order.
    QList<CVtrRule*> ToList() const;
    // Starts fetching what a later look-up of rule will read, so that a pass
    // over many rules does not wait on memory at every step.
    void Prefetch(const CVtrRule* rule) const { m_position.Prefetch(rule); }
    // The same for a check with IsAt.
    void PrefetchPlace(size_t place) const
    {
        if (place < m_slots.size())
            __builtin_prefetch(&m_slots[place]);
    }

    // Calls f(rule) for every rule in order. f must not change the set.
    template <typename F> void ForEach(F&& f) const
    {
        for (CVtrRule* rule : m_slots)
            if (rule)
                f(rule);
    }
    // The same with each rule's place: places run from 0 to PlaceCount(),
    // with gaps where rules were removed.
    template <typename F> void ForEachPlace(F&& f) const
    {
        for (size_t place = 0; place < m_slots.size(); ++place)
            if (m_slots[place])
                f(m_slots[place], place);
    }
    size_t PlaceCount() const { return m_slots.size(); }
    // The same from the last rule to the first.
    template <typename F> void ForEachReverse(F&& f) const
    {
        for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
            if (*it)
                f(*it);
    }

private:
    // Rule pointer to its place in m_slots: open addressing with linear
    // probing in one flat array, so that a look-up is one cache line that
    // can be fetched ahead.
    class PositionTable
    {
    public:
        size_t Size() const { return m_size; }
        const size_t* Find(const CVtrRule* rule) const;
        size_t* Find(const CVtrRule* rule);
        // The place of rule, added with value when absent; inserted tells which.
        size_t& Insert(const CVtrRule* rule, size_t value, bool& inserted);
        // Removes rule; position receives the place it had.
        bool Erase(const CVtrRule* rule, size_t& position);
        void Clear();
        // Room for count entries in all.
        void Reserve(size_t count);
        void Prefetch(const CVtrRule* rule) const
        {
            if (!m_entries.empty())
                __builtin_prefetch(&m_entries[Home(rule)]);
        }

    private:
        struct Entry
        {
            const CVtrRule* rule = nullptr;
            size_t position = 0;
        };
        size_t Home(const CVtrRule* rule) const
        {
            // Fibonacci hashing: the top bits of the product spread the
            // allocator's aligned addresses over the table.
            return static_cast<size_t>((reinterpret_cast<uintptr_t>(rule) * 0x9E3779B97F4A7C15ull) >> m_shift);
        }
        void Grow() { Rehash(m_entries.empty() ? 16 : m_entries.size() * 2); }
        void Rehash(size_t capacity);

        std::vector<Entry> m_entries;
        size_t m_size = 0;
        unsigned m_shift = 64;
    };

    void Compact();

    std::vector<CVtrRule*> m_slots;
    PositionTable m_position;
};
