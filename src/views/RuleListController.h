#pragma once

#include "document/OrderedRuleSet.h"
#include "Utilities/VTRUIUtils.h"
#include "document/RuleDocViewLink.h"
#include "views/ModuleRuleSource.h"
#include "views/RuleListFilter.h"
#include "views/RuleListModel.h"

#include <functional>
#include <memory>

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class CVTRRuleBuilderDoc;
class CVtrRule;
class UserRuleStore;

// The rule list of one document without windows: loads module rules, fills
// the rows and matches the file's rules, prunes rules of modules that went
// away, applies check boxes to the document, sorts, searches and builds the
// status text. The view and the command-line tool drive it.
class RuleListController
{
public:
    // source null means the application's loaded modules.
    explicit RuleListController(CVTRRuleBuilderDoc* doc, std::unique_ptr<IModuleRuleSource> source = nullptr);
    ~RuleListController();

    RuleListModel* Model() { return &m_model; }
    CVTRRuleBuilderDoc* Document() const { return m_doc; }

    // First fill of a view: rows from the modules and the document with the
    // file's rules matched and units adopted, sorted by column 0, the
    // all-rules file refreshed, units brought in step.
    void InitialUpdate();
    // Reacts to a document update hint (1, 3, 9; others do nothing here).
    void OnUpdate(int hint);
    // Whether a units change rewrites the all-rules file (on by default).
    // The command-line tool turns it off: that file belongs to the running
    // program, whose units may differ.
    void SetWritesAllRulesFile(bool on) { m_writesAllRulesFile = on; }
    // Fills the rows (see InitialUpdate for the flags' meaning).
    void Fill(bool matchFileRules, bool adoptUnits);

    // Changes a row's check box as the user would.
    bool SetChecked(int row, bool checked);
    // The same for many rows (Ctrl+A then space): the title and status are
    // refreshed once at the end.
    void SetCheckedRows(const QList<int>& rows, bool checked);
    // Applies a row's check state to the document as a check-box change
    // does (after its rule was reloaded, for instance from its defaults).
    void ApplyCheckState(int row) { OnCheckChanged(row); }
    // The texts of listed rules changed (criticality, category): the sort
    // and search keys follow and the views rewrite columns 0 to 3.
    void RefreshRuleTexts();
    // Application flags from the selection: selectedRows is the number of
    // selected rows, changedRow the row whose state changed.
    void OnSelectionChanged(int selectedRows, int changedRow);

    // A row's rule changed its texts (criticality, category, names): its
    // cells, sort and search keys follow at once, also for a search cleared later.
    void RefreshRow(int row);

    // After the rule-creation program stored a rule edited from the list's
    // copy: the copy takes the rule stored under name and category, its row
    // shows it and a ticked row marks the document modified. False when the
    // rule is not listed or nothing is stored under that name.
    bool TakeStoredRule(CVtrRule* rule, const UserRuleStore& store, const QString& name, const QString& category);

    // Column click: sorts by the column, flipping the order on a second click.
    void SortByColumn(int column);
    // Sort state: column + 1, negative for descending; 0 before any sort.
    int SortState() const { return m_sortState; }
    // Applies the current sort again.
    void ReapplySort();

    // Removes every row none of whose columns 0..3 contains the text (lower case).
    void Search(const QString& text);
    // Lists every rule of the pool again and ends the search.
    void ClearSearch();
    bool SearchActive() const { return m_searchActive; }
    QString SearchText() const { return m_searchText; }

    // The filter bar: keeps only the rows the filter passes, on top of a
    // search; rows come back when it is widened or cleared. It stays through
    // refills and searches. Rows that stop passing after a change of their
    // own (a tick removed under "ticked only") stay until it is applied again.
    void SetFilter(const RuleListFilter& filter);
    const RuleListFilter& Filter() const { return m_filter; }
    // The rows the list would show without the filter bar (the "M" of "N of M").
    int UnfilteredRowCount() const { return m_filter.IsEmpty() ? m_model.RowCount() : m_unfilteredRows; }
    // "N of M".
    QString FilterCountText() const;
    // The module of every rule the list holds, once each, sorted.
    QStringList ModuleNames() const;
    // Rules whose settings differ from their module's defaults, with the
    // settings that do: the rows are marked, and a "differs only" filter
    // follows.
    void SetDiffering(QHash<const CVtrRule*, QStringList> differing);

    // The document's selected count and the listed rows (string 61489),
    // also handed to the application.
    QString StatusText() const;
    void RefreshStatus();
    // Number of rules in the document's list whose selected flag is 1.
    int SelectedCount() const { return m_selectedCount; }

