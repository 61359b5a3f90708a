#include "modules/ModuleLists.h"

#include "TestSupport.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "ConcreteVTRRule.h"
#include "VtrRule.h"
#include "VtrXMLDocument.h"
#include "modules/IniFile.h"
#include "modules/ModuleContract.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {
using RecordedFn = void (*)(QStringList*, int32_t*, VtrXMLDocument**, int32_t*);

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    f.write(bytes);
}

QString Ini()
{
    return GetConfigModuleIniPath();
}

// What a copy of the test module was handed.
struct Recorded
{
    QStringList databases;
    int32_t setDbCalls = -1;
    VtrXMLDocument* document = nullptr;
    int32_t liveRules = -1;
};

Recorded RecordedBy(void* handle)
{
    Recorded r;
    auto fn = reinterpret_cast<RecordedFn>(VtrLibrary::Find(handle, "TestModuleGetRecorded"));
    EXPECT_NE(fn, nullptr);
    if (fn)
        fn(&r.databases, &r.setDbCalls, &r.document, &r.liveRules);
    return r;
}

QStringList FileNames(const PtrArray& handles)
{
    QStringList names;
    for (int32_t i = 0; i < handles.GetSize(); ++i)
        names << VtrLibrary::FileName(handles.GetAt(i));
    return names;
}

class ModuleListsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(env.Path(QStringLiteral("libs")))); }

    // A copy of a built test module under another name: a library of its
    // own (a symlink would resolve to the already loaded one).
    QString Module(const QString& name, const char* built = "VtrTestModuleu")
    {
        const QString source = BinDir() + QLatin1Char('/') + QLatin1String(built) + QLatin1String(VtrLibrary::kSuffix);
        const QString target = env.Path(QStringLiteral("libs/") + name + QLatin1String(VtrLibrary::kSuffix));
        if (!QFile::exists(target)) {
            EXPECT_TRUE(QFile::copy(source, target)) << qPrintable(source);
        }
        return target;
    }

    ScopedTestEnv env;
    ModuleSet modules;
    void TearDown() override { UnloadAllModules(modules); }
};

TEST(KnownModulesTest, TablesKeepTheirSpellingAndOrder)
{
    const QStringList installed = { "VtrMillRulesu", "VtrTurnRulesu", "VtrSMRulesu", "VTRIMRulesu", "VTRAssemblyRulesu",
        "VtrGenericRulesu", "VtrToleranceRulesu", "VTRDieCastRulesu", "VTRCastingRulesu", "VtrRPRulesu",
        "VTRWeldRulesu", "VTRTubingRulesu", "VTRSandCastingRulesu", "VTRInvestmentCastRulesu", "VTRCompositeRulesu",
        "VTRThermoformingRulesu", "VTRCablingRulesu", "VTRVacInfusionRulesu", "VTRManualCheckRulesu",
        "VTRForgingRulesu", "VTRFormRulesu" };
    EXPECT_EQ(KnownModules::InstalledOrder(), installed);
    EXPECT_EQ(KnownModules::DefaultDatabaseModule(), QStringLiteral("VtrSqliteDatabaseu"));
    EXPECT_EQ(KnownModules::Configurator(), QStringLiteral("PLQRuleConfiguratoru"));

    const std::pair<const char*, const char*> lookups[] = {
        { "vtrmillrulesu", "VtrMillRulesu" },
        { "VTRSMRULESU", "VtrSMRulesu" },
        { "VtrCablingRulesu", "VTRCablingRulesu" },
        { "vtrgenericrulesu", "VtrGenericRulesu" },
        { "vtrsqlitedatabaseu", "VtrSqliteDatabaseu" },
        { "plqruleconfiguratoru", "PLQRuleConfiguratoru" },
        { "VtrMillRulesu.so", "" },
        { "", "" },
    };
    for (const auto& [name, canonical] : lookups)
        EXPECT_EQ(KnownModules::Canonical(QLatin1String(name)), QLatin1String(canonical)) << name;
    EXPECT_EQ(KnownModules::PathInProgramFolder(QStringLiteral("VtrRPRulesu")),
        CVTRFrameWrkUtils::GetProgramFolder() + QStringLiteral("/VtrRPRulesu.so"));
}

TEST_F(ModuleListsTest, IniPathIsTheDataSettingsFolderPlusFileName)
{
    EXPECT_EQ(Ini(), env.DataSettings() + QStringLiteral("ConfigModule.ini"));
}

