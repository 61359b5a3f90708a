// Filling the list: module rules loaded, rows of modules that went away
// pruned, rows appended. Matching the file's rules is in RuleListMatch.cpp.
#include "views/RuleListController.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListDetail.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"

#include <utility>

using namespace RuleListDetail;

namespace {

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
    m_model.SetDiffering({});

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
