#pragma once

#include "document/FileDetails.h"
#include "RuleUnits.h"

#include <cstdint>

#include <QDateTime>
#include <QList>
#include <QString>

class CVtrRule;
class VtrXMLNode;

// Writes a rule file: the record's rules in sequence order, or with allRules
// the application's list of all rules. The file is replaced atomically; false
// when there is no application context, the path is empty or the save failed
// (the previous file is then left as it was).
bool WriteRuleFile(CVTRFileDetails& record, const QString& path, bool allRules);
// Reads a rule file into the record, appending the rules it yields; the
// elements that yield none are listed in the record's droppedRules. False
// when the file cannot be read, is not well-formed or is not a rule file.
bool ReadRuleFile(CVTRFileDetails& record, const QString& path);
// APPDATA (else the user's data folder) / "VTRPRO" / host folder /
// "VTRPro_All_RuleFile.vtr"; the folders are created.
QString GetAllRulesFilePath();
// Refresh of the all-rules file for the list view: converts installedRules
// from previous to current units, makes them the application's list of all
// rules and, when a document is active, writes the all-rules file in current
// units. True when the file was written.
bool RefreshAllRulesFile(
    const QList<CVtrRule*>& installedRules, const RuleUnits& previous, const RuleUnits& current, bool activeDocument);

// A rule object for a "Rule" element: offered to the loaded rule modules in
// load order, then to the configurator; "Interactive User Defined Rule"
// elements become ConcreteVTRRule objects. Null when nobody takes it.
CVtrRule* MakeRuleFromElement(VtrXMLNode* ruleNode);
// The folder of the all-rules file for a host code: "SW", "Creo", "NX",
// "CGM", "Catia", or empty for standalone and unknown hosts.
QString AllRulesHostFolder(int32_t hostCode);
// "CreatedOn" text: month/day/year and 24-hour time, "07/04/2026 13:05:09".
QString FormatCreatedOn(const QDateTime& when);

// Names of the rule file's root element and its attributes.
namespace RuleFileNames {
inline constexpr char kRoot[] = "VTRExpress";
inline constexpr char kRule[] = "Rule";
inline constexpr char kVersionValue[] = "v3.4";
inline constexpr char kAllRulesFile[] = "VTRPro_All_RuleFile.vtr";
inline constexpr char kUserDefinedModule[] = "Interactive User Defined Rule";
} // namespace RuleFileNames
