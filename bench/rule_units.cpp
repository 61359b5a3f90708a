// Changing a document's rule input units: every listed rule converts its
// values (update hint 3) and the all-rules file is written again. Rules come
// from the shipped sheet-metal module, asked for as often as needed.

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "settings/RuleInputUnits.h"
#include "views/RuleListController.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString kModuleFile = QStringLiteral("VtrSMRulesu.so");

// The application with every module loaded, in a temporary settings folder.
struct Environment
{
    Environment()
    {
        qputenv("VTRPRO_DATA_SETTINGS_DIR", (dir.path() + "/settings/").toLocal8Bit());
        qputenv("APPDATA", (dir.path() + "/appdata").toLocal8Bit());
        qputenv("VTR_PRO_DATABASE_DIR", (dir.path() + "/db").toLocal8Bit());
        qputenv("VTRPRO_MACHINE_ENVIRONMENT_FILE", (dir.path() + "/environment").toLocal8Bit());
        QDir().mkpath(dir.path() + "/settings");
        QDir().mkpath(dir.path() + "/appdata");
        LoadAllModules(app.Modules());
        const PtrArray& loaded = app.Modules().loadedRuleModules;
        for (int32_t i = 0; i < loaded.GetSize(); ++i)
            if (QFileInfo(VtrLibrary::FileName(loaded.GetAt(i))).fileName() == kModuleFile)
                modulePath = VtrLibrary::FileName(loaded.GetAt(i));
        if (modulePath.isEmpty())
            std::fprintf(stderr, "rule_units: %s is not loaded\n", qUtf8Printable(kModuleFile));
    }
    QTemporaryDir dir;
    AppContext app;
    QString modulePath;
};

Environment& Env()
{
    static Environment env;
    return env;
}

// The sheet-metal module's rules, half of them as installed-module rules
// (which go to the all-rules file), repeated up to `count` rules in all.
class ManyRulesSource : public AppModuleRuleSource
{
public:
    explicit ManyRulesSource(int count)
        : m_count(count)
    { }
    QStringList RuleModulePaths() const override { return { Env().modulePath }; }
    QStringList InstalledModulePaths() const override { return { Env().modulePath }; }
    QStringList ConfiguredModules() const override { return { Env().modulePath }; }
    bool LoadRules(const QString& path, QList<CVtrRule*>& rules, QString& moduleName) override
    {
        const int wanted = m_count / 2;
        int made = 0;
        for (int round = 0; made < wanted; ++round) {
            QList<CVtrRule*> batch;
            if (!AppModuleRuleSource::LoadRules(path, batch, moduleName) || batch.isEmpty())
                return made > 0;
            for (CVtrRule* rule : batch) {
                if (made >= wanted) {
                    m_extra.append(rule);
                    continue;
                }
                const QString suffix = QStringLiteral(" #%1").arg(round);
                rule->SetRuleName(rule->GetRuleName() + suffix);
                rule->SetDisplayName(rule->GetDisplayName() + suffix);
                rules.append(rule);
                ++made;
            }
        }
        return true;
    }
    QList<CVtrRule*> m_extra;

private:
    int m_count;
};

void BM_ChangeUnits(benchmark::State& state)
{
    Env();
    const int count = static_cast<int>(state.range(0));
    CVTRRuleBuilderDoc doc;
    doc.OnNewDocument();
    auto src = std::make_unique<ManyRulesSource>(count);
    ManyRulesSource* source = src.get();
    {
        RuleListController list(&doc, std::move(src));
        RuleListDocLink link(&list);
        list.InitialUpdate();
        // 0: the rules convert, as the command-line tool does; 1: the
        // all-rules file is written too, as in the program.
        list.SetWritesAllRulesFile(state.range(1) != 0);
        const RuleUnits units[] = { { 3, 3 }, { 0, 0 } };
        int n = 0;
        for (auto _ : state)
            RuleInputUnits::Apply(doc, units[n++ % 2]);
        state.counters["rules"] = static_cast<double>(list.Pool().Size() + list.InstalledRules().size());
        for (CVtrRule* rule : source->m_extra) {
            CVtrRule* r = rule;
            doc.DeleteRule(r);
        }
        doc.OnCloseDocument();
    }
}
BENCHMARK(BM_ChangeUnits)->ArgsProduct({ { 1000, 10000 }, { 0, 1 } })->Unit(benchmark::kMillisecond);

} // namespace
