#include "views/RuleListController.h"

#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "VtrUtf8.h"
#include "app/AppContext.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "userrules/UserRuleCommands.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <QFileInfo>
#include <QHash>

namespace {

const QString kUserDefinedModule = QStringLiteral("Interactive User Defined Rule");
const QString kVstaModule = QStringLiteral("VSTA Rule");
const QString kManualCheck = QStringLiteral("Manual Check Rules");
const QString kManualCheckDrafting = QStringLiteral("Manual Check Drafting Rules");

bool IsUserDefined(const CVtrRule* rule)
{
    return rule->GetRuleModuleName() == kUserDefinedModule || rule->GetRuleModuleName() == kVstaModule;
}

QStringView FileNameViewOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringView(path) : QStringView(path).mid(slash + 1);
}

QString FileNameOf(const QString& path)
{
    return FileNameViewOf(path).toString();
}

const QSet<QString>& SkippedVstaNames()
{
    static const QSet<QString> names = [] {
        const char* list[] = { "Minimum Distance Between Dimples", "Minimum Distance Between Features",
            "Minimum Distance From Dimple To Hole", "Minimum Distance From Dimple To Part Edge",
            "Minimum Draft for Ribs", "Minimum Flange Size", "Minimum Radius Of Curl", "Radius at Base of Ribs",
            "Spacing Between Holes", "Feature To Bend Distance", "Hole Depth to Diameter Ratio",
            "Hole To Part Edge Distance", "Maximum Depth Of Counterbore", "Maximum Depth Of Countersink",
            "Maximum Flange Length", "Maximum Flange Length Inside Part", "Maximum Embossment Depth" };
        QSet<QString> s;
        for (const char* n : list)
            s.insert(QString::fromLatin1(n).toLower());
        return s;
    }();
    return names;
}

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

// Which modules count as available, computed once per fill.
struct RuleListController::Availability
{
    QSet<QString> configured;
    QSet<QString> loaded;
    QSet<QString> loadedRuleModuleFiles; // lower case
    QString configuratorFile; // lower case

    bool IsAvailable(const CVtrRule* rule) const
    {
        const QString& path = rule->GetModulePath();
        if (!configuratorFile.isEmpty() && FileNameOf(path).toLower() == configuratorFile) {
            const QString module = ModuleFileOfCategory(rule->GetRuleCategory());
            return !module.isEmpty() && loadedRuleModuleFiles.contains(module.toLower());
        }
        return configured.contains(path) || loaded.contains(path);
    }
};

RuleListController::RuleListController(CVTRRuleBuilderDoc* doc, std::unique_ptr<IModuleRuleSource> source)
    : m_doc(doc)
    , m_source(source ? std::move(source) : std::make_unique<AppModuleRuleSource>())
{
    m_model.SetCheckHandler([this](int row) { OnCheckChanged(row); });
    m_model.SetBatchCheckHandler([this](const QList<int>& rows, bool checked) { SetCheckedRows(rows, checked); });
    m_model.SetCustomMessageLookup([this](const CVtrRule* rule) { return m_source->CustomMessage(rule); });
}

RuleListController::~RuleListController() = default;

void RuleListController::InitialUpdate()
{
    if (!m_doc)
        return;
    Fill(true, true);
    m_sortState = 1;
    m_model.SortRows(RuleListModel::RuleColumn, false);
    if (AppContext* app = AppContext::Instance())
        app->SetConfigureRuleEnabled(false);
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    RefreshAllRulesFile(m_installedRules, previous, current, true);
    BringRowsToDocumentUnits();
    RefreshStatus();
}

void RuleListController::BringRowsToDocumentUnits()
{
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    // Rules the document holds are already in its units; the others follow.
    QSet<QString> held;
    m_doc->SelectedRules().ForEach([&held](CVtrRule* r) {
        held.insert(r->GetRuleName().toLower() + QChar(0x1f) + r->GetRuleCategory().toLower());
    });
    for (const RuleListModel::Row& row : m_model.Rows()) {
        const QString key = row.rule->GetRuleName().toLower() + QChar(0x1f) + row.rule->GetRuleCategory().toLower();
        if (held.contains(key))
            row.rule->UpdateRule(&current, &current);
        else
            row.rule->UpdateRule(&previous, &current);
    }
}

