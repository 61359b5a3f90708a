#pragma once

#include "modules/ModuleLists.h"

#include <cstdint>

#include <QList>
#include <QObject>
#include <QString>

class CVtrRule;

// The window-free state of the application object: module lists, command
// flags, the all-rules file, the usage-event hook. The application (and the
// command-line tool) creates one; rule-file code and views reach it through
// Instance().
class AppContext : public QObject
{
    Q_OBJECT
public:
    AppContext();
    ~AppContext() override;

    // The process-wide context, or null before one exists.
    static AppContext* Instance();

    ModuleSet& Modules() { return m_modules; }

    // Command-state flags kept for command enabling.
    bool EditCustomRuleEnabled() const { return m_editCustomRule; }
    bool EditProductRuleEnabled() const { return m_editProductRule; }
    bool ConfigureRuleEnabled() const { return m_configureRule; }
    bool UnitsEnabled() const { return m_unitsEnabled; }
    int32_t MaterialDataFlag() const { return m_materialData; }
    void SetEditCustomRuleEnabled(bool on);
    void SetEditProductRuleEnabled(bool on);
    // The one-rule-selected flag: it enables Configure rule.
    void SetConfigureRuleEnabled(bool on);
    void SetUnitsEnabled(bool on);
    void SetMaterialDataFlag(int32_t flag);

    // 1 while a module's EditRule runs, else 0.
    int32_t EditInProgress() const { return m_editInProgress; }
    void SetEditInProgress(int32_t flag) { m_editInProgress = flag; }

    // The application's list of all rules (written to the all-rules file).
    QList<CVtrRule*>& AllRules() { return m_allRules; }
    // The all-rules file path (deleted at exit) and the last one written.
    QString AllRulesPath() const { return m_allRulesPath; }
    void SetAllRulesPath(const QString& path) { m_allRulesPath = path; }
    QString LastAllRulesFile() const { return m_lastAllRulesFile; }
    void SetLastAllRulesFile(const QString& path) { m_lastAllRulesFile = path; }

    // The centralized-database warning before custom messages are stored:
    // on at start-up, off for the rest of the run once the user said OK.
    bool CentralDatabaseWarning() const { return m_centralDatabaseWarning; }
    void SetCentralDatabaseWarning(bool on) { m_centralDatabaseWarning = on; }

    // Resource folder and help file path chosen at start-up.
    QString ResourceFolder() const { return m_resourceFolder; }
    void SetResourceFolder(const QString& folder);
    QString HelpFilePath() const { return m_resourceFolder + QStringLiteral("/vtrpro.chm"); }

    // Usage-event hook: loads the collector when setting 73 is on and sends
    // the two start events. Safe to call more than once.
    void StartUsageHook();
    // Sends the closing event and frees the collector.
    void StopUsageHook();
    // Whether the hook is loaded.
    bool UsageHookLoaded() const { return m_trackEvent != nullptr; }
    // Sends one usage event when the hook is loaded.
    void TrackEvent(int32_t value, int32_t kind, const QString& text);
    // Kind 11, "Successful" and the command's value.
    void TrackCommand(int32_t value) { TrackEvent(value, 11, QStringLiteral("Successful")); }

    // Status text for the main frame's status bar.
    void ShowStatusText(const QString& text);
    QString StatusText() const { return m_statusText; }

signals:
    // A command flag changed: enabling must be recomputed.
    void FlagsChanged();
    // New text for the status bar.
    void StatusTextChanged(const QString& text);

private:
    using TrackEventFn = void (*)(int32_t, int32_t, const QString*);

    ModuleSet m_modules;
    bool m_editCustomRule = false;
    bool m_editProductRule = false;
    bool m_configureRule = false;
    bool m_unitsEnabled = false;
    int32_t m_materialData = 0;
    int32_t m_editInProgress = 0;
    bool m_centralDatabaseWarning = true;
    QList<CVtrRule*> m_allRules;
    QString m_allRulesPath;
    QString m_lastAllRulesFile;
    QString m_resourceFolder;
    QString m_statusText;
    void* m_usageLibrary = nullptr;
    TrackEventFn m_trackEvent = nullptr;
};
