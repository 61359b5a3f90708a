#pragma once

// The exports a rule module, a database module and the product-rule
// configurator offer, found by name with dlsym. Strings are QString, owned by
// the caller; rules are created and owned by the module.

#include "PtrArray.h"
#include "VTRDataHelper.h"

#include <QString>
#include <QStringList>

class CVtrRule;
class VtrXMLNode;
class VtrXMLDocument;

extern "C" {
// The module assigns its display name (pre-set by the caller).
typedef void (*PFN_GetModuleName)(QString* name);
// The module assigns a description.
typedef void (*PFN_GetModuleSummary)(QString* summary);
// Appends one new CVtrRule* per rule of the module, on every call.
typedef void (*PFN_GetAllRules)(PtrArray* rules);
// Sets *rule only for an element of the module's own; leaves it null otherwise.
typedef void (*PFN_GetRule)(VtrXMLNode* ruleNode, CVtrRule** rule);
// Destroys a rule of the module and nulls the pointer.
typedef void (*PFN_DeleteRule)(CVtrRule** rule);
// The document that is being read or written; the module keeps it.
typedef void (*PFN_SetXMLDoc)(VtrXMLDocument* document);
// The configured database-module paths; the module keeps a copy.
typedef void (*PFN_SetDBModuleList)(const QStringList* databaseModules);
// Hardware database editor of the assembly module; parent is a QWidget* or null.
typedef void (*PFN_LaunchFastenerDatabaseDlg)(void* parent);
// Configurator: appends the product rules kept under a key.
typedef void (*PFN_GetModuleRules)(const QString* key, PtrArray* rules);
}

// Names of the exports, in one place.
namespace ModuleExports {
inline constexpr char kGetModuleName[] = "GetModuleName";
inline constexpr char kGetModuleSummary[] = "GetModuleSummary";
inline constexpr char kGetAllRules[] = "GetAllRules";
inline constexpr char kGetRule[] = "GetRule";
inline constexpr char kDeleteRule[] = "DeleteRule";
inline constexpr char kSetXMLDoc[] = "SetXMLDoc";
inline constexpr char kSetDBModuleList[] = "SetDBModuleList";
inline constexpr char kGetDbInterface[] = "GetDbInterface";
inline constexpr char kDeleteDbInterface[] = "DeleteDbInterface";
inline constexpr char kLaunchFastenerDatabaseDlg[] = "LaunchFastenerDatabaseDlg";
inline constexpr char kGetModuleRules[] = "GetModuleRules";
} // namespace ModuleExports

extern "C" {
// Usage-data collector: one usage event (value, kind, text).
typedef void (*PFN_PLQTrackEvent)(int32_t value, int32_t kind, const QString* text);
}
