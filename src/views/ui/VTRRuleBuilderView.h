#pragma once

#include "custommsg/UsageHook.h"
#include "document/RuleDocViewLink.h"

#include <functional>
#include <memory>

#include <QWidget>

class CVTRRuleBuilderDoc;
class CRuleCompareWindow;
class CRuleFilterBar;
class CVTRRMListCtrlEx;
class IModuleRuleSource;
class QLabel;
class QListWidget;
class RuleConfigurer;
class RuleDefaultsMarker;
class QTemporaryDir;
class IRuleSettingsOwners;
class RuleListController;

// The view of a rule document: the rule list (every rule the registered
// modules offer, ticked when the document holds it) and under it the summary
// of the selected rule. The application hosts one per child frame:
//   auto* view = new CVTRRuleBuilderView(doc, frame);
//   view->OnInitialUpdate();      // after the document was created or opened
//   view->Search(text);           // from the search dialog
// Nothing else is needed: the view registers itself with the document (and
// unregisters when destroyed), answers the update hints and hands the status
// text to AppContext::ShowStatusText. Call OnActivated() when its frame
// becomes the active one so Configure rule follows its selection.
class CVTRRuleBuilderView : public QWidget, public IRuleDocView
{
    Q_OBJECT
public:
    CVTRRuleBuilderView(CVTRRuleBuilderDoc* doc, QWidget* parent = nullptr);
    // source: where module rules come from (tests); null for the loaded modules.
    CVTRRuleBuilderView(CVTRRuleBuilderDoc* doc, std::unique_ptr<IModuleRuleSource> source, QWidget* parent);
    ~CVTRRuleBuilderView() override;

    CVTRRuleBuilderDoc* GetDocument() const { return m_doc; }
    // Builds the columns, fills the list and refreshes the all-rules file.
    void OnInitialUpdate();
    // Keeps only the rows that contain the text (columns 0 to 3).
    void Search(const QString& text);
    // The frame became active: Configure rule and the status bar follow this view.
    void OnActivated();

    // IRuleDocView
    void OnUpdate(int hint) override;
    QList<CVtrRule*> ListedRules() const override;
    void ClearRows() override;

    CVTRRMListCtrlEx* ListCtrl() const { return m_list; }
    QListWidget* SummaryPane() const { return m_summary; }
    CRuleFilterBar* FilterBar() const { return m_filterBar; }
    // Compares the document with the rule file at path and opens the window
    // of differences (null, with a message, when either cannot be read).
    CRuleCompareWindow* CompareWith(const QString& path);
    // Selects and shows the row of a rule ("Category/Name"), clearing the
    // filter bar and the search when they hide it; false when no row holds it.
    bool ShowRule(const QString& owner);
    // Compares every listed rule with its defaults off this thread; the rows
    // that differ are marked when the result arrives. Runs after opening,
    // reloads, units changes, Configure and Reset to Default.
    void RefreshDefaultsMarks();
    // The comparison behind the marks (tests wait on it).
    RuleDefaultsMarker* DefaultsMarker() const { return m_marker; }
    RuleListController* Controller() const { return m_controller.get(); }
    // The status text last shown.
    QString StatusText() const;

    // Context menu "Reset to Default": whether it is offered for the
    // selected rows (rules found different get their flag set), and the
    // command itself (asks first; false when nothing was done).
    bool ResetToDefaultEnabled();
    bool OnResetToDefault();
    // Answers the reset question instead of the dialog (tests).
    void SetResetQuestion(std::function<bool()> answer) { m_resetQuestion = std::move(answer); }
    // Answers the centralized-database warning instead of its dialog (tests).
    void SetCustomMessageWarning(std::function<bool()> answer) { m_messageWarning = std::move(answer); }
    // Shows an import's log instead of the error dialog (tests).
    void SetCustomMessageErrors(std::function<void(const QString&)> show) { m_messageErrors = std::move(show); }

public slots:
    // Configure rule: hands the first selected row's rule to the owner of its settings.
    void OnConfigureRule();
    // Export: writes the listed rows' custom messages to a sheet and opens it.
    void OnExportCustomMessage();
    // Import: reads a sheet, checks it, stores its messages for the listed rows.
    void OnImportCustomMessage();
    // Compare with…: asks for another rule file and opens the window of differences.
    void OnCompareWith();

    // The help id of the rule F1 asks about: the current row when it is
    // selected, else the first selected row; 0 when no rule is selected.
    int SelectedRuleHelpId() const;

signals:
    void StatusTextChanged(const QString& text);
    // F1 on a selected rule: the help page of its help id.
    void RuleHelpRequested(int helpId);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Init();
    void ShowFilterCount();
    void RefreshSummary();
    void ShowSortIndicator();
    void OnSelectionChanged();
    void OnDoubleClick(int row, int column);
    void OnPassword();
    QList<CVtrRule*> SelectedRules() const;
    void ConfigureRow(int row);
    // Commits a custom message edited in place in the list.
    void CommitMessage(int row, const QString& oldMessage, const QString& text);
    // The centralized-database warning, while it is on: false on Cancel.
    bool ConfirmCentralDatabase();

    CVTRRuleBuilderDoc* m_doc;
    std::unique_ptr<RuleListController> m_controller;
    std::unique_ptr<IRuleSettingsOwners> m_owners;
    std::unique_ptr<RuleConfigurer> m_configurer;
    CVTRRMListCtrlEx* m_list = nullptr;
    QLabel* m_label = nullptr;
    QListWidget* m_summary = nullptr;
    CRuleFilterBar* m_filterBar = nullptr;
    RuleDefaultsMarker* m_marker = nullptr;
    // Holds the files of listed rules the marks are computed from.
    std::unique_ptr<QTemporaryDir> m_marksDir;
    int m_marksRun = 0;
    std::function<bool()> m_resetQuestion;
    std::function<bool()> m_messageWarning;
    std::function<void(const QString&)> m_messageErrors;
    // The view's own usage hook, which reports imported messages (loaded
    // once the settings are read).
    std::unique_ptr<UsageHook> m_usage;
};
