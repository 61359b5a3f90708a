#include "app/AppContext.h"
#include "app/CommandTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

struct RibbonRow
{
    const char* category;
    const char* panel;
    const char* label;
    const char* name;
    int id;
};

// The ribbon as it must look: category / panel, label, command name, id.
const RibbonRow kRibbon[] = {
    { "File", "", "&New", "ID_FILE_NEW", 57600 },
    { "File", "", "&Open...", "ID_FILE_OPEN", 57601 },
    { "File", "", "&Save", "ID_FILE_SAVE", 57603 },
    { "File", "", "Save &As...", "ID_FILE_SAVE_AS", 57604 },
    { "File", "", "&Close", "ID_FILE_CLOSE", 57602 },
    { "File", "", "E&xit", "ID_APP_EXIT", 57665 },
    { "Tools", "Rule", "Rule input units", "ID_RULE_INPUT_UNITS", 32771 },
    { "Tools", "Rule", "Configure rule", "ID_CONFIGURE_RULE", 32772 },
    { "Tools", "Directories", "Application Directories", "ID_APPLICATION_DIRECTORIES", 32773 },
    { "Tools", "Find", "Search", "ID_SERACH", 32774 },
    { "Tools", "Window", "Windows", "ID_WINDOW_MANAGER", 131 },
    { "Tools", "Window", "&New Window", "ID_WINDOW_NEW", 57648 },
    { "Customize ", "Register", "Rules", "ID_REGISTER_RULE", 32775 },
    { "Customize ", "Register", "Database", "ID_REGISTER_DB", 32776 },
    { "Customize ", "Custom message", "Export", "ID_EXPORT_CUSTOM_MESSAGE", 32777 },
    { "Customize ", "Custom message", "Import", "ID_IMPORT_CUSTOM_MESSAGE", 32778 },
    { "Customize ", "Material", "Map Material", "ID_MAP_MATERIAL", 32779 },
    { "Customize ", "Material", "Material property", "ID_MATERIAL_PROPERTY", 32780 },
    { "Customize ", "Database", "Hardware Database", "ID_HARDWARE_DB", 61602 },
    { "Customize ", "Database", "Thread Data", "ID_THREAD_DATA", 61762 },
    { "Tarvo", "Custom Rule", "Create", "ID_CREATE_CUSTOM_RULE", 32781 },
    { "Tarvo", "Custom Rule", "Edit", "ID_EDIT_CUSTOM_RULE", 32782 },
    { "Tarvo", "Product Rule", "Create", "ID_CREATE_PRODUCT_RULE", 32783 },
    { "Tarvo", "Product Rule", "Edit", "ID_EDIT_PRODUCT_RULE", 32784 },
    { "Help", "Help", "Help", "ID_EDIT_HELP", 32785 },
    { "Help", "Help", "About", "ID_EDIT_ABOUT", 32786 },
};

TEST(CommandTable, RibbonRowsMatchTheRibbonLayout)
{
    for (const RibbonRow& row : kRibbon) {
        SCOPED_TRACE(row.name);
        const CommandInfo* info = CommandTable::Find(row.id);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, row.name);
        EXPECT_STREQ(info->label, row.label);
        EXPECT_STREQ(info->category, row.category);
        if (std::string(row.category) != "File") {
            EXPECT_STREQ(info->panel, row.panel);
        }
        EXPECT_STRNE(info->icon, "");
    }
}

TEST(CommandTable, CategoriesKeepTheirExactLabels)
{
    const std::vector<QString> expected = { "Tools", "Customize ", "Tarvo", "Help" };
    EXPECT_EQ(CommandTable::Categories(), expected);
}

TEST(CommandTable, IdsAreUniqueAndAliasesResolve)
{
    std::set<int> ids;
    for (const CommandInfo& info : CommandTable::All())
        EXPECT_TRUE(ids.insert(info.id).second) << info.id;
    EXPECT_EQ(CommandTable::Resolve(57664)->id, 32786); // about
    EXPECT_EQ(CommandTable::Resolve(246)->id, 32774); // search
    EXPECT_EQ(CommandTable::Resolve(32771)->id, 32771);
    EXPECT_EQ(CommandTable::Find(12345), nullptr);
    EXPECT_EQ(CommandTable::Resolve(12345), nullptr);
}

TEST(CommandTable, QuickAccessHoldsTheFiveFileCommands)
{
    std::vector<int> quick;
    for (const CommandInfo& info : CommandTable::All())
        if (info.quickAccess)
            quick.push_back(info.id);
    EXPECT_EQ(quick, (std::vector<int> { 57600, 57601, 57603, 57604, 57602 }));
}

struct UsageRow
{
    int id;
    int value;
    UsageTiming timing;
};