void RuleListController::OnUpdate(int hint)
{
    if (!m_doc)
        return;
    const RuleUnits previous = m_doc->PreviousUnits();
    const RuleUnits current = m_doc->CurrentUnits();
    switch (hint) {
    case 1:
        if (m_doc->TakeFileRulesToMatch()) {
            // The document read its file again: the list is filled as on
            // opening, keeping its sort and search.
            Fill(true, true);
            BringRowsToDocumentUnits();
        } else {
            Fill(false, false);
        }
        if (m_searchActive) {
            const QString text = m_searchText;
            m_model.KeepRowsContaining(text);
        }
        for (const RuleListModel::Row& row : m_model.Rows())
            if (!(row.rule->GetRuleUnits() == current))
                row.rule->UpdateRule(&previous, &current);
        ReapplySort();
        RefreshStatus();
        break;
    case 3:
        // Every rule of the pool, not just the rows a search left, so that a
        // cleared search shows no rule in old units.
        m_pool.ForEach([&](CVtrRule* rule) { rule->UpdateRule(&previous, &current); });
        if (m_writesAllRulesFile) {
            RefreshAllRulesFile(m_installedRules, previous, current, true);
        } else {
            for (CVtrRule* rule : m_installedRules)
                rule->UpdateRule(&previous, &current);
        }
        break;
    case 9:
        ClearSearch();
        break;
    default:
        break;
    }
}

void RuleListController::StampRules(
    const QList<CVtrRule*>& rules, const QString& libraryPath, const QString& moduleName)
{
    for (CVtrRule* rule : rules)
        StampModuleRule(rule, libraryPath, moduleName);
}

void RuleListController::AppendProductRules(const QString& libraryPath, QList<CVtrRule*>& out)
{
    const QString configurator = m_source->ConfiguratorPath();
    if (configurator.isEmpty())
        return;
    const QString key = ConfiguratorKeyOfModule(FileNameOf(libraryPath));
    if (key.isEmpty())
        return;
    const QList<CVtrRule*> product = m_source->ProductRules(key);
    StampRules(product, configurator, FileNameOf(configurator));
    out.append(product);
}

