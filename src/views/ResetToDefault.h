#pragma once

#include <QList>
#include <QString>

class CVtrRule;
class RuleListController;

// Whether "Reset to Default" is offered for the selected rules, decided when
// the context menu opens: each rule that the document's saved file holds is
// compared with its defaults in the all-rules file, and a rule found
// different gets its differs-from-default flag set to 1 (it stays 1 until
// the rule is reset). Both files are read once for all the rules. False when
// nothing differs, or when the saved file cannot be read.
bool MarkRulesThatDiffer(const QString& documentPath, const QString& allRulesPath, const QList<CVtrRule*>& rules);

// Resets the rules of the given rows whose differs-from-default flag is 1 to
// the settings of their element in the all-rules file, in the order of the
// rows. Each keeps its module path and its row's check state; the document
// is marked modified. The rows' texts and sort keys are refreshed at the end.
// Returns how many rules were reset, or -1 (nothing changed) when there is
// no document or the all-rules file cannot be read.
int ResetRulesToDefault(RuleListController& list, const QList<int>& rows, const QString& allRulesPath);
