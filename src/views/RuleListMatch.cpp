// Matching the file's rules with the rows the modules offer: one hash index
// of the fill list, so that a file of many rules is matched in one pass.
#include "views/RuleListController.h"

#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "VtrUtf8.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListDetail.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"

#include <cstring>

using namespace RuleListDetail;

namespace {

// Matching compares texts as text.toLower() would. Almost every text is
// ASCII, so the lower-case copy is made only for the others.
constexpr uint64_t kHashPrime = 0x100000001b3ULL;

// Four units at a step; with lower set, ASCII capitals in them are taken in
// lower case (they are all ASCII then).
uint64_t MixUnits(uint64_t h, uint64_t four, bool lower)
{
    if (lower) {
        // Lanes from 'A' reach bit 7 when 0x3F is added, lanes past 'Z'
        // when 0x25 is: the capitals are the lanes of the first only.
        const uint64_t fromA = four + 0x003F003F003F003FULL;
        const uint64_t pastZ = four + 0x0025002500250025ULL;
        four |= ((fromA & ~pastZ) & 0x0080008000800080ULL) >> 2;
    }
    h = (h ^ four) * kHashPrime;
    return h ^ (h >> 32);
}

// The hash of units, lower-cased as ASCII when lower is set. Both ways give
// the same hash for the same lower-case units.
uint64_t HashUnits(const char16_t* units, qsizetype size, uint64_t h, bool lower)
{
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        uint64_t four;
        std::memcpy(&four, units + i, sizeof four);
        h = MixUnits(h, four, lower);
    }
    for (; i < size; ++i)
        h = (h ^ (lower ? VtrAsciiLower(units[i]) : units[i])) * kHashPrime;
    return (h ^ 0x1fu) * kHashPrime; // ends the text, so fields do not run together
}

uint64_t HashLower(const QString& text, uint64_t h)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    char16_t all = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        all |= units[i];
    if (all >= 0x80) {
        const QString lower = text.toLower();
        return HashUnits(reinterpret_cast<const char16_t*>(lower.constData()), lower.size(), h, false);
    }
    return HashUnits(units, text.size(), h, true);
}

bool SameLower(const QString& a, const QString& b)
{
    if (a.size() == b.size()) {
        const QChar* x = a.constData();
        const QChar* y = b.constData();
        qsizetype i = 0;
        for (; i < a.size(); ++i) {
            const char16_t p = x[i].unicode();
            const char16_t q = y[i].unicode();
            if ((p | q) >= 0x80)
                break;
            if (VtrAsciiLower(p) != VtrAsciiLower(q))
                return false;
        }
        if (i == a.size())
            return true;
    } else if (QtPrivate::isAscii(QStringView(a)) && QtPrivate::isAscii(QStringView(b))) {
        return false;
    }
    return a.toLower() == b.toLower();
}

// A file rule and a module rule are the same rule when their names (or
// their display names), validators and categories agree, case aside.
uint64_t MatchHash(const QString& name, const CVtrRule* rule)
{
    uint64_t h = HashLower(name, 0xcbf29ce484222325ULL);
    h = HashLower(rule->GetValidatorName(), h);
    h = HashLower(rule->GetRuleCategory(), h);
    // Spread the bits for the table's low-bit slots.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

bool SameMatchKey(const QString& a, const CVtrRule* ruleA, const QString& b, const CVtrRule* ruleB)
{
    return SameLower(a, b) && SameLower(ruleA->GetValidatorName(), ruleB->GetValidatorName())
        && SameLower(ruleA->GetRuleCategory(), ruleB->GetRuleCategory());
}

// Positions of the fill list by key hash, newest first: one flat table of
// chain heads and one link per position, so indexing allocates twice in
// all. Positions whose different keys share a slot's tag share a chain;
// callers compare the keys. A big list's table is far larger than the
// caches, so callers fetch slots ahead (Prefetch) and slots are kept small.
class FillIndex
{
public:
    explicit FillIndex(size_t positions)
        : m_previous(positions, -1)
    {
        size_t capacity = 16;
        while (capacity < positions * 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot {});
        m_mask = capacity - 1;
    }
    void Prefetch(uint64_t hash) const { __builtin_prefetch(&m_slots[static_cast<size_t>(hash) & m_mask]); }
    void Add(uint64_t hash, int position)
    {
        Slot& slot = SlotOf(hash);
        slot.tag = Tag(hash);
        m_previous[static_cast<size_t>(position)] = slot.newest;
        slot.newest = position;
    }
    // The newest position in this hash's chain, or -1. Taken positions at the
    // head of the chain are dropped for good: many equal keys, matched one
    // after another, cost one step each instead of a walk past all taken.
    int Newest(uint64_t hash, const std::vector<bool>& taken)
    {
        Slot& slot = SlotOf(hash);
        while (slot.newest >= 0 && taken[static_cast<size_t>(slot.newest)])
            slot.newest = m_previous[static_cast<size_t>(slot.newest)];
        return slot.newest;
    }
    // The position added to the same chain before this one, or -1.
    int Before(int position) const { return m_previous[static_cast<size_t>(position)]; }

private:
    struct Slot
    {
        uint32_t tag = 0; // 0: never used; stays set when the chain runs dry, for the probes
        int32_t newest = -1;
    };
    // The high half of the hash (the low half picks the slot), never 0.
    static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32) | 1u; }
    Slot& SlotOf(uint64_t hash)
    {
        const uint32_t tag = Tag(hash);
        size_t i = static_cast<size_t>(hash) & m_mask;
        while (m_slots[i].tag != 0 && m_slots[i].tag != tag)
            i = (i + 1) & m_mask;
        return m_slots[i];
    }
    std::vector<Slot> m_slots;
    std::vector<int32_t> m_previous;
    size_t m_mask = 0;
};

} // namespace