TEST_F(ModuleListsTest, IniPathOfAnyLengthAroundTheBufferSize)
{
    // The folder (with its "/") is 259, 260 and 261 characters long and far
    // beyond: each must come back whole, not cut at the first buffer.
    for (int length : { 259, 260, 261, 700 }) {
        const QString base = env.Root() + QLatin1Char('/');
        const int pad = length - static_cast<int>(base.size()) - 1;
        ASSERT_GT(pad, 0);
        const QString folder = base + QString(pad, QLatin1Char('d')) + QLatin1Char('/');
        ASSERT_EQ(folder.size(), length);
        env.Set("VTRPRO_DATA_SETTINGS_DIR", folder);
        EXPECT_EQ(Ini(), folder + QStringLiteral("ConfigModule.ini")) << length;
    }
}

TEST_F(ModuleListsTest, FirstStartWritesTheDefaultsByteForByte)
{
    ASSERT_FALSE(QFile::exists(Ini()));
    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    LoadModuleList(QLatin1String(ModuleSections::kDatabases), modules.configuredDbModules, modules.installedDbModules);

    const QString folder = CVTRFrameWrkUtils::GetProgramFolder();
    const char* defaults[] = { "VtrMillRulesu", "VtrGenericRulesu", "VtrTurnRulesu", "VTRAssemblyRulesu", "VtrSMRulesu",
        "VTRIMRulesu", "VTRCastingRulesu", "VTRDieCastRulesu", "VtrRPRulesu", "VTRSandCastingRulesu", "VTRTubingRulesu",
        "VTRInvestmentCastRulesu", "VtrToleranceRulesu", "VTRCompositeRulesu", "VTRFormRulesu",
        "VTRManualCheckRulesu" };
    QByteArray expected = " [RULE_CONFIGURATION_MODULES]\n";
    QStringList expectedRules;
    int n = 0;
    for (const char* name : defaults) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".so");
        expected += " module" + QByteArray::number(++n) + "=" + path.toLocal8Bit() + "\n";
        expectedRules << path;
    }
    const QString database = folder + QStringLiteral("/VtrSqliteDatabaseu.so");
    expected += " [RULE_DATABASE_MODULES]\n module1=" + database.toLocal8Bit() + "\n";

    EXPECT_EQ(ReadBytes(Ini()), expected);
    EXPECT_EQ(modules.configuredRuleModules, expectedRules);
    EXPECT_EQ(modules.configuredDbModules, QStringList { database });
    ASSERT_EQ(modules.installedRuleModules.size(), 21);
    EXPECT_EQ(modules.installedRuleModules.front(), folder + QStringLiteral("/VtrMillRulesu.so"));
    EXPECT_EQ(modules.installedRuleModules.at(16), folder + QStringLiteral("/VTRCablingRulesu.so"));
    EXPECT_EQ(modules.installedRuleModules.back(), folder + QStringLiteral("/VTRFormRulesu.so"));
    EXPECT_EQ(modules.installedDbModules, modules.installedRuleModules);

    // A second start reads what the first one wrote and changes nothing.
    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    EXPECT_EQ(modules.configuredRuleModules, expectedRules);
    EXPECT_EQ(ReadBytes(Ini()), expected);
}

TEST_F(ModuleListsTest, MissingDataSettingsFolderIsCreated)
{
    const QString folder = env.Path(QStringLiteral("not/yet/there/"));
    env.Set("VTRPRO_DATA_SETTINGS_DIR", folder);
    LoadModuleList(QLatin1String(ModuleSections::kDatabases), modules.configuredDbModules, modules.installedDbModules);
    EXPECT_TRUE(
        ReadBytes(folder + QStringLiteral("ConfigModule.ini")).startsWith(" [RULE_DATABASE_MODULES]\n module1="));
    EXPECT_EQ(modules.configuredDbModules.size(), 1);
}

TEST_F(ModuleListsTest, ReadingStopsAtTheFirstMissingKey)
{
    const QByteArray text
        = " [RULE_CONFIGURATION_MODULES]\n module1=/m/One.so\n module2=/m/Two.so\n module4=/m/Four.so\n";
    WriteBytes(Ini(), text);
    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    EXPECT_EQ(modules.configuredRuleModules, (QStringList { "/m/One.so", "/m/Two.so" }));
    EXPECT_EQ(ReadBytes(Ini()), text);
}

