// Reading module sections and matching loaded libraries to configured lists
// must stay linear in the number of modules.

#include "modules/IniFile.h"
#include "modules/ModuleLists.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
// A data-settings folder of the benchmark's own, so no real configuration is touched.
const QTemporaryDir& SettingsDir()
{
    static QTemporaryDir dir;
    static const bool set = qputenv("VTRPRO_DATA_SETTINGS_DIR", QFile::encodeName(dir.path() + QLatin1Char('/')));
    (void)set;
    return dir;
}

std::string ModuleSection(int keys)
{
    std::string text = " [RULE_SCRIPT_LOCATION]\n directory=/scripts\n [RULE_CONFIGURATION_MODULES]\n";
    for (int n = 1; n <= keys; ++n)
        text += " module" + std::to_string(n) + "=%VTRBENCH_ROOT%/modules/Module" + std::to_string(n) + ".so\n";
    text += " [RULE_DATABASE_MODULES]\n module1=/opt/vtr/VtrSqliteDatabaseu.so\n";
    return text;
}

void WriteIni(const std::string& text)
{
    QFile f(GetConfigModuleIniPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(text.data(), static_cast<qint64>(text.size()));
}

void BM_LoadModuleList(benchmark::State& state)
{
    SettingsDir();
    qputenv("VTRBENCH_ROOT", "/opt\\\\vtr");
    const int keys = static_cast<int>(state.range(0));
    WriteIni(ModuleSection(keys));
    QStringList configured, installed;
    for (auto _ : state) {
        LoadModuleList(QStringLiteral("RULE_CONFIGURATION_MODULES"), configured, installed);
        benchmark::DoNotOptimize(configured.size());
    }
    if (configured.size() != keys)
        state.SkipWithError("wrong number of modules read");
    state.SetComplexityN(keys);
    state.SetItemsProcessed(state.iterations() * keys);
}
BENCHMARK(BM_LoadModuleList)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_IniParseAndFormat(benchmark::State& state)
{
    const std::string text = ModuleSection(static_cast<int>(state.range(0)));
    std::vector<IniRecord> records;
    for (auto _ : state) {
        CIniFile::Parse(text, records);
        benchmark::DoNotOptimize(CIniFile::Format(records).size());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_IniParseAndFormat)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

// Many sections interleaved: the regrouping of a save must not search per record.
void BM_IniRegroupInterleaved(benchmark::State& state)
{
    const int sections = static_cast<int>(state.range(0));
    std::vector<IniRecord> records;
    for (int round = 0; round < 2; ++round)
        for (int s = 0; s < sections; ++s) {
            IniRecord r;
            r.Section = "S" + std::to_string(s);
            r.Key = "k" + std::to_string(round);
            r.Value = "v";
            records.push_back(r);
        }
    for (auto _ : state)
        benchmark::DoNotOptimize(CIniFile::Format(records).size());
    state.SetComplexityN(sections);
}
BENCHMARK(BM_IniRegroupInterleaved)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

// A large configured list against nothing loaded: every path is tried once.
void BM_SyncLoadedModules(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    QStringList configured;
    for (int n = 0; n < count; ++n)
        configured << QStringLiteral("/nonexistent/vtrbench/Module%1.so").arg(n);
    for (auto _ : state) {
        PtrArray loaded, dropped;
        SyncLoadedModules(loaded, dropped, configured);
        benchmark::DoNotOptimize(loaded.GetSize());
    }
    state.SetComplexityN(count);
}
BENCHMARK(BM_SyncLoadedModules)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
} // namespace
