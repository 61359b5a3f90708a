#include "app/CommandTable.h"

#include "app/AppContext.h"

#include <QFileInfo>
#include <QHash>

namespace {
using namespace CmdId;
constexpr auto B = UsageTiming::Before;
constexpr auto A = UsageTiming::After;
constexpr auto N = UsageTiming::None;
constexpr auto App = CmdRoute::Application;
constexpr auto Doc = CmdRoute::Document;
constexpr auto View = CmdRoute::View;
constexpr auto Frame = CmdRoute::Frame;

// clang-format off
const std::vector<CommandInfo> kCommands = {
    // id, name, label, category, panel, icon, usage value, timing, enabled by, route, quick access, large, alias of
    {ID_FILE_NEW, "ID_FILE_NEW", "&New", "File", "", "new", 0, N, CmdEnable::Always, App, true, false, 0},
    {ID_FILE_OPEN, "ID_FILE_OPEN", "&Open...", "File", "", "open", 0, N, CmdEnable::Always, App, true, false, 0},
    {ID_FILE_SAVE, "ID_FILE_SAVE", "&Save", "File", "", "save", 0, N, CmdEnable::ActiveDocument, Doc, true, false, 0},
    {ID_FILE_SAVE_AS, "ID_FILE_SAVE_AS", "Save &As...", "File", "", "saveas", 0, N, CmdEnable::ActiveDocument, Doc, true, false, 0},
    {ID_FILE_CLOSE, "ID_FILE_CLOSE", "&Close", "File", "", "close", 0, N, CmdEnable::ActiveDocument, Doc, true, false, 0},
    {ID_APP_EXIT, "ID_APP_EXIT", "E&xit", "File", "", "exit", 0, N, CmdEnable::Always, Frame, false, false, 0},
    {ID_RULE_INPUT_UNITS, "ID_RULE_INPUT_UNITS", "Rule input units", "Tools", "Rule", "units", 52, B, CmdEnable::UnitsEnabled, App, false, true, 0},
    {ID_CONFIGURE_RULE, "ID_CONFIGURE_RULE", "Configure rule", "Tools", "Rule", "configure", 0, N, CmdEnable::ConfigureRule, View, false, true, 0},
    {ID_APPLICATION_DIRECTORIES, "ID_APPLICATION_DIRECTORIES", "Application Directories", "Tools", "Directories", "directories", 0, N, CmdEnable::Always, App, false, true, 0},
    {ID_SERACH, "ID_SERACH", "Search", "Tools", "Find", "search", 36, B, CmdEnable::Always, App, false, true, 0},
    {ID_WINDOW_MANAGER, "ID_WINDOW_MANAGER", "Windows", "Tools", "Window", "windows", 0, N, CmdEnable::Always, Frame, false, true, 0},
    {ID_WINDOW_NEW, "ID_WINDOW_NEW", "&New Window", "Tools", "Window", "newwindow", 0, N, CmdEnable::ActiveDocument, Frame, false, false, 0},
    {ID_REGISTER_RULE, "ID_REGISTER_RULE", "Rules", "Customize ", "Register", "registerrules", 38, B, CmdEnable::Always, App, false, true, 0},
    {ID_REGISTER_DB, "ID_REGISTER_DB", "Database", "Customize ", "Register", "registerdb", 39, B, CmdEnable::Always, App, false, true, 0},
    {ID_EXPORT_CUSTOM_MESSAGE, "ID_EXPORT_CUSTOM_MESSAGE", "Export", "Customize ", "Custom message", "export", 0, N, CmdEnable::ActiveDocument, View, false, true, 0},
    {ID_IMPORT_CUSTOM_MESSAGE, "ID_IMPORT_CUSTOM_MESSAGE", "Import", "Customize ", "Custom message", "import", 0, N, CmdEnable::ActiveDocument, View, false, true, 0},
    {ID_MAP_MATERIAL, "ID_MAP_MATERIAL", "Map Material", "Customize ", "Material", "mapmaterial", 33, A, CmdEnable::MaterialData, App, false, true, 0},
    {ID_MATERIAL_PROPERTY, "ID_MATERIAL_PROPERTY", "Material property", "Customize ", "Material", "materialproperty", 34, B, CmdEnable::MaterialData, App, false, true, 0},
    {ID_HARDWARE_DB, "ID_HARDWARE_DB", "Hardware Database", "Customize ", "Database", "hardwaredb", 40, B, CmdEnable::Always, App, false, true, 0},
    {ID_THREAD_DATA, "ID_THREAD_DATA", "Thread Data", "Customize ", "Database", "threaddata", 0, N, CmdEnable::Always, App, false, true, 0},
    {ID_CREATE_CUSTOM_RULE, "ID_CREATE_CUSTOM_RULE", "Create", "Tarvo", "Custom Rule", "createcustom", 41, B, CmdEnable::Always, App, false, true, 0},
    {ID_EDIT_CUSTOM_RULE, "ID_EDIT_CUSTOM_RULE", "Edit", "Tarvo", "Custom Rule", "editcustom", 42, B, CmdEnable::EditCustomRule, App, false, true, 0},
    {ID_CREATE_PRODUCT_RULE, "ID_CREATE_PRODUCT_RULE", "Create", "Tarvo", "Product Rule", "createproduct", 0, N, CmdEnable::Always, App, false, true, 0},
    {ID_EDIT_PRODUCT_RULE, "ID_EDIT_PRODUCT_RULE", "Edit", "Tarvo", "Product Rule", "editproduct", 0, N, CmdEnable::EditProductRule, App, false, true, 0},
    {ID_EDIT_HELP, "ID_EDIT_HELP", "Help", "Help", "Help", "help", 35, B, CmdEnable::Always, App, false, true, 0},
    {ID_EDIT_ABOUT, "ID_EDIT_ABOUT", "About", "Help", "Help", "about", 32, B, CmdEnable::Always, App, false, true, 0},
    // Commands without a ribbon entry of their own.
    {ID_APP_ABOUT, "ID_APP_ABOUT", "About", "", "", "about", 32, B, CmdEnable::Always, App, false, false, ID_EDIT_ABOUT},
    {ID_EDIT_FIND, "ID_EDIT_FIND", "Search", "", "", "search", 36, B, CmdEnable::Always, App, false, false, ID_SERACH},
};
// clang-format on

const std::vector<CommandTable::Look> kLooks = {
    { 205, "Windows 2000" },
    { 206, "Office XP" },
    { 207, "Windows XP" },
    { 208, "Office 2003" },
    { 209, "Visual Studio 2005" },
    { 210, "Visual Studio 2008" },
    { 215, "Office 2007 (Blue)" },
    { 216, "Office 2007 (Black)" },
    { 217, "Office 2007 (Silver)" },
    { 218, "Office 2007 (Aqua)" },
    { 219, "Windows 7" },
};

const QHash<int, const CommandInfo*>& Index()
{
    static const QHash<int, const CommandInfo*> index = [] {
        QHash<int, const CommandInfo*> h;
        for (const CommandInfo& c : kCommands)
            h.insert(c.id, &c);
        return h;
    }();
    return index;
}
} // namespace

