#pragma once

#include <QStringList>

#include "RuleUnits.h"

class CliContext;

// Subcommands of vtrpro-rules. Each takes the arguments after its name and
// returns the process exit code.
int RunModules(const QStringList& args);
int RunRules(const QStringList& args);
int RunNew(const QStringList& args);
int RunShow(const QStringList& args);
int RunVerify(const QStringList& args);
// compare: two rule files, rule by rule and setting by setting.
int RunCompare(const QStringList& args);
int RunSelect(const QStringList& args);
int RunDeselect(const QStringList& args);
// The settings report: rules whose settings differ from the defaults.
int RunDiff(const QStringList& args);
// Reset to Default: rules that differ get their defaults back.
int RunReset(const QStringList& args);
int RunConfigure(const QStringList& args);
// units: converts a rule file's rules to other units and saves it.
int RunUnits(const QStringList& args);
// userrule add|list|remove: custom and product rules in the product database.
int RunUserRule(const QStringList& args);
// messages: exports the custom messages of every offered rule to a sheet, or imports them.
int RunMessages(const QStringList& args);
// dirs: prints or sets the script-rule, database and manual-checklist folders.
int RunDirs(const QStringList& args);
// lint: checks a rule file and names each fault with its line.
int RunLint(const QStringList& args);
// db connect|status|log|copy: the product database in use, the shop's server and its change log.
int RunDb(const QStringList& args);

// Writes every rule the loaded modules offer, with its default settings in
// units, as a rule file at path (the defaults diff, reset and lint compare
// with); false when it cannot be written.
bool WriteOfferedDefaults(CliContext& cli, const RuleUnits& units, const QString& path);
// The unit codes a rule file states, as the reader takes them.
RuleUnits RuleFileUnits(const QString& path);
