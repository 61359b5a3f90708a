#pragma once

#include "PtrArray.h"

#include <QList>
#include <QString>
#include <QStringList>

// The application's module lists and the routines that read them from
// "ConfigModule.ini" and load the libraries. Paths keep their letter case
// (file names are case-sensitive here) and are compared exactly.
struct ModuleSet
{
    QStringList configuredRuleModules;   // "RULE_CONFIGURATION_MODULES", file order
    QStringList installedRuleModules;    // the 21 known rule-module libraries in the program folder
    QStringList configuredDbModules;     // "RULE_DATABASE_MODULES"
    QStringList installedDbModules;      // the same 21 paths, rebuilt by the database read
    PtrArray loadedRuleModules;          // one handle per configured rule module that loaded
    PtrArray loadedInstalledModules;     // one handle per installed module that loaded
    PtrArray loadedDbModules;            // one handle per configured database module that loaded
    // Libraries on their way out: still loaded while the rules they made are released.
    PtrArray releasingModules;
    void* configuratorLibrary = nullptr; // "PLQRuleConfiguratoru.so", or null
};

namespace ModuleSections {
inline constexpr char kRules[] = "RULE_CONFIGURATION_MODULES";
inline constexpr char kDatabases[] = "RULE_DATABASE_MODULES";
inline constexpr char kScripts[] = "RULE_SCRIPT_LOCATION";
} // namespace ModuleSections

// The known module libraries, spelled once. Lookups of a known name ignore case.
namespace KnownModules {
// The 21 rule-module base names (no suffix) in installed-list order.
const QStringList& InstalledOrder();
// The 16 rule-module base names written as defaults, in order.
const QStringList& DefaultRuleModules();
// The 16 rule-module base names the registration offers as defaults, in its order.
const QStringList& RegistrationDefaults();
// The database module's base name.
QString DefaultDatabaseModule();
// The configurator's base name.
QString Configurator();
// The spelling of a known base name, looked up without regard to case; empty when unknown.
QString Canonical(const QString& baseName);
// Program folder + "/" + base name + suffix.
QString PathInProgramFolder(const QString& baseName);
} // namespace KnownModules

// Path of "ConfigModule.ini": the framework's data-settings folder + file name.
QString GetConfigModuleIniPath();
// Reads one module section into configured, rebuilds installed and writes the
// defaults when the section is empty.
void LoadModuleList(const QString& section, QStringList& configured, QStringList& installed);
// Makes loaded match configured: handles that are no longer configured move
// to dropped (for the caller to free), new libraries are loaded and appended.
void SyncLoadedModules(PtrArray& loaded, PtrArray& dropped, const QStringList& configured);
// Frees every handle of the array from last to first and empties it.
void FreeHandlesLastToFirst(PtrArray& handles);
// Hands the database-module list to every loaded rule module (SetDBModuleList).
void SendDatabaseModuleList(ModuleSet& modules);
// Start-up: reads both sections, loads rule, installed and database modules,
// frees the dropped handles and sends the database list. Also loads the
// configurator from the program folder.
void LoadAllModules(ModuleSet& modules);
// After rule-module registration: syncs the rule modules and sends the
// database list; the dropped handles are returned for the caller to free
// after it has re-read its documents.
void ReloadRuleModules(ModuleSet& modules, PtrArray& dropped);
// After database-module registration: syncs, sends the list, frees the dropped handles.
void ReloadDatabaseModules(ModuleSet& modules);
// Frees every library of the set (at exit), from last to first.
void UnloadAllModules(ModuleSet& modules);
// The display name a module reports (GetModuleName pre-set to "Module Name"), or
// its file name when it has no such export.
QString ModuleDisplayName(void* handle);

// The loaded library (rule, installed, database or releasing module, or the
// configurator) that was loaded from path, or null.
void* LoadedLibraryAt(const ModuleSet& modules, const QString& path);

class CVtrRule;
// Appends the rules a module reports through GetAllRules (null entries
// skipped); false when the library has no such export.
bool FetchAllRules(void* handle, QList<CVtrRule*>& rules);
// Marks a rule with the library it came from and, unless it names its own
// module or is a user-defined rule (category 22, listed without a module),
// with the module's name.
void StampModuleRule(CVtrRule* rule, const QString& libraryPath, const QString& moduleName);