void RuleListController::LoadModuleRules(QList<CVtrRule*>& fill)
{
    const QStringList configured = m_source->ConfiguredModules();
    const QSet<QString> configuredSet(configured.begin(), configured.end());
    for (auto it = m_loadedPaths.begin(); it != m_loadedPaths.end();) {
        if (!configuredSet.contains(*it))
            it = m_loadedPaths.erase(it);
        else
            ++it;
    }

    const QStringList modules = m_source->RuleModulePaths();
    for (qsizetype i = modules.size() - 1; i >= 0; --i) {
        if (!m_source->DatabaseLoaded()) {
            ShowMessage(VtrString(566), VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
            return;
        }
        const QString& path = modules[i];
        if (m_loadedPaths.contains(path))
            continue;
        QList<CVtrRule*> rules;
        QString moduleName;
        if (!m_source->LoadRules(path, rules, moduleName))
            continue; // a module without GetAllRules offers no rules
        m_loadedPaths.insert(path);
        StampRules(rules, path, moduleName);
        AppendProductRules(path, rules);
        m_pool.Reserve(static_cast<size_t>(rules.size()));
        for (CVtrRule* rule : rules) {
            fill.append(rule);
            m_pool.Append(rule);
        }
    }

    // The installed-module rules only follow unit changes; the old set is
    // released before a fresh one is asked for.
    AppContext* app = AppContext::Instance();
    const bool appListIsOurs = (app && !m_installedRules.isEmpty() && app->AllRules() == m_installedRules)
        || std::exchange(m_appListWasOurs, false);
    for (CVtrRule* rule : m_installedRules) {
        CVtrRule* r = rule;
        m_doc->DeleteRule(r);
    }
    m_installedRules.clear();
    const QStringList installed = m_source->InstalledModulePaths();
    for (qsizetype i = installed.size() - 1; i >= 0; --i) {
        QList<CVtrRule*> rules;
        QString moduleName;
        if (!m_source->LoadRules(installed[i], rules, moduleName))
            continue;
        StampRules(rules, installed[i], moduleName);
        AppendProductRules(installed[i], rules);
        m_installedRules.append(rules);
    }
    // The application's list of all rules is this list: keep it pointing at
    // live rules.
    if (appListIsOurs)
        app->AllRules() = m_installedRules;
}

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

void RuleListController::PruneRows(const Availability& available)
{
    QList<CVtrRule*> release;
    m_model.KeepRows([&](const RuleListModel::Row& row) {
        CVtrRule* rule = row.rule;
        if (available.IsAvailable(rule))
            return true;
        if (!IsUserDefined(rule)) {
            rule->SetSelected(0);
            if (m_doc->SelectedRules().Remove(rule)) {
                m_doc->SetModifiedFlag(true);
            } else if (rule->GetRuleModuleName() == kManualCheck || rule->GetRuleModuleName() == kManualCheckDrafting) {
                m_pool.Remove(rule);
                release.append(rule);
            }
        }
        return false;
    });
    m_doc->ForgetFileRules(QSet<CVtrRule*>(release.cbegin(), release.cend()));
    for (CVtrRule* rule : release)
        m_doc->DeleteRule(rule);
}

void RuleListController::PrunePool(const Availability& available)
{
    QList<CVtrRule*> gone;
    m_pool.ForEachReverse([&](CVtrRule* rule) {
        if (!available.IsAvailable(rule))
            gone.append(rule);
    });
    QSet<CVtrRule*> released;
    for (CVtrRule* rule : gone)
        if (!IsUserDefined(rule))
            released.insert(rule);
    // The document's record must not keep what is released here.
    m_doc->ForgetFileRules(released);
    for (CVtrRule* rule : gone) {
        m_pool.Remove(rule);
        if (IsUserDefined(rule))
            continue;
        rule->SetSelected(0);
        if (m_doc->SelectedRules().Remove(rule))
            m_doc->SetModifiedFlag(true);
        CVtrRule* r = rule;
        m_doc->DeleteRule(r);
    }
}

bool RuleListController::Listable(const CVtrRule* rule, bool vstaSupported) const
{
    if (rule->GetRuleModuleName() != kVstaModule)
        return true;
    if (!vstaSupported)
        return false;
    return !SkippedVstaNames().contains(rule->GetRuleName().toLower());
}

void RuleListController::InsertRows(
    const QList<CVtrRule*>& rules, bool adoptUnits, const std::vector<const RuleListModel::Row*>& keyed)
{
    const bool vsta = m_source->VstaRulesSupported();
    const RuleUnits units = m_doc->CurrentUnits();
    std::vector<RuleListModel::Row> rows;
    rows.reserve(static_cast<size_t>(rules.size()));
    const int first = m_model.RowCount();
    constexpr qsizetype kAhead = 16;
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (i + kAhead < rules.size()) {
            // The flag and the module name the checks below read, fetched
            // while earlier rules are handled.
            const CVtrRule* later = rules[i + kAhead];
            __builtin_prefetch(later);
            __builtin_prefetch(&later->GetRuleModuleName());
        }
        CVtrRule* rule = rules[i];
        if (!Listable(rule, vsta))
            continue;
        RuleListModel::Row row;
        if (static_cast<size_t>(i) < keyed.size() && keyed[static_cast<size_t>(i)])
            row = *keyed[static_cast<size_t>(i)];
        row.rule = rule;
        row.checked = rule->GetSelected() == 1;
        if (row.checked) {
            m_lastSelectedRow = first + static_cast<int>(rows.size());
            m_lastSelectedRule = rule;
        }
        if (adoptUnits)
            rule->SetRuleUnits(units);
        rows.push_back(std::move(row));
    }
    m_model.AppendRows(std::move(rows));
}

