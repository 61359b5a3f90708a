#include "modules/ModuleRegistration.h"

#include "TestSupport.h"
#include "VtrLibrary.h"
#include "modules/IniFile.h"
#include "modules/ModuleLists.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {
QString Lib(const char* base)
{
    return QLatin1String(base) + QLatin1String(VtrLibrary::kSuffix);
}

// Whether a library is loaded in the process at the moment.
bool IsLoaded(const QString& path)
{
    void* h = ::dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        ::dlclose(h);
    return h != nullptr;
}

QStringList RowNames(const ModuleRegistration& reg)
{
    QStringList names;
    for (const ModuleRegistration::Row& row : reg.LoadedRows())
        names << row.name;
    return names;
}

class ModuleRegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(env.Path(QStringLiteral("libs")))); }
    void TearDown() override { FreeHandlesLastToFirst(loaded); }

    // A copy of a built library under another name: a library of its own.
    QString Copy(const QString& name, const char* built = "VtrTestModuleu")
    {
        const QString source = BinDir() + QLatin1Char('/') + Lib(built);
        const QString target = env.Path(QStringLiteral("libs/") + name + QLatin1String(VtrLibrary::kSuffix));
        if (!QFile::exists(target)) {
            EXPECT_TRUE(QFile::copy(source, target)) << qPrintable(source);
        }
        return target;
    }
    // A library the application has configured and loaded.
    void Configure(const QString& path)
    {
        configured << path;
        if (void* h = VtrLibrary::Load(path))
            loaded.Add(h);
    }
    ModuleRegistration Rules()
    {
        return ModuleRegistration(ModuleRegConfig::For(ModuleKind::Rules), configured, loaded);
    }

    ScopedTestEnv env;
    ScriptedMessages messages;
    QStringList configured;
    PtrArray loaded;
};

TEST_F(ModuleRegistrationTest, OpensWithTheApplicationsModulesAndTheDefaultsNotAmongThem)
{
    Configure(Copy(QStringLiteral("Full")));
    Configure(KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu")));
    ModuleRegistration reg(ModuleRegConfig::For(ModuleKind::Rules), configured, loaded);
    reg.Open();
    EXPECT_EQ(RowNames(reg), QStringList({ QStringLiteral("Test Rules"), QStringLiteral("Sheet Metal Rules") }));
    EXPECT_EQ(reg.UnloadedRows().size(), 15);
    EXPECT_FALSE(reg.UnloadedRows().contains(QStringLiteral("Sheet Metal Rules")));
    EXPECT_EQ(reg.UnloadedRows().first(), QStringLiteral("Prismatic Mill Rules"));
    EXPECT_FALSE(reg.OkEnabled());
    EXPECT_FALSE(reg.ResetEnabled());
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("Rule Register Dialog initialized")));
}

TEST_F(ModuleRegistrationTest, ALibraryAlreadyInTheListIsRefusedAndLogged)
{
    const QString full = Copy(QStringLiteral("Full"));
    Configure(full);
    ModuleRegistration reg(ModuleRegConfig::For(ModuleKind::Rules), configured, loaded);
    reg.Open();
    EXPECT_FALSE(reg.AddByPath(full, true));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Rule Module %1 is already configured.").arg(full));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("VTRRuleBuilder"));
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(ReadLog().contains(
        QStringLiteral("Tried to configure the module %1, which was already configured.").arg(full)));
    EXPECT_EQ(reg.Working().size(), 1u);
    EXPECT_FALSE(reg.Changed());
}