TEST_F(ModuleListsTest, DisabledKeyIsUsedAndWrittenBackWithItsMark)
{
    WriteBytes(Ini(), "[RULE_CONFIGURATION_MODULES]\n#module1=/m/Off.so\nmodule2=/m/On.so\n");
    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    EXPECT_EQ(modules.configuredRuleModules, (QStringList { "/m/Off.so", "/m/On.so" }));
    // The database read writes its default and so rewrites the whole file.
    LoadModuleList(QLatin1String(ModuleSections::kDatabases), modules.configuredDbModules, modules.installedDbModules);
    EXPECT_TRUE(ReadBytes(Ini()).startsWith(" [RULE_CONFIGURATION_MODULES]\n#module1=/m/Off.so\n module2=/m/On.so\n"
                                            " [RULE_DATABASE_MODULES]\n module1="));
}

TEST_F(ModuleListsTest, EnvironmentReferencesAreExpanded)
{
    env.Set("VTRTEST_ROOT", QStringLiteral("/Opt\\\\Vtr"));
    env.Set("VTRTEST_SUB", QStringLiteral("Lib"));
    env.Set("VTRTEST_SELF", QStringLiteral("%VTRTEST_SELF%x"));
    env.Set("VTRTEST_EMPTY", QString());
    const struct
    {
        const char* value;
        const char* expected;
    } cases[] = {
        { "%VTRTEST_ROOT%/Mill.so", "/Opt\\Vtr/Mill.so" },
        { "%VTRTEST_ROOT%/%VTRTEST_SUB%/Mixed.So", "/Opt\\Vtr/Lib/Mixed.So" },
        { "/a/%VTRTEST_UNDEFINED%/%VTRTEST_SUB%.so", "/a/%VTRTEST_UNDEFINED%/%VTRTEST_SUB%.so" },
        { "/a/%VTRTEST_SUB", "/a/%VTRTEST_SUB" },
        { "/a/%%/b.so", "/a/%%/b.so" },
        { "/a%VTRTEST_EMPTY%/b.so", "/a/b.so" },
        { "/keep\\\\this/%VTRTEST_SUB%.so", "/keep\\\\this/Lib.so" },
    };
    QByteArray text = "[RULE_DATABASE_MODULES]\n";
    QStringList expected;
    int n = 0;
    for (const auto& c : cases) {
        text += "module" + QByteArray::number(++n) + "=" + c.value + "\n";
        expected << QLatin1String(c.expected);
    }
    text += "module" + QByteArray::number(++n) + "=%VTRTEST_SELF%\n";
    WriteBytes(Ini(), text);
    LoadModuleList(QLatin1String(ModuleSections::kDatabases), modules.configuredDbModules, modules.installedDbModules);
    ASSERT_EQ(modules.configuredDbModules.size(), expected.size() + 1);
    EXPECT_EQ(modules.configuredDbModules.mid(0, expected.size()), expected);
    // A variable that refers to itself ends after a bounded number of rounds.
    EXPECT_TRUE(modules.configuredDbModules.back().startsWith(QStringLiteral("%VTRTEST_SELF%x")));
}

TEST_F(ModuleListsTest, UnreadableIniStillGivesTheDefaults)
{
    ASSERT_TRUE(QDir().mkpath(Ini())); // a folder where the file should be
    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    EXPECT_EQ(modules.configuredRuleModules.size(), 16);
    EXPECT_TRUE(QFileInfo(Ini()).isDir());
}

TEST_F(ModuleListsTest, SyncKeepsOrderDropsUnconfiguredAndAppendsNewInConfiguredOrder)
{
    const QString a = Module("A"), b = Module("B"), c = Module("C"), d = Module("D"), e = Module("E");
    for (const QString& p : { a, b, c })
        modules.loadedRuleModules.Add(VtrLibrary::Load(p));
    modules.loadedRuleModules.Add(nullptr); // a hole stays where it is
    void* handleB = modules.loadedRuleModules.GetAt(1);

    PtrArray dropped;
    SyncLoadedModules(
        modules.loadedRuleModules, dropped, { e, c, env.Path(QStringLiteral("libs/Missing.so")), a, d, e });
    EXPECT_EQ(FileNames(modules.loadedRuleModules), (QStringList { a, c, QString(), e, d }));
    ASSERT_EQ(dropped.GetSize(), 1);
    EXPECT_EQ(dropped.GetAt(0), handleB);
    FreeHandlesLastToFirst(dropped);
    EXPECT_EQ(dropped.GetSize(), 0);

    // Dropping several keeps the walk's last-to-first order.
    SyncLoadedModules(modules.loadedRuleModules, dropped, { d });
    EXPECT_EQ(FileNames(dropped), (QStringList { e, c, a }));
    EXPECT_EQ(FileNames(modules.loadedRuleModules), (QStringList { QString(), d }));
    FreeHandlesLastToFirst(dropped);
}

