#include "CliContext.h"
#include "Commands.h"

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <cstdio>

#include <QHash>

namespace {
// Loaded handles by the path they were loaded from.
QHash<QString, void*> ByPath(const PtrArray& handles)
{
    QHash<QString, void*> byPath;
    byPath.reserve(handles.GetSize());
    for (int32_t i = 0; i < handles.GetSize(); ++i)
        if (void* h = handles.GetAt(i))
            byPath.insert(VtrLibrary::FileName(h), h);
    return byPath;
}

// Number of rules a module lists; -1 when it has no GetAllRules.
int32_t CountRules(void* handle)
{
    auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(handle, ModuleExports::kGetAllRules));
    if (!getAll)
        return -1;
    PtrArray rules;
    getAll(&rules);
    const int32_t count = rules.GetSize();
    // The module owns its rules; without DeleteRule they stay with it.
    auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule));
    if (deleteRule) {
        for (int32_t i = 0; i < count; ++i) {
            auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
            deleteRule(&rule);
        }
    }
    return count;
}

void PrintSection(const char* section, const QStringList& configured, const PtrArray& loaded, bool ruleModules)
{
    std::printf("%s\n", section);
    const QHash<QString, void*> byPath = ByPath(loaded);
    for (const QString& path : configured) {
        void* handle = byPath.value(path);
        if (!handle) {
            std::printf("  not loaded  %s\n", qUtf8Printable(path));
            continue;
        }
        if (!ruleModules) {
            std::printf("  loaded      %s\n", qUtf8Printable(path));
            continue;
        }
        const int32_t count = CountRules(handle);
        const QString rules = count < 0 ? QStringLiteral("no GetAllRules")
                                        : QStringLiteral("%1 rule%2").arg(count).arg(count == 1 ? "" : "s");
        std::printf("  loaded      %s  \"%s\"  %s\n", qUtf8Printable(path), qUtf8Printable(ModuleDisplayName(handle)),
            qUtf8Printable(rules));
    }
}
} // namespace

int RunModules(const QStringList& args)
{
    if (!args.isEmpty()) {
        std::fprintf(stderr, "vtrpro-rules: modules takes no arguments\n");
        return 2;
    }
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    ModuleSet& modules = cli.Modules();
    std::printf("ConfigModule.ini: %s\n", qUtf8Printable(GetConfigModuleIniPath()));
    PrintSection(ModuleSections::kRules, modules.configuredRuleModules, modules.loadedRuleModules, true);
    PrintSection(ModuleSections::kDatabases, modules.configuredDbModules, modules.loadedDbModules, false);
    std::fflush(stdout);
    return 0;
}
