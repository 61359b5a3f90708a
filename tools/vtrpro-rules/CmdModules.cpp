#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "OutputFormat.h"

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <cstdio>
#include <vector>

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

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

// What one configured module shows: the text prints one line of it, JSON one object.
struct ModuleLine
{
    QString path;
    bool loaded = false;
    QString name; // rule modules only
    int32_t rules = -1; // rule modules only; -1 without GetAllRules
};

std::vector<ModuleLine> Describe(const QStringList& configured, const PtrArray& loaded, bool ruleModules)
{
    std::vector<ModuleLine> lines;
    lines.reserve(static_cast<size_t>(configured.size()));
    const QHash<QString, void*> byPath = ByPath(loaded);
    for (const QString& path : configured) {
        ModuleLine line;
        line.path = path;
        void* handle = byPath.value(path);
        line.loaded = handle != nullptr;
        if (handle && ruleModules) {
            line.name = ModuleDisplayName(handle);
            line.rules = CountRules(handle);
        }
        lines.push_back(line);
    }
    return lines;
}

void PrintSection(const char* section, const std::vector<ModuleLine>& lines, bool ruleModules)
{
    std::printf("%s\n", section);
    for (const ModuleLine& line : lines) {
        if (!line.loaded) {
            std::printf("  not loaded  %s\n", qUtf8Printable(line.path));
            continue;
        }
        if (!ruleModules) {
            std::printf("  loaded      %s\n", qUtf8Printable(line.path));
            continue;
        }
        const QString rules = line.rules < 0
            ? QStringLiteral("no GetAllRules")
            : QStringLiteral("%1 rule%2").arg(line.rules).arg(line.rules == 1 ? "" : "s");
        std::printf("  loaded      %s  \"%s\"  %s\n", qUtf8Printable(line.path), qUtf8Printable(line.name),
            qUtf8Printable(rules));
    }
}

void AppendJson(QJsonArray& out, const char* section, const std::vector<ModuleLine>& lines, bool ruleModules)
{
    for (const ModuleLine& line : lines) {
        QJsonObject o { { QStringLiteral("section"), QLatin1String(section) }, { QStringLiteral("path"), line.path },
            { QStringLiteral("loaded"), line.loaded } };
        if (ruleModules && line.loaded) {
            o.insert(QStringLiteral("name"), line.name);
            // null: the module has no GetAllRules
            o.insert(QStringLiteral("rules"), line.rules < 0 ? QJsonValue() : QJsonValue(line.rules));
        }
        out.append(o);
    }
}
} // namespace

int RunModules(const QStringList& arguments)
{
    QStringList args = arguments;
    bool json = false;
    if (!OutputFormat::Take(args, json) || !args.isEmpty()) {
        std::fprintf(stderr, "vtrpro-rules: usage: modules [--format text|json]\n");
        return ExitCode::kRefused;
    }
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    ModuleSet& modules = cli.Modules();
    const std::vector<ModuleLine> rules = Describe(modules.configuredRuleModules, modules.loadedRuleModules, true);
    const std::vector<ModuleLine> databases = Describe(modules.configuredDbModules, modules.loadedDbModules, false);
    if (json) {
        QJsonArray array;
        AppendJson(array, ModuleSections::kRules, rules, true);
        AppendJson(array, ModuleSections::kDatabases, databases, false);
        OutputFormat::PrintJson(QJsonObject {
            { QStringLiteral("configModuleIni"), GetConfigModuleIniPath() }, { QStringLiteral("modules"), array } });
        return ExitCode::kDone;
    }
    std::printf("ConfigModule.ini: %s\n", qUtf8Printable(GetConfigModuleIniPath()));
    PrintSection(ModuleSections::kRules, rules, true);
    PrintSection(ModuleSections::kDatabases, databases, false);
    std::fflush(stdout);
    return ExitCode::kDone;
}
