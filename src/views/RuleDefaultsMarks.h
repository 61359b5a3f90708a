#pragma once

#include "views/RuleSettingsReport.h"

#include <atomic>
#include <vector>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class CVtrRule;
class QThread;
class RuleListController;

// Which rules of the list differ from their module's defaults, and in which
// settings: the settings report, run once over a file of every listed rule
// against the all-rules file the program writes, so the cost is linear in the
// rules. Criticality, values, recommended and alert values all count.

// The key of a rule in the results: name and category, case aside.
QString DifferingRuleKey(const QString& name, const QString& category);

// The settings whose lines differ between a rule's listing and its
// defaults' listing, named for people ("parameter 2: alert value", "criticality"),
// once each, in listing order. Empty when the listings are the same.
QStringList DifferingSettingNames(const std::vector<SettingsLine>& current, const std::vector<SettingsLine>& defaults);

// Every rule of currentPath whose settings differ from its defaults in
// defaultsPath, by DifferingRuleKey. Rules the defaults do not hold (rules
// of the user, for instance) and rules whose settings are never compared
// are left out. False (and nothing found) when either file cannot be read.
// Reads only the two files: safe on any thread.
bool FindDifferingRules(const QString& currentPath, const QString& defaultsPath, QHash<QString, QStringList>& out);

// Writes every rule the list holds, ticked or not, with its settings as they
// are now in the document's units, to path; false when it cannot be written.
// Run on the thread that owns the rules.
bool WriteListedRulesForMarks(const RuleListController& list, const QString& path);

// The listed rules the results name, for RuleListController::SetDiffering.
QHash<const CVtrRule*, QStringList> DifferingListedRules(
    const RuleListController& list, const QHash<QString, QStringList>& found);

// Runs FindDifferingRules on a worker thread and hands the result to the
// thread that owns this object. A start supersedes the ones before it:
// their results are dropped. Destroying it waits for the worker.
class RuleDefaultsMarker : public QObject
{
    Q_OBJECT
public:
    explicit RuleDefaultsMarker(QObject* parent = nullptr);
    ~RuleDefaultsMarker() override;
    // Compares currentPath with defaultsPath; currentPath is removed once read
    // when removeCurrent is set.
    void Start(const QString& currentPath, const QString& defaultsPath, bool removeCurrent);
    // Waits until no comparison runs (tests); false on timeout.
    bool WaitIdle(int milliseconds);
    bool Busy() const { return !m_threads.isEmpty(); }

signals:
    // The newest comparison's result (loaded false when a file could not be read).
    void Found(const QHash<QString, QStringList>& differing, bool loaded);

private:
    std::atomic<quint64> m_generation { 0 };
    QList<QThread*> m_threads;
};
