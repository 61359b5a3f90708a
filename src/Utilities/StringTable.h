#pragma once

#include <QString>

// The system's strings by id: one table for every message, caption, label and
// header. The quoted system texts are used exactly as they stand (typos included,
// because other tools match them); the others are ours.
QString VtrString(int id);

// Ids used in more than one place.
namespace StrId {
inline constexpr int AppCaption = 128; // "VTRRuleBuilder"
inline constexpr int FileCouldNotOpen = 61629; // "File %s could not be opened."
inline constexpr int DocCaption = 61770; // caption of the document's messages
inline constexpr int StatusSelected = 61489; // "Rules selected: %d, listed: %d"
inline constexpr int RulesOfUnloadedModules = 62110; // count, file name, module names
inline constexpr int ProgressReading = 62140; // "Reading rules"
inline constexpr int ProgressSaving = 62141; // "Saving rules"
inline constexpr int ProgressListing = 62142; // "Listing rules"
inline constexpr int ProgressExporting = 62143; // "Exporting custom messages"
inline constexpr int ProgressImporting = 62144; // "Importing custom messages"
} // namespace StrId
