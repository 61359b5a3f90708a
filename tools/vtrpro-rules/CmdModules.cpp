#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "OutputFormat.h"

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"
#include "modules/ModuleRegistration.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QDir>
#include <QFileInfo>
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

namespace {
// The row of the unloaded list whose shipped library is the file at path, or -1.
int UnloadedRowOf(const ModuleRegistration& reg, const QString& path)
{
    const QString wanted = QFileInfo(path).canonicalFilePath();
    if (wanted.isEmpty())
        return -1;
    const QStringList& unloaded = reg.UnloadedRows();
    for (qsizetype row = 0; row < unloaded.size(); ++row) {
        void* handle = reg.DefaultHandleNamed(unloaded[row]);
        if (handle && QFileInfo(VtrLibrary::FileName(handle)).canonicalFilePath() == wanted)
            return static_cast<int>(row);
    }
    return -1;
}

// After a refused add: when the library carries the name of a shipped module
// that is not in the list, says how to put the shipped one back (the dialog
// points at its list of unloaded modules, which the tool has not).
void SayHowToLoadShipped(const ModuleRegistration& reg, const QString& path)
{
    void* handle = VtrLibrary::Load(path);
    if (!handle)
        return;
    QString name;
    if (ModuleRegistration::ModuleName(handle, name) && reg.UnloadedRows().contains(name))
        if (void* shipped = reg.DefaultHandleNamed(name))
            std::fprintf(stderr,
                "vtrpro-rules: \"%s\" is a shipped module; \"vtrpro-rules modules add %s\" puts it back\n",
                qUtf8Printable(name), qUtf8Printable(VtrLibrary::FileName(shipped)));
    VtrLibrary::Free(handle);
}

// add, remove and reset: the registration's checks and saving, without the dialog.
int ChangeModules(const QString& action, const QStringList& args, bool database)
{    CliContext cli;
    if (const int code = cli.Start())
        return code;
    ModuleSet& modules = cli.Modules();
    const ModuleKind kind = database ? ModuleKind::Databases : ModuleKind::Rules;
    QStringList& configured = database ? modules.configuredDbModules : modules.configuredRuleModules;
    const PtrArray& loaded = database ? modules.loadedDbModules : modules.loadedRuleModules;
    ModuleRegistration reg(ModuleRegConfig::For(kind), configured, loaded);
    reg.Open();

    // A configured library that did not load leaves the section with the
    // save; the one remove names is meant to.
    QString removed;
    if (action == QLatin1String("add")) {
        // A shipped module taken off comes back as "<" brings it back in the dialog.
        const int row = UnloadedRowOf(reg, args.first());
        // A refused library has had its message on stderr.
        if (row >= 0 ? !reg.LoadUnloadedRow(row) : !reg.AddByPath(args.first(), true)) {
            if (row < 0)
                SayHowToLoadShipped(reg, args.first());
            return ExitCode::kRefused;
        }
    } else if (action == QLatin1String("remove")) {
        QString path = args.first();
        if (!path.startsWith(QLatin1Char('/')))
            path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        removed = path;
        void* handle = nullptr;
        for (void* h : reg.Working())
            if (VtrLibrary::HasFileName(h, path))
                handle = h;
        if (handle) {
            reg.Unload(handle);
        } else if (!configured.contains(path)) {
            std::fprintf(stderr, "vtrpro-rules: %s is not a configured %s module\n", qUtf8Printable(path),
                database ? "database" : "rule");
            return ExitCode::kRefused;
        }
        // A configured library that did not load leaves the file with the next save.
    } else {
        for (void* h : std::vector<void*>(reg.Working()))
            reg.Unload(h);
        reg.LoadAllDefaults();
    }
    if (reg.Working().empty()) {
        // As OK is disabled in the dialog: an empty module section is not saved.
        std::fprintf(
            stderr, "vtrpro-rules: no %s module would be left; nothing was changed\n", database ? "database" : "rule");
        return ExitCode::kRefused;
    }
    const QHash<QString, void*> loadedByPath = ByPath(loaded);
    for (const QString& path : configured)
        if (path != removed && !loadedByPath.contains(path))
            std::fprintf(stderr, "vtrpro-rules: warning: %s is configured but does not load; it leaves the list\n",
                qUtf8Printable(path));
    if (!reg.Save()) {
        std::fprintf(stderr, "vtrpro-rules: %s could not be written\n", qUtf8Printable(GetConfigModuleIniPath()));
        return ExitCode::kRefused;
    }
    int n = 0;
    for (void* h : reg.Working())
        std::printf("module%d=%s\n", ++n, qUtf8Printable(VtrLibrary::FileName(h)));
    std::fflush(stdout);
    return ExitCode::kDone;
}

int ListModules(bool json)
{
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
} // namespace

void DeclareModules(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* modules = root.add_subcommand("modules", "list, register or unregister rule and database modules");
    modules->require_subcommand(0, 1);
    for (const char* action : { "add", "remove", "reset" }) {
        const bool wantsPath = std::string(action) != "reset";
        CLI::App* sub = modules->add_subcommand(action,
            !wantsPath              ? "register the shipped modules only"
                : *action == 'a'    ? "register a module"
                                    : "unregister a module");
        auto path = std::make_shared<std::string>();
        auto database = std::make_shared<bool>(false);
        if (wantsPath)
            sub->add_option("PATH", *path, "the module's library")->required();
        sub->add_flag("--database", *database, "a database module rather than a rule module");
        out.push_back({ sub, [action, wantsPath, path, database] {
                           return ChangeModules(QString::fromLatin1(action),
                               wantsPath ? QStringList { CommandLine::Text(*path) } : QStringList(), *database);
                       } });
    }
    auto json = std::make_shared<bool>(false);
    CommandLine::AddFormat(*modules, *json);
    out.push_back({ modules, [json] { return ListModules(*json); } });
}