TEST_F(ModuleRegistrationTest, RefusedLibrariesLeaveTheListsAsTheyWere)
{
    const QString text = env.Path(QStringLiteral("libs/notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    const QString folder = env.Path(QStringLiteral("libs/folder.so"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString framework = BinDir() + QLatin1Char('/') + Lib("VtrProFrameWorku");
    const QString noDbList = Copy(QStringLiteral("NoDbList"), "VtrTestModuleNoDbListu");
    const QString fullModule = Copy(QStringLiteral("Full"));
    const QString fileMessage = QStringLiteral("File \"%1\" is not a valid Rule Module.");
    const QString nameMessage = QStringLiteral("\"%1\" is not a valid module name.");
    const struct
    {
        ModuleKind kind;
        QString path;
        QString message;
        bool logged;
    } cases[] = {
        { ModuleKind::Rules, text, fileMessage, false }, { ModuleKind::Rules, folder, fileMessage, false },
        { ModuleKind::Rules, env.Path(QStringLiteral("libs/Missing.so")), fileMessage, false },
        { ModuleKind::Rules, noDbList, nameMessage, true }, // no SetDBModuleList
        { ModuleKind::Rules, framework, nameMessage, true },
        { ModuleKind::Databases, fullModule, nameMessage, true }, // a rule module
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.path));
        QStringList none;
        PtrArray noHandles;
        ModuleRegistration reg(ModuleRegConfig::For(c.kind), none, noHandles);
        reg.Open();
        const QStringList unloaded = reg.UnloadedRows();
        messages.shown.clear();
        EXPECT_FALSE(reg.AddByPath(c.path, true));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, c.message.arg(c.path));
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
        EXPECT_EQ(ReadLog().contains(QStringLiteral("Tried to configure invalid module %1").arg(c.path)), c.logged);
        EXPECT_TRUE(reg.Working().empty());
        EXPECT_EQ(reg.UnloadedRows(), unloaded);
        EXPECT_FALSE(reg.OkEnabled());
    }
    // A refused library is not kept loaded.
    EXPECT_FALSE(IsLoaded(noDbList));
}

TEST_F(ModuleRegistrationTest, AnAcceptedLibraryIsAppendedAndEnablesOkAndReset)
{
    Configure(KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu")));
    const QString full = Copy(QStringLiteral("Full"));
    ModuleRegistration reg = Rules();
    reg.Open();
    ASSERT_TRUE(reg.AddByPath(full, true));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(RowNames(reg), QStringList({ QStringLiteral("Sheet Metal Rules"), QStringLiteral("Test Rules") }));
    EXPECT_TRUE(reg.OkEnabled());
    EXPECT_TRUE(reg.ResetEnabled());
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("Configured new module :: %1").arg(full)));
}

TEST_F(ModuleRegistrationTest, LoadRefusesALibraryWithADefaultModulesName)
{
    const QString sheetMetal = KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu"));
    const QString copy = env.Path(QStringLiteral("libs/OtherSM.so"));
    ASSERT_TRUE(QFile::copy(sheetMetal, copy));

    // Not in the list: the user is told to take it from the unloaded list.
    {
        ModuleRegistration reg = Rules();
        reg.Open();
        EXPECT_FALSE(reg.AddByPath(copy, true));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
            QStringLiteral("Sheet Metal Rules is a default module. Use the Unloaded Modules list to load it."));
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Default Module"));
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Information);
        EXPECT_TRUE(reg.Working().empty());
    }
    // In the list: already configured.
    Configure(sheetMetal);
    messages.shown.clear();
    ModuleRegistration reg = Rules();
    reg.Open();
    EXPECT_FALSE(reg.AddByPath(copy, true));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Rule Module %1 is already configured.").arg(copy));
    EXPECT_EQ(reg.Working().size(), 1u);
    EXPECT_FALSE(IsLoaded(copy));
}