TEST_F(ModuleListsTest, StartUpLoadsModulesAndHandsEveryRuleModuleTheDatabaseList)
{
    const QString full = Module("Full"), noDb = Module("NoDb", "VtrTestModuleNoDbListu"), db = Module("Db");
    const QString missing = env.Path(QStringLiteral("libs/Missing.so"));
    WriteBytes(Ini(),
        " [RULE_CONFIGURATION_MODULES]\n module1=" + full.toLocal8Bit() + "\n module2=" + missing.toLocal8Bit()
            + "\n module3=" + noDb.toLocal8Bit() + "\n [RULE_DATABASE_MODULES]\n module1=" + db.toLocal8Bit() + "\n");
    LoadAllModules(modules);

    EXPECT_EQ(modules.configuredRuleModules, (QStringList { full, missing, noDb }));
    EXPECT_EQ(FileNames(modules.loadedRuleModules), (QStringList { full, noDb }));
    EXPECT_EQ(FileNames(modules.loadedDbModules), QStringList { db });
    Recorded r = RecordedBy(modules.loadedRuleModules.GetAt(0));
    EXPECT_EQ(r.databases, QStringList { db });
    EXPECT_EQ(r.setDbCalls, 1);
    EXPECT_EQ(RecordedBy(modules.loadedDbModules.GetAt(0)).setDbCalls, 0);
    // Asked again and again, as a release of many rules asks.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(LoadedLibraryAt(modules, full), modules.loadedRuleModules.GetAt(0));
        EXPECT_EQ(LoadedLibraryAt(modules, db), modules.loadedDbModules.GetAt(0));
        EXPECT_EQ(LoadedLibraryAt(modules, missing), nullptr);
    }

    // Registration of another database module: the old one goes, the rule
    // modules hear of the new list.
    const QString db2 = Module("Db2");
    modules.configuredDbModules = { db2 };
    ReloadDatabaseModules(modules);
    EXPECT_EQ(FileNames(modules.loadedDbModules), QStringList { db2 });
    r = RecordedBy(modules.loadedRuleModules.GetAt(0));
    EXPECT_EQ(r.databases, QStringList { db2 });
    EXPECT_EQ(r.setDbCalls, 2);
    EXPECT_EQ(LoadedLibraryAt(modules, db), nullptr);
    EXPECT_EQ(LoadedLibraryAt(modules, db2), modules.loadedDbModules.GetAt(0));
    EXPECT_EQ(LoadedLibraryAt(modules, full), modules.loadedRuleModules.GetAt(0));

    // Registration of rule modules: dropped handles wait for the caller.
    modules.configuredRuleModules = { noDb };
    PtrArray dropped;
    ReloadRuleModules(modules, dropped);
    EXPECT_EQ(FileNames(modules.loadedRuleModules), QStringList { noDb });
    EXPECT_EQ(FileNames(dropped), QStringList { full });
    // A library no longer listed is not found, however recently it was.
    EXPECT_EQ(LoadedLibraryAt(modules, full), nullptr);
    EXPECT_EQ(LoadedLibraryAt(modules, noDb), modules.loadedRuleModules.GetAt(0));
    EXPECT_EQ(RecordedBy(dropped.GetAt(0)).setDbCalls, 2);
    FreeHandlesLastToFirst(dropped);

    UnloadAllModules(modules);
    EXPECT_EQ(modules.loadedRuleModules.GetSize(), 0);
    EXPECT_EQ(modules.loadedDbModules.GetSize(), 0);
    EXPECT_EQ(modules.loadedInstalledModules.GetSize(), 0);
    EXPECT_EQ(modules.configuratorLibrary, nullptr);
}

