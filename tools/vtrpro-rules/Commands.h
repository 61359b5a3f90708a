#pragma once

#include "CommandLine.h"
#include "RuleUnits.h"

#include <QString>

class CliContext;

// The subcommands of vtrpro-rules, each declared with its arguments by the
// file that runs it.
// Every subcommand, in the order the help lists them.
void DeclareCommands(CLI::App& root, CommandLine::Declarations& out);

// modules: lists, registers or unregisters modules.
void DeclareModules(CLI::App& root, CommandLine::Declarations& out);
// rules: every rule of the loaded modules.
void DeclareRules(CLI::App& root, CommandLine::Declarations& out);
// new, show, verify: rule files as a whole.
void DeclareRuleFiles(CLI::App& root, CommandLine::Declarations& out);
// compare: two rule files, rule by rule and setting by setting.
void DeclareCompare(CLI::App& root, CommandLine::Declarations& out);
// lint: checks a rule file and names each fault with its line.
void DeclareLint(CLI::App& root, CommandLine::Declarations& out);
// select and deselect: tick or untick rules.
void DeclareSelect(CLI::App& root, CommandLine::Declarations& out);
// diff and reset: settings against the defaults.
void DeclareSettings(CLI::App& root, CommandLine::Declarations& out);
// configure: a rule's parameters and criticality.
void DeclareConfigure(CLI::App& root, CommandLine::Declarations& out);
// dirs: the script-rule, database and manual-checklist folders.
void DeclareDirs(CLI::App& root, CommandLine::Declarations& out);
// units: converts a rule file's rules to other units.
void DeclareUnits(CLI::App& root, CommandLine::Declarations& out);
// userrule add|list|remove: custom and product rules in the product database.
void DeclareUserRule(CLI::App& root, CommandLine::Declarations& out);
// messages export|import: the custom messages of every offered rule.
void DeclareMessages(CLI::App& root, CommandLine::Declarations& out);
// db connect|status|log|copy: the shop's product database.
void DeclareDb(CLI::App& root, CommandLine::Declarations& out);

// Writes every rule the loaded modules offer, with its default settings in
// units, as a rule file at path (the defaults diff, reset and lint compare
// with); false when it cannot be written.
bool WriteOfferedDefaults(CliContext& cli, const RuleUnits& units, const QString& path);
// The unit codes a rule file states, as the reader takes them.
RuleUnits RuleFileUnits(const QString& path);