    // The row the last fill reported as selected, or -1 (before any sort).
    int LastSelectedRow() const { return m_lastSelectedRow; }
    // The rule of that row, or null.
    CVtrRule* LastSelectedRule() const { return m_lastSelectedRule; }
    // Every rule the list holds: the pool and the installed-module rules.
    QList<CVtrRule*> ListedRules() const;
    // Empties rows, pool and lists without releasing rules (the document does
    // that); the sort and the search stay for a refill.
    void ClearAll();
    // The pool: every rule this list has shown.
    const OrderedRuleSet& Pool() const { return m_pool; }
    const QList<CVtrRule*>& InstalledRules() const { return m_installedRules; }

    // Called when the document's title should be refreshed and when the
    // status text changed (the view hooks these).
    std::function<void()> onTitleChanged;
    std::function<void(const QString&)> onStatusChanged;
    // Called after the filter bar's filter was applied to new rows.
    std::function<void()> onRowsFiltered;

private:
    struct Availability;
    void LoadModuleRules(QList<CVtrRule*>& fill);
    void StampRules(const QList<CVtrRule*>& rules, const QString& libraryPath, const QString& moduleName);
    void AppendProductRules(const QString& libraryPath, QList<CVtrRule*>& out);
    void MatchFileRules(QList<CVtrRule*>& fill);
    void PruneRows(const Availability& available);
    void PrunePool(const Availability& available);
    bool Listable(const CVtrRule* rule, bool vstaSupported) const;
    // Appends a row per listable rule. keyed, when given, holds for each rule
    // the row it had before (or null), whose keys it keeps.
    void InsertRows(
        const QList<CVtrRule*>& rules, bool adoptUnits, const std::vector<const RuleListModel::Row*>& keyed = {});
    void OnCheckChanged(int row);
    // Logs a line now, or with the batch of a change of many rows.
    void Log(const QString& message, const QString& text);
    void RecountSelected();
    void RemoveEverywhere(CVtrRule* rule);
    // Lists every row of the pool again, keeping only those containing
    // *containing when given (lower case).
    void ListEveryRow(const QString* containing);
    // Applies the filter bar's filter to the rows listed now; with relist,
    // first lists every row again (with the search's text, if any).
    void ApplyFilter(bool relist);
    // The units step of opening: held rules keep the document's units, the
    // others are converted from its previous ones.
    void BringRowsToDocumentUnits();

    CVTRRuleBuilderDoc* m_doc;
    std::unique_ptr<IModuleRuleSource> m_source;
    RuleListModel m_model;
    OrderedRuleSet m_pool;
    QList<CVtrRule*> m_installedRules;
    QSet<QString> m_loadedPaths;
    QString m_searchText;
    bool m_searchActive = false;
    // A search with a new text asks for every row again; its own list then
    // keeps only the rows that match this text.
    QString m_filterOnRestore;
    bool m_filterPending = false;
    RuleListFilter m_filter;
    int m_unfilteredRows = 0;
    int m_sortState = 0;
    int m_selectedCount = 0;
    int m_lastSelectedRow = -1;
    int m_lastChangedRow = -1;
    bool m_inBatch = false;
    // Where the rule of each row (by slot) was last seen in the document's
    // selected-rule list. Checking that one entry is far cheaper for big
    // lists than looking the rule up; a stale place only means a look-up.
    std::vector<uint32_t> m_places;
    static constexpr uint32_t kNoPlace = UINT32_MAX;
    // Whether a row's rule was in the document's list; with append it is
    // appended when it was not. Keeps the row's place up to date.
    bool WasListed(int row, CVtrRule* rule, bool append);
    void NumberRows();
    LogTextBatch m_logBatch;
    // Every pool row as a cleared search lists it, so that clearing a search
    // does not read every rule again; invalid after the pool changed.
    std::vector<RuleListModel::Row> m_allRows;
    bool m_allRowsValid = false;
    CVtrRule* m_lastSelectedRule = nullptr;
    bool m_writesAllRulesFile = true;
    // The application's list of all rules was this list's until ClearAll.
    bool m_appListWasOurs = false;
};

// Connects a list without a window to its document, so that the document's
// hints and its close reach the list (the command-line tool and tests use it;
// the view is its own link).
class RuleListDocLink : public IRuleDocView
{
public:
    explicit RuleListDocLink(RuleListController* list);
    ~RuleListDocLink() override;
    void OnUpdate(int hint) override;
    QList<CVtrRule*> ListedRules() const override;
    void ClearRows() override;

private:
    RuleListController* m_list;
};

// Splits a summary into the lines of the summary pane: at most
// (length x columnWidth / textWidth) characters a line, each line broken at
// the last blank before that limit (at the limit when there is none).
QStringList SplitSummary(const QString& text, int columnWidth, int textPixelWidth);