TEST_F(ModuleListsTest, ModuleExportsWorkThroughTheContract)
{
    const QString full = Module("Full"), noDb = Module("NoDb", "VtrTestModuleNoDbListu");
    void* h = VtrLibrary::Load(full);
    void* n = VtrLibrary::Load(noDb);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(n, nullptr);

    EXPECT_EQ(ModuleDisplayName(h), QStringLiteral("Test Rules"));
    EXPECT_EQ(ModuleDisplayName(n), QStringLiteral("NoDb.so"));
    EXPECT_EQ(ModuleDisplayName(nullptr), QString());
    EXPECT_EQ(VtrLibrary::Find(n, ModuleExports::kSetDBModuleList), nullptr);
    EXPECT_EQ(VtrLibrary::Find(n, ModuleExports::kGetModuleName), nullptr);

    auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(h, ModuleExports::kGetAllRules));
    auto getRule = reinterpret_cast<PFN_GetRule>(VtrLibrary::Find(h, ModuleExports::kGetRule));
    auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(h, ModuleExports::kDeleteRule));
    auto setDoc = reinterpret_cast<PFN_SetXMLDoc>(VtrLibrary::Find(h, ModuleExports::kSetXMLDoc));
    ASSERT_TRUE(getAll && getRule && deleteRule && setDoc);

    PtrArray rules;
    getAll(&rules);
    ASSERT_EQ(rules.GetSize(), 3);
    QStringList names;
    for (int32_t i = 0; i < rules.GetSize(); ++i)
        names << static_cast<CVtrRule*>(rules.GetAt(i))->GetRuleName();
    EXPECT_EQ(names, (QStringList { "TM - Hole Depth", "TM - Wall Thickness", "TM - Corner Radius" }));
    EXPECT_EQ(RecordedBy(h).liveRules, 3);

    VtrXMLDocument doc;
    setDoc(&doc);
    EXPECT_EQ(RecordedBy(h).document, &doc);
    VtrXMLNode* own = doc.CreateNode(QStringLiteral("Rule"));
    own->AddAttribute(QStringLiteral("Name"), QStringLiteral("TM - Wall Thickness"));
    VtrXMLNode* other = doc.CreateNode(QStringLiteral("Rule"));
    other->AddAttribute(QStringLiteral("Name"), QStringLiteral("SM - Minimum Hole Diameter"));
    CVtrRule* found = nullptr;
    getRule(other, &found);
    EXPECT_EQ(found, nullptr);
    getRule(own, &found);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetRuleName(), QStringLiteral("TM - Wall Thickness"));
    deleteRule(&found);
    EXPECT_EQ(found, nullptr);
    delete own;
    delete other;
    setDoc(nullptr);

    for (int32_t i = 0; i < rules.GetSize(); ++i) {
        auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
        deleteRule(&rule);
    }
    EXPECT_EQ(RecordedBy(h).liveRules, 0);
    VtrLibrary::Free(n);
    VtrLibrary::Free(h);
}
} // namespace

TEST(StampModuleRuleTest, NamesTheModuleUnlessTheRuleNamesItsOwnOrIsUserDefined)
{
    const struct
    {
        const char* ownModule;
        int32_t category;
        const char* expected;
    } cases[] = {
        { "", 3, "Sheet Metal" },
        { "Manual Check Rules", 3, "Manual Check Rules" },
        { "", 22, "" },
        { "Own", 22, "Own" },
    };
    for (const auto& c : cases) {
        ConcreteVTRRule rule;
        rule.SetRuleModuleName(QString::fromLatin1(c.ownModule));
        QStringList categories;
        CVTRFrameWrkUtils::GetRuleCategoryStringList(categories);
        ASSERT_LT(c.category, categories.size());
        rule.SetRuleCategory(categories[c.category]);
        ASSERT_EQ(rule.GetRuleCategoryEnum(), c.category);
        StampModuleRule(&rule, QStringLiteral("/opt/vtr/VtrSMRulesu.so"), QStringLiteral("Sheet Metal"));
        EXPECT_EQ(rule.GetRuleModuleName(), QString::fromLatin1(c.expected)) << c.ownModule << " " << c.category;
        EXPECT_EQ(rule.GetModulePath(), QStringLiteral("/opt/vtr/VtrSMRulesu.so"));
    }
}
