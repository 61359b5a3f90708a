#pragma once

#include <array>

// The help topics the program opens by id, beside the pages of the rules
// (named by each rule's help id). Every id here has a page of its own.
namespace HelpTopic {
inline constexpr int Commands = 1000; // the Help command
inline constexpr int RegisterRuleModules = 1020; // rule-module registration dialog
inline constexpr int RegisterDatabaseModules = 1031; // database-module registration dialog
inline constexpr int ResetToDefault = 8010; // the reset-to-default question
inline constexpr int CustomMessages = 15001; // custom message export and import
inline constexpr std::array<int, 5> All
    = { Commands, RegisterRuleModules, RegisterDatabaseModules, ResetToDefault, CustomMessages };
} // namespace HelpTopic