TEST(CommandTable, UsageEventValuesAndTiming)
{
    const UsageRow rows[] = {
        { 32775, 38, UsageTiming::Before },
        { 32776, 39, UsageTiming::Before },
        { 61602, 40, UsageTiming::Before },
        { 32771, 52, UsageTiming::Before },
        { 32774, 36, UsageTiming::Before },
        { 32779, 33, UsageTiming::After },
        { 32780, 34, UsageTiming::Before },
        { 32781, 41, UsageTiming::Before },
        { 32782, 42, UsageTiming::Before },
        { 32785, 35, UsageTiming::Before },
        { 32786, 32, UsageTiming::Before },
        { 57664, 32, UsageTiming::Before },
        { 246, 36, UsageTiming::Before },
        { 57600, 0, UsageTiming::None },
        { 57601, 0, UsageTiming::None },
        { 32772, 0, UsageTiming::None },
        { 32773, 0, UsageTiming::None },
        { 32783, 0, UsageTiming::None },
        { 32784, 0, UsageTiming::None },
        { 61762, 0, UsageTiming::None },
    };
    for (const UsageRow& row : rows) {
        SCOPED_TRACE(row.id);
        const CommandInfo* info = CommandTable::Find(row.id);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->timing, row.timing);
        if (row.timing != UsageTiming::None) {
            EXPECT_EQ(info->usageValue, row.value);
        }
    }
}

struct FlagRow
{
    int id;
    std::function<void(AppContext&, bool)> set;
};

TEST(CommandEnabling, EachFlaggedCommandFollowsItsFlag)
{
    AppContext context;
    const FlagRow rows[] = {
        { 32771, [](AppContext& c, bool on) { c.SetUnitsEnabled(on); } },
        { 32772, [](AppContext& c, bool on) { c.SetConfigureRuleEnabled(on); } },
        { 32782, [](AppContext& c, bool on) { c.SetEditCustomRuleEnabled(on); } },
        { 32784, [](AppContext& c, bool on) { c.SetEditProductRuleEnabled(on); } },
        { 32779, [](AppContext& c, bool on) { c.SetMaterialDataFlag(on ? 1 : 0); } },
        { 32780, [](AppContext& c, bool on) { c.SetMaterialDataFlag(on ? 1 : 0); } },
    };
    for (const FlagRow& row : rows) {
        SCOPED_TRACE(row.id);
        const CommandInfo& info = *CommandTable::Find(row.id);
        row.set(context, false);
        EXPECT_FALSE(IsCommandEnabled(info, context, true));
        row.set(context, true);
        EXPECT_TRUE(IsCommandEnabled(info, context, true));
        row.set(context, false);
    }
}

TEST(CommandEnabling, UnflaggedApplicationCommandsAreAlwaysOn)
{
    AppContext context; // every flag off
    for (int id : { 57600, 57601, 32775, 32776, 61602, 32773, 32774, 61762, 32781, 32783, 32785, 32786, 57664, 246 }) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(IsCommandEnabled(*CommandTable::Resolve(id), context, false));
    }
}

TEST(CommandEnabling, DocumentCommandsNeedAnOpenDocument)
{
    AppContext context;
    for (int id : { 57603, 57604, 57602, 32777, 32778 }) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(IsCommandEnabled(*CommandTable::Find(id), context, false));
        EXPECT_TRUE(IsCommandEnabled(*CommandTable::Find(id), context, true));
    }
}

TEST(CommandTable, HoverTextIdsAreTheLabelledRibbonCommands)
{
    for (int id : { 32771, 32775, 32780, 61602, 61762, 32781, 32786, 131 })
        EXPECT_TRUE(CommandTable::HasOwnHoverText(id)) << id;
    for (int id : { 57600, 57601, 57648, 57665, 32770, 32787 })
        EXPECT_FALSE(CommandTable::HasOwnHoverText(id)) << id;
    EXPECT_EQ(CommandTable::PlainLabel(*CommandTable::Find(57604)), QStringLiteral("Save As..."));
}

TEST(CommandTable, LooksAreTheElevenIdsFrom205To219)
{
    std::vector<int> ids;
    for (const auto& look : CommandTable::Looks())
        ids.push_back(look.id);
    EXPECT_EQ(ids, (std::vector<int> { 205, 206, 207, 208, 209, 210, 215, 216, 217, 218, 219 }));
    EXPECT_FALSE(CommandTable::IsLook(211));
    EXPECT_FALSE(CommandTable::IsLook(220));
}

TEST(StartupRules, VtrRuleArgumentIsRecognisedInAnyCase)
{
    const std::pair<const char*, bool> cases[] = {
        { "a.vtrrule", true },
        { "/tmp/B.VTRRULE", true },
        { "x.VtrRule", true },
        { "a.vtr", false },
        { "a.vtrrule.vtr", false },
        { "dir.vtrrule/file", false },
        { "vtrrule", false },
        { "", false },
        { "a.vtrrules", false },
        { ".vtrrule", true },
    };
    for (const auto& [arg, expected] : cases)
        EXPECT_EQ(IsVtrRuleArgument(QString::fromUtf8(arg)), expected) << arg;
}

TEST(StartupRules, ProfileKeyDependsOnTheHost)
{
    EXPECT_EQ(ProfileApplicationName(6), QStringLiteral("PLQStandalone"));
    for (int host : { 1, 2, 3, 4, 5, 0, 99 })
        EXPECT_EQ(ProfileApplicationName(host), QStringLiteral("Local AppWizard-Generated Applications")) << host;
    EXPECT_EQ(ProfileOrganization(), QStringLiteral("VTRPro"));
}

} // namespace