void RuleListController::Fill(bool matchFileRules, bool adoptUnits)
{
    if (!m_doc)
        return;
    m_allRowsValid = false;
    m_allRows.clear();
    QList<CVtrRule*> fill;
    LoadModuleRules(fill);
    m_doc->UserDefinedRules().ForEach([&](CVtrRule* rule) {
        if (m_pool.Append(rule))
            fill.append(rule);
    });
    if (matchFileRules)
        MatchFileRules(fill);

    Availability available;
    const QStringList configured = m_source->ConfiguredModules();
    available.configured = QSet<QString>(configured.begin(), configured.end());
    const QStringList loaded = m_source->LoadedLibraryPaths();
    available.loaded = QSet<QString>(loaded.begin(), loaded.end());
    for (const QString& path : m_source->RuleModulePaths())
        available.loadedRuleModuleFiles.insert(FileNameOf(path).toLower());
    available.configuratorFile = FileNameOf(m_source->ConfiguratorPath()).toLower();

    PruneRows(available);
    PrunePool(available);
    // Released rules may leave their addresses to new ones.
    m_model.ForgetCustomMessages();

    // Only rules still in the pool: pruning may have released some of the fill.
    QList<CVtrRule*> listed;
    listed.reserve(fill.size());
    for (CVtrRule* rule : fill)
        if (m_pool.Contains(rule))
            listed.append(rule);
    m_lastSelectedRow = -1;
    m_lastSelectedRule = nullptr;
    InsertRows(listed, adoptUnits);
    NumberRows();
    m_source->OnRulesListed();
    if (onTitleChanged)
        onTitleChanged();
    if (m_model.RowCount() == 0) {
        if (AppContext* app = AppContext::Instance())
            app->SetConfigureRuleEnabled(false);
    }
    RecountSelected();
    RefreshStatus();
}

bool RuleListController::SetChecked(int row, bool checked)
{
    return m_model.SetChecked(row, checked);
}

void RuleListController::SetCheckedRows(const QList<int>& rows, bool checked)
{
    const OrderedRuleSet* selected = m_doc ? &m_doc->SelectedRules() : nullptr;
    // Rules, their names and the document's index lie all over memory, and a
    // pass over a big list would wait on memory at every row. Rows go in
    // groups, in a pipeline: while one group is handled, the rules of a group
    // further on are fetched with their index entries, and the names of the
    // next group, which are read through its rules.
    constexpr qsizetype kGroup = 16;
    constexpr qsizetype kRulesAhead = 3;
    constexpr qsizetype kNamesAhead = 1;
    auto fetchRules = [&](qsizetype start) {
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k)
            if (const CVtrRule* rule = m_model.RuleAt(rows[k])) {
                // The flag and the name lie at the start of the rule, which
                // may straddle two lines.
                __builtin_prefetch(rule);
                __builtin_prefetch(reinterpret_cast<const char*>(rule) + 39);
                if (selected) {
                    // The remembered place, or the index when there is none.
                    const uint32_t slot = m_model.Rows()[static_cast<size_t>(rows[k])].slot;
                    if (slot < m_places.size() && m_places[slot] != kNoPlace)
                        selected->PrefetchPlace(m_places[slot]);
                    else
                        selected->Prefetch(rule);
                }
            }
    };
    auto fetchNames = [&](qsizetype start) {
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k)
            if (const CVtrRule* rule = m_model.RuleAt(rows[k])) {
                // The name is logged; it often spans two lines.
                const QString& name = rule->GetRuleName();
                __builtin_prefetch(name.constData());
                __builtin_prefetch(name.constData() + name.size());
            }
    };
    m_inBatch = true;
    int first = m_model.RowCount();
    int last = -1;
    for (qsizetype g = 0; g < kRulesAhead; ++g)
        fetchRules(g * kGroup);
    for (qsizetype g = 0; g < kNamesAhead; ++g)
        fetchNames(g * kGroup);
    for (qsizetype start = 0; start < rows.size(); start += kGroup) {
        fetchRules(start + kRulesAhead * kGroup);
        fetchNames(start + kNamesAhead * kGroup);
        for (qsizetype k = start; k < std::min(rows.size(), start + kGroup); ++k) {
            const int row = rows[k];
            if (!m_model.SetCheckedQuietly(row, checked))
                continue;
            first = std::min(first, row);
            last = std::max(last, row);
            OnCheckChanged(row);
        }
    }
    m_inBatch = false;
    m_logBatch.Flush();
    // One change for the span: a view repaints once, not once per row.
    m_model.AnnounceChecks(first, last);
    if (onTitleChanged)
        onTitleChanged();
    RefreshStatus();
}