TEST_F(ModuleRegistrationTest, UnloadingMovesADefaultModuleToTheUnloadedListAndDropsAnother)
{
    Configure(KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu")));
    Configure(Copy(QStringLiteral("Full")));
    ModuleRegistration reg = Rules();
    reg.Open();
    ASSERT_EQ(RowNames(reg), QStringList({ QStringLiteral("Sheet Metal Rules"), QStringLiteral("Test Rules") }));
    const qsizetype unloaded = reg.UnloadedRows().size();

    reg.UnloadRow(0);
    EXPECT_EQ(RowNames(reg), QStringList({ QStringLiteral("Test Rules") }));
    EXPECT_EQ(reg.UnloadedRows().size(), unloaded + 1);
    EXPECT_EQ(reg.UnloadedRows().last(), QStringLiteral("Sheet Metal Rules"));
    EXPECT_TRUE(reg.OkEnabled());

    reg.UnloadRow(0);
    EXPECT_TRUE(RowNames(reg).isEmpty());
    EXPECT_FALSE(reg.UnloadedRows().contains(QStringLiteral("Test Rules")));
    // Nothing left to load: OK is off, Reset stays on.
    EXPECT_FALSE(reg.OkEnabled());
    EXPECT_TRUE(reg.ResetEnabled());
}

TEST_F(ModuleRegistrationTest, UnloadAllDisablesOk)
{
    Configure(Copy(QStringLiteral("Full")));
    Configure(Copy(QStringLiteral("Second")));
    ModuleRegistration reg = Rules();
    reg.Open();
    reg.UnloadAll();
    EXPECT_TRUE(reg.Working().empty());
    EXPECT_TRUE(reg.Changed());
    EXPECT_FALSE(reg.OkEnabled());
}

TEST_F(ModuleRegistrationTest, LoadingDefaultsFromTheUnloadedList)
{
    Configure(Copy(QStringLiteral("Full")));
    Configure(KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu")));
    ModuleRegistration reg = Rules();
    reg.Open();
    // "<" on the first unloaded row adds that default module.
    ASSERT_EQ(reg.UnloadedRows().first(), QStringLiteral("Prismatic Mill Rules"));
    ASSERT_TRUE(reg.LoadUnloadedRow(0));
    EXPECT_EQ(RowNames(reg).last(), QStringLiteral("Prismatic Mill Rules"));
    EXPECT_FALSE(reg.UnloadedRows().contains(QStringLiteral("Prismatic Mill Rules")));
    EXPECT_EQ(
        VtrLibrary::FileName(reg.Working().back()), KnownModules::PathInProgramFolder(QStringLiteral("VtrMillRulesu")));

    // "<<": other modules first, then every default in its order.
    reg.LoadAllDefaults();
    QStringList expected { QStringLiteral("Test Rules") };
    for (const QString& path : ModuleRegConfig::For(ModuleKind::Rules).defaultPaths) {
        void* h = VtrLibrary::Load(path);
        QString name;
        ASSERT_TRUE(h && ModuleRegistration::ModuleName(h, name)) << qPrintable(path);
        expected << name;
        VtrLibrary::Free(h);
    }
    EXPECT_EQ(RowNames(reg), expected);
    EXPECT_TRUE(reg.UnloadedRows().isEmpty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModuleRegistrationTest, SaveWritesTheLoadedListInOrderAndDropsPathsThatDidNotLoad)
{
    const QString full = Copy(QStringLiteral("Full"));
    const QString sheetMetal = KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu"));
    const QString added = Copy(QStringLiteral("Added"));
    Configure(full);
    Configure(env.Path(QStringLiteral("libs/Missing.so")));
    Configure(sheetMetal);
    ASSERT_EQ(loaded.GetSize(), 2);
    const QString ini = GetConfigModuleIniPath();
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(" [RULE_SCRIPT_LOCATION]\n directory=/scripts\n [RULE_CONFIGURATION_MODULES]\n module1=old\n");
    file.close();

    ModuleRegistration reg = Rules();
    reg.Open();
    ASSERT_TRUE(reg.AddByPath(added, true));
    ASSERT_TRUE(reg.Save());
    EXPECT_EQ(configured, QStringList({ full, sheetMetal, added }));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(file.readAll()),
        QStringLiteral(" [RULE_SCRIPT_LOCATION]\n directory=/scripts\n [RULE_CONFIGURATION_MODULES]\n module1=%1\n "
                       "module2=%2\n module3=%3\n")
            .arg(full, sheetMetal, added));
}

TEST_F(ModuleRegistrationTest, ResetAndDestructionFreeOnlyWhatTheRegistrationLoaded)
{
    const QString full = Copy(QStringLiteral("Full"));
    const QString added = Copy(QStringLiteral("Added"));
    Configure(full);
    {
        ModuleRegistration reg = Rules();
        reg.Open();
        ASSERT_TRUE(reg.AddByPath(added, true));
        reg.UnloadRow(0);
        ASSERT_TRUE(IsLoaded(added));
        reg.Reset();
        EXPECT_FALSE(IsLoaded(added));
        EXPECT_EQ(RowNames(reg), QStringList({ QStringLiteral("Test Rules") }));
        EXPECT_FALSE(reg.OkEnabled());
        EXPECT_FALSE(reg.ResetEnabled());
        ASSERT_TRUE(reg.AddByPath(added, true));
    }
    EXPECT_FALSE(IsLoaded(added));
    EXPECT_TRUE(IsLoaded(full));
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("Rule Register Dialog Uninitialized")));
}

TEST_F(ModuleRegistrationTest, AnotherNameOfAListedLibraryIsAlreadyConfigured)
{
    const QString full = Copy(QStringLiteral("Full"));
    const QString link = env.Path(QStringLiteral("libs/Link.so"));
    ASSERT_TRUE(QFile::link(full, link));
    Configure(full);
    ModuleRegistration reg = Rules();
    reg.Open();
    EXPECT_FALSE(reg.AddByPath(link, true));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Rule Module %1 is already configured.").arg(link));
    EXPECT_EQ(reg.Working().size(), 1u);
}
} // namespace