void RuleListController::MatchFileRules(QList<CVtrRule*>& fill)
{
    // Index the fill list by (name, validator, category) and by (display
    // name, validator, category); each chain runs from the last position to
    // the first, as a search from the end meets them.
    const auto count = static_cast<size_t>(fill.size());
    FillIndex byName(count);
    FillIndex byDisplay(count);
    // Hashed first, then added with the slots of later positions fetched
    // meanwhile: each slot is a miss in a big list's table.
    constexpr size_t kAhead = 16;
    std::vector<uint64_t> hashes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const CVtrRule* rule = fill[static_cast<qsizetype>(i)];
        hashes[2 * i] = MatchHash(rule->GetRuleName(), rule);
        hashes[2 * i + 1] = MatchHash(rule->GetDisplayName(), rule);
    }
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) {
            byName.Prefetch(hashes[2 * (i + kAhead)]);
            byDisplay.Prefetch(hashes[2 * (i + kAhead) + 1]);
        }
        byName.Add(hashes[2 * i], static_cast<int>(i));
        byDisplay.Add(hashes[2 * i + 1], static_cast<int>(i));
    }
    std::vector<bool> taken(count, false);

    bool matched = false;
    bool lost = m_doc->DroppedFileRules() > 0;
    const QList<CVtrRule*> fileRules(m_doc->FileDetails().Rules().begin(), m_doc->FileDetails().Rules().end());
    const auto files = static_cast<size_t>(fileRules.size());
    hashes.resize(files * 2);
    for (size_t k = 0; k < files; ++k) {
        const CVtrRule* rule = fileRules[static_cast<qsizetype>(k)];
        hashes[2 * k] = MatchHash(rule->GetRuleName(), rule);
        hashes[2 * k + 1] = MatchHash(rule->GetDisplayName(), rule);
    }
    ProgressScope progress(VtrString(StrId::ProgressListing), fileRules.size());
    int64_t done = 0;
    for (size_t k = 0; k < files; ++k) {
        CVtrRule* fileRule = fileRules[static_cast<qsizetype>(k)];
        progress.Step(++done);
        if (k + kAhead < files) {
            byName.Prefetch(hashes[2 * (k + kAhead)]);
            byDisplay.Prefetch(hashes[2 * (k + kAhead) + 1]);
        }
        const QStringView fileModuleFile = FileNameViewOf(fileRule->GetModulePath());
        const bool designValidator
            = fileRule->GetValidatorName().compare(QLatin1String("2DDesignCustomRulesValidator"), Qt::CaseInsensitive)
            == 0;
        auto acceptable = [&](int p) {
            if (taken[static_cast<size_t>(p)])
                return false;
            const CVtrRule* m = fill[p];
            // A rule read without a module path (the reader did not stamp it)
            // is matched by the other keys alone.
            if (!fileModuleFile.isEmpty()
                && FileNameViewOf(m->GetModulePath()).compare(fileModuleFile, Qt::CaseInsensitive) != 0)
                return false;
            if (designValidator
                && m->GetRuleModuleName().compare(fileRule->GetRuleModuleName(), Qt::CaseInsensitive) != 0)
                return false;
            return true;
        };
        int best = -1;
        auto searchFromEnd = [&](FillIndex& index, const QString& (CVtrRule::*text)() const, uint64_t hash) {
            const QString& key = (fileRule->*text)();
            for (int p = index.Newest(hash, taken); p > best; p = index.Before(p)) {
                if (SameMatchKey((fill[p]->*text)(), fill[p], key, fileRule) && acceptable(p)) {
                    best = p;
                    return;
                }
            }
        };
        searchFromEnd(byName, &CVtrRule::GetRuleName, hashes[2 * k]);
        searchFromEnd(byDisplay, &CVtrRule::GetDisplayName, hashes[2 * k + 1]);
        if (best < 0) {
            // Nothing lists it, so the next save would leave it out.
            lost = true;
            continue;
        }
        CVtrRule* moduleRule = fill[best];
        taken[static_cast<size_t>(best)] = true;
        fileRule->SetRuleModuleName(moduleRule->GetRuleModuleName());
        fileRule->SetModulePath(moduleRule->GetModulePath());
        // A stored rule's help id is the database's: a file written before
        // the rule had one (or from another database) holds 0 or a stale id.
        if (vtr_db::IsStoredRuleHelpId(moduleRule->GetHelpId()))
            fileRule->SetHelpId(moduleRule->GetHelpId());
        m_doc->SelectedRules().Remove(moduleRule);
        fill[best] = fileRule;
        m_pool.Replace(moduleRule, fileRule);
        m_doc->SelectedRules().Append(fileRule);
        m_doc->DeleteRule(moduleRule);
        if (IsUserDefined(fileRule))
            m_doc->UserDefinedRules().Append(fileRule);
        matched = true;
    }
    if (matched)
        m_doc->SetModifiedFlag(false);
    if (lost)
        m_doc->SetModifiedFlag(true);
}