void RuleListController::OnCheckChanged(int row)
{
    CVtrRule* rule = m_model.RuleAt(row);
    if (!rule || !m_doc)
        return;
    m_lastChangedRow = row;
    const bool wasSelected = rule->GetSelected() == 1;
    bool listed = false;
    bool wasListed = false;
    if (m_model.IsChecked(row)) {
        wasListed = WasListed(row, rule, true);
        listed = true;
        if (rule->GetSelected() == 0) {
            rule->SetSelected(1);
            m_doc->SetModifiedFlag(true);
            Log(QStringLiteral("%s Rule is Selected"), rule->GetRuleName());
        }
    } else if (wasSelected) {
        // The rule stays in the document's list with flag 0, so the file
        // keeps its settings marked as not selected.
        listed = wasListed = WasListed(row, rule, false);
        rule->SetSelected(0);
        if (listed) {
            m_doc->SetModifiedFlag(true);
            Log(QStringLiteral("%s Rule is Deselected"), rule->GetRuleName());
        }
    }
    const bool countedBefore = wasSelected && wasListed;
    const bool countedAfter = rule->GetSelected() == 1 && listed;
    m_selectedCount += (countedAfter ? 1 : 0) - (countedBefore ? 1 : 0);
    if (m_inBatch)
        return;
    if (onTitleChanged)
        onTitleChanged();
    RefreshStatus();
}

bool RuleListController::WasListed(int row, CVtrRule* rule, bool append)
{
    OrderedRuleSet& selected = m_doc->SelectedRules();
    const uint32_t slot = m_model.Rows()[static_cast<size_t>(row)].slot;
    uint32_t* remembered = slot < m_places.size() ? &m_places[slot] : nullptr;
    if (remembered && selected.IsAt(rule, *remembered))
        return true;
    size_t place = OrderedRuleSet::kNoPlace;
    bool was = false;
    if (append) {
        was = !selected.Append(rule, place);
    } else {
        place = selected.PlaceOf(rule);
        was = place != OrderedRuleSet::kNoPlace;
    }
    if (remembered)
        *remembered = place < kNoPlace ? static_cast<uint32_t>(place) : kNoPlace;
    return was;
}

void RuleListController::NumberRows()
{
    m_model.NumberRows();
    m_places.assign(static_cast<size_t>(m_model.RowCount()), kNoPlace);
}

void RuleListController::Log(const QString& message, const QString& text)
{
    if (m_inBatch)
        m_logBatch.AddWithText(message, text);
    else
        LogWithText(message, text);
}

void RuleListController::RefreshRuleTexts()
{
    m_model.RefreshKeys();
    m_model.AnnounceTexts();
    // The rows kept for a cleared search hold the old keys.
    m_allRowsValid = false;
}