namespace CommandTable {

const std::vector<CommandInfo>& All()
{
    return kCommands;
}

const CommandInfo* Find(int id)
{
    return Index().value(id, nullptr);
}

const CommandInfo* Resolve(int id)
{
    const CommandInfo* info = Find(id);
    if (info && info->aliasOf)
        return Find(info->aliasOf);
    return info;
}

const std::vector<QString>& Categories()
{
    static const std::vector<QString> categories
        = { QStringLiteral("Tools"), QStringLiteral("Customize "), QStringLiteral("Tarvo"), QStringLiteral("Help") };
    return categories;
}

const std::vector<Look>& Looks()
{
    return kLooks;
}

bool IsLook(int id)
{
    for (const Look& look : kLooks)
        if (look.id == id)
            return true;
    return false;
}

QString PlainLabel(const CommandInfo& info)
{
    QString label = QString::fromUtf8(info.label);
    label.remove(QLatin1Char('&'));
    return label;
}

bool HasOwnHoverText(int id)
{
    return (id >= ID_RULE_INPUT_UNITS && id <= ID_MATERIAL_PROPERTY) || id == ID_HARDWARE_DB || id == ID_THREAD_DATA
        || (id >= ID_CREATE_CUSTOM_RULE && id <= ID_EDIT_ABOUT) || id == ID_WINDOW_MANAGER;
}

bool HandlerSendsUsageEvent(int id)
{
    return id == ID_HARDWARE_DB || id == ID_MAP_MATERIAL || id == ID_MATERIAL_PROPERTY || id == ID_THREAD_DATA;
}

} // namespace CommandTable

bool IsCommandEnabled(const CommandInfo& info, const AppContext& context, bool activeDocument)
{
    switch (info.enabledBy) {
    case CmdEnable::Always:
        return true;
    case CmdEnable::ActiveDocument:
        return activeDocument;
    case CmdEnable::UnitsEnabled:
        return context.UnitsEnabled();
    case CmdEnable::ConfigureRule:
        return context.ConfigureRuleEnabled();
    case CmdEnable::EditCustomRule:
        return context.EditCustomRuleEnabled();
    case CmdEnable::EditProductRule:
        return context.EditProductRuleEnabled();
    case CmdEnable::MaterialData:
        return context.MaterialDataFlag() != 0;
    }
    return false;
}

QString ProfileApplicationName(int32_t cadType)
{
    return cadType == 6 ? QStringLiteral("PLQStandalone") : QStringLiteral("Local AppWizard-Generated Applications");
}

QString ProfileOrganization()
{
    return QStringLiteral("VTRPro");
}

bool IsVtrRuleArgument(const QString& argument)
{
    const int dot = argument.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    // A dot inside a folder name is not an extension.
    if (argument.indexOf(QLatin1Char('/'), dot) >= 0)
        return false;
    return argument.mid(dot + 1).compare(QLatin1String("vtrrule"), Qt::CaseInsensitive) == 0;
}
