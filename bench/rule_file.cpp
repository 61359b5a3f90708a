// Reading, writing and verifying rule files of 1,000 to 100,000 rules made
// from the shipped modules' rules, beside a bare XML parse of the same file.
//
// Set VTRPRO_BENCH_KEEP_DIR to keep the generated files (rules_N.vtr) there.

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/FileDetails.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

namespace {
class Fixture
{
public:
    static Fixture& Get()
    {
        static Fixture fixture;
        return fixture;
    }
    ~Fixture()
    {
        for (CVtrRule* rule : m_rules)
            Release(rule);
        UnloadAllModules(m_app.Modules());
    }

    // A protected rule file of n rules, written once and then reused.
    const QString& File(int n)
    {
        auto found = m_files.find(n);
        if (found != m_files.end())
            return found->second;
        CVTRFileDetails record = Record(n);
        const QString path = m_folder + QStringLiteral("/rules_%1.vtr").arg(n);
        if (!WriteRuleFile(record, path, false)) {
            std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(path));
            std::abort();
        }
        return m_files.emplace(n, path).first->second;
    }
    // A protected record of n rules: the modules' rules repeated.
    CVTRFileDetails Record(int n)
    {
        CVTRFileDetails record;
        record.name = QStringLiteral("bench.vtr");
        record.createdBy = QStringLiteral("bench");
        record.createdOn = QStringLiteral("07/04/2026 13:05:09");
        record.passwordProtected = true;
        record.password = QStringLiteral("abc");
        for (int i = 0; i < n; ++i)
            record.AddRule(m_rules[static_cast<size_t>(i) % m_rules.size()]);
        return record;
    }
    QString Scratch() const { return m_folder + QStringLiteral("/scratch.vtr"); }
    void Release(CVtrRule*& rule)
    {
        if (PFN_DeleteRule del = m_deleters.value(rule->GetModulePath()))
            del(&rule);
    }

private:
    Fixture()
    {
        const QByteArray keep = qgetenv("VTRPRO_BENCH_KEEP_DIR");
        m_folder = keep.isEmpty() ? m_temp.path() : QString::fromLocal8Bit(keep);
        QDir().mkpath(m_folder);
        // Settings, log and the module list live in the scratch folder, never in the home folder.
        qputenv("VTRPRO_DATA_SETTINGS_DIR", (m_temp.path() + QStringLiteral("/settings/")).toLocal8Bit());
        qputenv("APPDATA", (m_temp.path() + QStringLiteral("/appdata")).toLocal8Bit());
        qputenv("VTR_PRO_DATABASE_DIR", (m_temp.path() + QStringLiteral("/db")).toLocal8Bit());
        qputenv("VTRPRO_MACHINE_ENVIRONMENT_FILE", (m_temp.path() + QStringLiteral("/environment")).toLocal8Bit());
        LoadAllModules(m_app.Modules());
        PtrArray& loaded = m_app.Modules().loadedRuleModules;
        for (int32_t i = 0; i < loaded.GetSize(); ++i) {
            void* handle = loaded.GetAt(i);
            const QString path = VtrLibrary::FileName(handle);
            m_deleters.insert(
                path, reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)));
            QList<CVtrRule*> rules;
            if (!FetchAllRules(handle, rules))
                continue;
            for (CVtrRule* rule : rules) {
                rule->SetModulePath(path);
                m_rules.push_back(rule);
            }
        }
        if (m_rules.empty()) {
            std::fprintf(stderr, "no rule module could be loaded from the program folder\n");
            std::abort();
        }
    }

    QTemporaryDir m_temp;
    QString m_folder;
    AppContext m_app;
    QHash<QString, PFN_DeleteRule> m_deleters;
    std::vector<CVtrRule*> m_rules;
    std::map<int, QString> m_files;
};

void SetCounters(benchmark::State& state, const QString& path)
{
    const auto bytes = QFileInfo(path).size();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    state.counters["rules"] = static_cast<double>(state.range(0));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_WriteRuleFile(benchmark::State& state)
{
    Fixture& f = Fixture::Get();
    CVTRFileDetails record = f.Record(static_cast<int>(state.range(0)));
    const QString path = f.Scratch();
    for (auto _ : state)
        if (!WriteRuleFile(record, path, false))
            state.SkipWithError("write failed");
    SetCounters(state, path);
}

void BM_ReadRuleFile(benchmark::State& state)
{
    Fixture& f = Fixture::Get();
    const QString path = f.File(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CVTRFileDetails record;
        if (!ReadRuleFile(record, path) || record.RuleCount() != state.range(0))
            state.SkipWithError("read failed");
        state.PauseTiming();
        for (CVtrRule*& rule : record.Rules())
            f.Release(rule);
        state.ResumeTiming();
    }
    SetCounters(state, path);
}

void BM_VerifyRuleFile(benchmark::State& state)
{
    Fixture& f = Fixture::Get();
    const QString path = f.File(static_cast<int>(state.range(0)));
    for (auto _ : state)
        if (VerifyRuleFileFingerprint(path) != FingerprintStatus::Matches)
            state.SkipWithError("fingerprint does not match");
    SetCounters(state, path);
}

// What parsing alone costs, for comparison with the three above.
void BM_BarePugixmlParse(benchmark::State& state)
{
    Fixture& f = Fixture::Get();
    const QString path = f.File(static_cast<int>(state.range(0)));
    const QByteArray native = path.toLocal8Bit();
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_file(native.constData()))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(doc.document_element());
    }
    SetCounters(state, path);
}
} // namespace

BENCHMARK(BM_WriteRuleFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRuleFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyRuleFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePugixmlParse)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