void RuleListController::OnSelectionChanged(int selectedRows, int changedRow)
{
    AppContext* app = AppContext::Instance();
    if (!app)
        return;
    const bool one = selectedRows == 1;
    app->SetConfigureRuleEnabled(one);
    const CVtrRule* rule = m_model.RuleAt(changedRow);
    if (one && rule && rule->GetValidatorName().compare(QLatin1String("PLQRuleValidator"), Qt::CaseInsensitive) == 0) {
        const bool custom = rule->GetRuleModuleName().contains(QLatin1String("Custom"), Qt::CaseSensitive);
        app->SetEditCustomRuleEnabled(custom);
        app->SetEditProductRuleEnabled(!custom);
    } else {
        app->SetEditCustomRuleEnabled(false);
        app->SetEditProductRuleEnabled(false);
    }
}

void RuleListController::RefreshRow(int row)
{
    if (!m_model.RefreshRow(row))
        return;
    const RuleListModel::Row& fresh = m_model.Rows()[static_cast<size_t>(row)];
    if (m_allRowsValid && fresh.slot < m_allRows.size() && m_allRows[fresh.slot].rule == fresh.rule) {
        const bool checked = m_allRows[fresh.slot].checked;
        m_allRows[fresh.slot] = fresh;
        m_allRows[fresh.slot].checked = checked;
    }
}

bool RuleListController::TakeStoredRule(
    CVtrRule* rule, const UserRuleStore& store, const QString& name, const QString& category)
{
    // One rule per command: finding its row once is fine.
    int row = -1;
    for (int r = 0; r < m_model.RowCount() && row < 0; ++r)
        if (m_model.RuleAt(r) == rule)
            row = r;
    if (row < 0 || !UserRuleCommands::TakeStoredRule(*rule, store, name, category))
        return false;
    RefreshRow(row);
    if (m_model.IsChecked(row) && m_doc)
        m_doc->SetModifiedFlag(true);
    return true;
}

void RuleListController::SortByColumn(int column)
{
    if (column < RuleListModel::RuleColumn || column > RuleListModel::CriticalityColumn)
        return;
    m_sortState = (std::abs(m_sortState) == column + 1) ? -m_sortState : column + 1;
    m_model.SortRows(column, m_sortState < 0);
}

void RuleListController::ReapplySort()
{
    if (m_sortState != 0)
        m_model.SortRows(std::abs(m_sortState) - 1, m_sortState < 0);
}

void RuleListController::Search(const QString& text)
{
    if (!m_doc)
        return;
    const QString lower = text.toLower();
    if (lower != m_searchText) {
        // A new text searches every rule: the hint lists them all again in
        // the other views, and in this one lists only those that match, in
        // one pass.
        m_filterOnRestore = lower;
        m_filterPending = true;
        if (!m_doc->Views().isEmpty())
            m_doc->UpdateAllViews(9);
        if (m_filterPending) // this list is not among the document's views
            ClearSearch();
    } else {
        m_model.KeepRowsContaining(lower);
    }
    m_searchText = lower;
    m_searchActive = true;
    RefreshStatus();
}

void RuleListController::ClearSearch()
{
    const bool filter = std::exchange(m_filterPending, false);
    if (m_allRowsValid) {
        // Check boxes changed while the search was active go back first.
        for (const RuleListModel::Row& row : m_model.Rows()) {
            if (row.slot < m_allRows.size() && m_allRows[row.slot].rule == row.rule) {
                m_allRows[row.slot].checked = row.checked;
            }
        }
        if (filter)
            m_model.SetRowsContaining(m_allRows, m_filterOnRestore);
        else
            m_model.SetRows(m_allRows);
    } else {
        // Rules listed before keep their keys: taking them again means a
        // look-up of every rule's texts, slow for a big list whose texts are
        // out of cache. The pool's own index tells where each row's rule
        // sits in the pool.
        const std::vector<RuleListModel::Row> listed = m_model.TakeRows();
        std::vector<const RuleListModel::Row*> atPlace(m_pool.PlaceCount(), nullptr);
        constexpr size_t kAhead = 16;
        for (size_t i = 0; i < listed.size(); ++i) {
            if (i + kAhead < listed.size())
                m_pool.Prefetch(listed[i + kAhead].rule);
            const size_t place = m_pool.PlaceOf(listed[i].rule);
            if (place != OrderedRuleSet::kNoPlace)
                atPlace[place] = &listed[i];
        }
        QList<CVtrRule*> rules;
        std::vector<const RuleListModel::Row*> keyed;
        rules.reserve(m_pool.Size());
        keyed.reserve(static_cast<size_t>(m_pool.Size()));
        m_pool.ForEachPlace([&](CVtrRule* rule, size_t place) {
            rules.append(rule);
            keyed.push_back(atPlace[place]);
        });
        InsertRows(rules, false, keyed);
        NumberRows();
        m_allRows = m_model.Rows();
        m_allRowsValid = true;
        if (filter)
            m_model.KeepRowsContaining(m_filterOnRestore);
    }
    m_searchActive = false;
    ReapplySort();
    RefreshStatus();
}

