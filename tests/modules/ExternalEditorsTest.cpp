#include "modules/ExternalEditors.h"

#include "ProductData.h"
#include "TestSupport.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// What the fake editors and services saw, in order.
struct Calls
{
    QStringList log;
    QStringList processes;
    bool editable = false;
    bool throwInEditor = false;
    bool throwInUsage = false;
};
Calls g_calls;

void FakeProcessMap(void*, QStringList processes, bool editable)
{
    g_calls.log << QStringLiteral("process map");
    g_calls.processes = processes;
    g_calls.editable = editable;
    if (g_calls.throwInEditor)
        throw std::runtime_error("process map failed");
}

void FakeProperties(void*)
{
    g_calls.log << QStringLiteral("properties");
    if (g_calls.throwInEditor)
        throw std::runtime_error("properties failed");
}

void FakeThreadData(void*)
{
    g_calls.log << QStringLiteral("thread data");
    if (g_calls.throwInEditor)
        throw 42; // not even a std::exception
}

// Counts the release entry the commands call after an editor.
class CountingCollector : public vtr_db::IDatabaseCollector
{
public:
    int32_t Initialize() override { return 0; }
    int32_t GetMaterialDataFlag() override { return 1; }
    int32_t GetSchemaVersion() override { return 3; }
    void Release() override { g_calls.log << QStringLiteral("release"); }
    bool IsConnected() override { return true; }
    bool IsAvailable() override { return true; }
    bool GetCustomMessage(int32_t, const QString&, const QString&, QString&) override { return false; }
    int32_t AddCustomMessage(int32_t, const QString&, const QString&, const QString&) override { return -1; }
    void OnRulesListed() override { }
};

QString EventName(EditorCommand command)
{
    switch (command) {
    case EditorCommand::HardwareDatabase:
        return QStringLiteral("event hardware");
    case EditorCommand::MapMaterial:
        return QStringLiteral("event map");
    case EditorCommand::MaterialProperty:
        return QStringLiteral("event property");
    case EditorCommand::ThreadData:
        break;
    }
    return QStringLiteral("event thread");
}

class ExternalEditorsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_calls = Calls();
        env.Set("PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
        services.trackCommand = [](EditorCommand command) {
            g_calls.log << EventName(command);
            if (g_calls.throwInUsage)
                throw std::runtime_error("usage failed");
        };
        services.collector = [this] { return &collector; };
        services.assemblyModule = [] { return nullptr; };
        services.materialEditors = [] {
            MaterialEditorEntries e;
            e.launchProcessMap = &FakeProcessMap;
            e.launchProperties = &FakeProperties;
            e.launchThreadData = &FakeThreadData;
            return e;
        };
        services.programFolder = QStringLiteral("/opt/vtrpro/bin");
    }

    ScopedTestEnv env;
    CountingCollector collector;
    CExternalEditors::Services services;
};

TEST_F(ExternalEditorsTest, HardwareDatabaseWithoutTheAssemblyModuleStillReleasesTheCollector)
{
    CExternalEditors(services).OnHardwareDatabase(nullptr);
    EXPECT_EQ(g_calls.log, (QStringList { "event hardware", "release" }));
}

TEST_F(ExternalEditorsTest, HardwareDatabaseCallsTheLoadedAssemblyModule)
{
    void* assembly = VtrLibrary::Load(BinDir() + QStringLiteral("/VTRAssemblyRulesu.so"));
    ASSERT_TRUE(assembly) << qPrintable(VtrLibrary::LastError());
    ModuleSet modules;
    modules.loadedRuleModules.Add(assembly);
    EXPECT_EQ(CExternalEditors::FindLoadedByFileName(modules, QStringLiteral("VTRAssemblyRulesu")), assembly);
    EXPECT_EQ(CExternalEditors::FindLoadedByFileName(modules, QStringLiteral("VTRAssembly")), nullptr);
    EXPECT_EQ(CExternalEditors::FindLoadedByFileName(ModuleSet(), QStringLiteral("VTRAssemblyRulesu")), nullptr);

    // Without a window system the module's editor declines and says so in the log.
    services.assemblyModule = [assembly] { return assembly; };
    CExternalEditors(services).OnHardwareDatabase(nullptr);
    EXPECT_EQ(g_calls.log, (QStringList { "event hardware", "release" }));
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("hardware database editor needs a window system")));
    modules.loadedRuleModules.RemoveAll();
    VtrLibrary::Free(assembly);
}

TEST_F(ExternalEditorsTest, MapMaterialHandsOverTheProcessesThenSendsItsEvent)
{
    CExternalEditors editors(services);
    editors.OnMapMaterial(nullptr);
    EXPECT_EQ(g_calls.log, (QStringList { "process map", "event map", "release" }));
    EXPECT_EQ(g_calls.processes, vtr_db::ManufacturingProcesses());
    EXPECT_TRUE(g_calls.editable);
}

TEST_F(ExternalEditorsTest, MapMaterialPutsTheCostModuleFolderFirstOnPathOnce)
{
    CExternalEditors editors(services);
    EXPECT_EQ(editors.CostModuleFolder(), QStringLiteral("/opt/vtrpro/bin/../costmodule"));
    editors.OnMapMaterial(nullptr);
    editors.OnMapMaterial(nullptr);
    EXPECT_EQ(
        qEnvironmentVariable("PATH"), QStringLiteral("/opt/vtrpro/bin/../costmodule:/usr/local/bin:/usr/bin:/bin"));
}

TEST_F(ExternalEditorsTest, WhatTheEditorsThrowIsCaught)
{
    struct Case
    {
        const char* name;
        bool throwInEditor;
        bool throwInUsage;
        void (CExternalEditors::*command)(void*);
        QStringList expected;
    };
    const Case cases[] = {
        // The collector entry still runs; the event after the editor is not sent.
        { "map editor throws", true, false, &CExternalEditors::OnMapMaterial, { "process map", "release" } },
        { "map event throws", false, true, &CExternalEditors::OnMapMaterial,
            { "process map", "event map", "release" } },
        // A failed event keeps the property editor closed.
        { "property event throws", false, true, &CExternalEditors::OnMaterialProperty, { "event property" } },
        { "property editor throws", true, false, &CExternalEditors::OnMaterialProperty,
            { "event property", "properties" } },
        { "thread editor throws", true, false, &CExternalEditors::OnThreadData, { "thread data" } },
        { "hardware event throws", false, true, &CExternalEditors::OnHardwareDatabase,
            { "event hardware", "release" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_calls = Calls();
        g_calls.throwInEditor = c.throwInEditor;
        g_calls.throwInUsage = c.throwInUsage;
        CExternalEditors editors(services);
        EXPECT_NO_THROW((editors.*c.command)(nullptr));
        EXPECT_EQ(g_calls.log, c.expected);
    }
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("Thread data: the editor failed: an unknown exception")));
}

TEST_F(ExternalEditorsTest, MissingEditorsOrCollectorOpenNothing)
{
    services.materialEditors = [] { return MaterialEditorEntries(); };
    services.collector = [] { return static_cast<vtr_db::IDatabaseCollector*>(nullptr); };
    CExternalEditors editors(services);
    editors.OnMapMaterial(nullptr);
    editors.OnMaterialProperty(nullptr);
    editors.OnThreadData(nullptr);
    editors.OnHardwareDatabase(nullptr);
    EXPECT_EQ(g_calls.log, (QStringList { "event map", "event property", "event hardware" }));
}

} // namespace
