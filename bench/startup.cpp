// Start-up to a visible main window with the default rule modules loaded.
#include "app/ui/VTRRuleBuilderApp.h"
#include "views/ui/MainFrame.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QWindow>

namespace {
// Processes events until the window is on screen, at most timeoutMs.
bool WaitUntilExposed(QWidget* window, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return false;
}

// Every folder the program writes to points into a temporary folder, fresh
// for each start, as on a first start.
struct FreshFolders
{
    QTemporaryDir dir;
    FreshFolders()
    {
        QDir().mkpath(dir.path() + QStringLiteral("/settings"));
        qputenv("VTRPRO_DATA_SETTINGS_DIR", (dir.path() + QStringLiteral("/settings/")).toLocal8Bit());
        qputenv("APPDATA", (dir.path() + QStringLiteral("/appdata")).toLocal8Bit());
        qputenv("VTR_PRO_DATABASE_DIR", (dir.path() + QStringLiteral("/database")).toLocal8Bit());
        qputenv("VTRPRO_MACHINE_ENVIRONMENT_FILE", (dir.path() + QStringLiteral("/environment")).toLocal8Bit());
    }
};

// unload: free the module libraries after each start, so every start loads
// them again (the cold path); otherwise they stay mapped (a warm restart).
void RunStartup(benchmark::State& state, bool unload)
{
    int modules = 0;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto folders = std::make_unique<FreshFolders>();
        AppOptions options;
        options.instanceName = QStringLiteral("vtrpro-bench-%1-%2").arg(QCoreApplication::applicationPid()).arg(++run);
        options.profileFile = folders->dir.path() + QStringLiteral("/profile.ini");
        options.unloadModulesOnDestruction = unload;
        state.ResumeTiming();

        auto app = std::make_unique<CVTRRuleBuilderApp>(options);
        if (!app->InitInstance({})) {
            state.SkipWithError("start-up failed");
            break;
        }
        if (!WaitUntilExposed(app->MainFrame(), 5000)) {
            state.SkipWithError("the main window was not shown");
            break;
        }

        state.PauseTiming();
        modules = app->Context().Modules().loadedRuleModules.GetSize();
        app->ExitInstance();
        app.reset();
        folders.reset();
        state.ResumeTiming();
    }
    state.counters["rule_modules"] = modules;
}

void BM_StartupToVisibleWindowCold(benchmark::State& state)
{
    RunStartup(state, true);
}
BENCHMARK(BM_StartupToVisibleWindowCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_StartupToVisibleWindowWarm(benchmark::State& state)
{
    RunStartup(state, false);
}
BENCHMARK(BM_StartupToVisibleWindowWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VTRPRO_HELP_OPENER", "true");
    QApplication qapp(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