QString RuleListController::StatusText() const
{
    QString text = VtrString(StrId::StatusSelected);
    const qsizetype first = text.indexOf(QLatin1String("%d"));
    if (first >= 0)
        text.replace(first, 2, QString::number(m_selectedCount));
    const qsizetype second = text.indexOf(QLatin1String("%d"));
    if (second >= 0)
        text.replace(second, 2, QString::number(m_model.RowCount()));
    return text;
}

void RuleListController::RefreshStatus()
{
    const QString text = StatusText();
    if (AppContext* app = AppContext::Instance())
        app->ShowStatusText(text);
    if (onStatusChanged)
        onStatusChanged(text);
}

void RuleListController::RecountSelected()
{
    int count = 0;
    if (m_doc)
        m_doc->SelectedRules().ForEach([&count](CVtrRule* r) { count += r->GetSelected() == 1 ? 1 : 0; });
    m_selectedCount = count;
}

QList<CVtrRule*> RuleListController::ListedRules() const
{
    QList<CVtrRule*> out = m_pool.ToList();
    out.append(m_installedRules);
    return out;
}

void RuleListController::ClearAll()
{
    // The rules are about to be released; the application must not keep them.
    if (AppContext* app = AppContext::Instance();
        app && !m_installedRules.isEmpty() && app->AllRules() == m_installedRules) {
        app->AllRules().clear();
        // A refill (the document read its file again) hands it the new list.
        m_appListWasOurs = true;
    }
    m_model.Clear();
    m_model.ForgetCustomMessages();
    m_pool.Clear();
    m_allRows.clear();
    m_allRowsValid = false;
    m_places.clear();
    m_installedRules.clear();
    m_loadedPaths.clear();
    // The search and the sort stay: a refill after the document read its
    // file again applies them to the new rows.
    m_selectedCount = 0;
}

RuleListDocLink::RuleListDocLink(RuleListController* list)
    : m_list(list)
{
    if (m_list && m_list->Document())
        m_list->Document()->AddView(this);
}

RuleListDocLink::~RuleListDocLink()
{
    if (m_list && m_list->Document())
        m_list->Document()->RemoveView(this);
}

void RuleListDocLink::OnUpdate(int hint)
{
    m_list->OnUpdate(hint);
}

QList<CVtrRule*> RuleListDocLink::ListedRules() const
{
    return m_list->ListedRules();
}

void RuleListDocLink::ClearRows()
{
    m_list->ClearAll();
}

QStringList SplitSummary(const QString& text, int columnWidth, int textPixelWidth)
{
    QStringList lines;
    if (text.isEmpty())
        return lines;
    qsizetype limit = text.size();
    if (textPixelWidth > 0 && columnWidth > 0)
        limit = std::max<qsizetype>(1, text.size() * columnWidth / textPixelWidth);
    QString rest = text;
    while (rest.size() > limit) {
        qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), limit);
        if (cut <= 0)
            cut = limit;
        lines.append(rest.left(cut));
        rest = rest.mid(cut);
        if (rest.startsWith(QLatin1Char(' ')))
            rest.remove(0, 1);
    }
    if (!rest.isEmpty())
        lines.append(rest);
    return lines;
}
