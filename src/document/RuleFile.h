#pragma once

#include "document/FileDetails.h"
#include "RuleUnits.h"

#include <QList>
#include <QString>

class CVtrRule;

// Writes a rule file: the record's rules in sequence order, or with allRules
// the application's list of all rules. The file is replaced atomically.
bool WriteRuleFile(CVTRFileDetails& record, const QString& path, bool allRules);
// Reads a rule file into the record, appending the rules it yields. False
// when the file cannot be read, is not well-formed or is not a rule file.
bool ReadRuleFile(CVTRFileDetails& record, const QString& path);
// APPDATA (else the user's data folder) / "VTRPRO" / host folder /
// "VTRPro_All_RuleFile.vtr"; the folders are created.
QString GetAllRulesFilePath();
// Refresh of the all-rules file for the list view: converts installedRules
// from previous to current units, makes them the application's list of all
// rules and, when a document is active, writes the all-rules file in current units.
void RefreshAllRulesFile(const QList<CVtrRule*>& installedRules, const RuleUnits& previous, const RuleUnits& current,
                         bool activeDocument);
