#pragma once

#include <cstdint>
#include <vector>

#include <QString>

class AppContext;

// The ribbon's command ids, named as the rest of the program names them.
namespace CmdId {
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_CLOSE = 57602;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_RULE_INPUT_UNITS = 32771;
inline constexpr int ID_CONFIGURE_RULE = 32772;
inline constexpr int ID_APPLICATION_DIRECTORIES = 32773;
inline constexpr int ID_SERACH = 32774;
inline constexpr int ID_EDIT_FIND = 246;
inline constexpr int ID_REGISTER_RULE = 32775;
inline constexpr int ID_REGISTER_DB = 32776;
inline constexpr int ID_EXPORT_CUSTOM_MESSAGE = 32777;
inline constexpr int ID_IMPORT_CUSTOM_MESSAGE = 32778;
inline constexpr int ID_MAP_MATERIAL = 32779;
inline constexpr int ID_MATERIAL_PROPERTY = 32780;
inline constexpr int ID_CREATE_CUSTOM_RULE = 32781;
inline constexpr int ID_EDIT_CUSTOM_RULE = 32782;
inline constexpr int ID_CREATE_PRODUCT_RULE = 32783;
inline constexpr int ID_EDIT_PRODUCT_RULE = 32784;
inline constexpr int ID_EDIT_HELP = 32785;
inline constexpr int ID_EDIT_ABOUT = 32786;
inline constexpr int ID_HARDWARE_DB = 61602;
inline constexpr int ID_THREAD_DATA = 61762;
inline constexpr int ID_WINDOW_MANAGER = 131;
inline constexpr int ID_WINDOW_NEW = 57648;
inline constexpr int ID_VIEW_APPLOOK_WIN_2000 = 205;
inline constexpr int ID_VIEW_APPLOOK_WINDOWS_7 = 219;
} // namespace CmdId

// Who does a command's work: the active view first, then the document, the
// frames, the application.
enum class CmdRoute { View, Document, Frame, Application };

// The flag that enables a command.
enum class CmdEnable {
    Always,
    ActiveDocument, // a document window is open
    UnitsEnabled,
    ConfigureRule,
    EditCustomRule,
    EditProductRule,
    MaterialData,
};

// When the usage event is sent relative to the work.
enum class UsageTiming { None, Before, After };

// One command of the program: the ribbon, the routing and the enabling all
// read this row.
struct CommandInfo
{
    int id;
    const char* name; // ID_ name
    const char* label; // ribbon label (with "&" mnemonics)
    const char* category; // ribbon tab ("File" for the application menu, "" when not in the ribbon)
    const char* panel; // panel inside the tab
    const char* icon; // icon name in the resource file
    int32_t usageValue; // usage event value (when timing is not None)
    UsageTiming timing;
    CmdEnable enabledBy;
    CmdRoute route;
    bool quickAccess; // also on the quick access toolbar
    bool large; // a large button in its panel
    int aliasOf; // 0, or the id whose row does the work (57664 -> About, 246 -> Search)
};

namespace CommandTable {
// Every command, in ribbon order; looks and aliases last.
const std::vector<CommandInfo>& All();
// The row of an id (aliases give their own row), or null. Hashed.
const CommandInfo* Find(int id);
// The row that does the work of an id: an alias resolves to its target.
const CommandInfo* Resolve(int id);
// The ribbon category labels in tab order ("Customize " keeps its blank).
const std::vector<QString>& Categories();
// Ids of the application looks, 205 to 219, and their names.
struct Look
{
    int id;
    const char* name;
};
const std::vector<Look>& Looks();
// Whether an id is one of the looks.
bool IsLook(int id);
// The command's label without "&" mnemonics.
QString PlainLabel(const CommandInfo& info);
// Whether the command's handler sends its usage event itself (inside its
// exception guard) rather than the router: the external editor commands.
bool HandlerSendsUsageEvent(int id);
// The hover text ids: 32771-32780, 61602, 61762, 32781-32786 and 131 show their label.
bool HasOwnHoverText(int id);
} // namespace CommandTable

// Whether a command is enabled now, from the application flags and whether a
// document window is active.
bool IsCommandEnabled(const CommandInfo& info, const AppContext& context, bool activeDocument);

// Profile application name by host code: standalone (6) has its own key.
QString ProfileApplicationName(int32_t cadType);
// Organization of the profile settings.
QString ProfileOrganization();
// True when a command-line argument names a "vtrrule" file (extension after the
// last dot, any case): the program then ends without a window.
bool IsVtrRuleArgument(const QString& argument);
