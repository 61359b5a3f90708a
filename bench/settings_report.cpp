// Opening the rule list's context menu over many selected rows: both rule
// files are read once and every selected rule's settings are listed and
// digested against its defaults. Sizes of 1,000 and 10,000 rows (and rules
// in each file) show whether the cost stays linear.

#include "ConcreteVTRRule.h"
#include "views/ResetToDefault.h"
#include "views/RuleSettingsReport.h"

#include <map>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

struct Files
{
    QString saved;
    QString defaults;
    std::vector<std::unique_ptr<ConcreteVTRRule>> rules;
    QList<CVtrRule*> selected;
};

QByteArray RuleElement(int i, bool changed)
{
    const QByteArray n = QByteArray::number(i);
    return "  <Rule Name=\"Bench Rule " + n + "\" RuleCategory=\"Category " + QByteArray::number(i % 12)
        + "\" Severity=\"2\" RuleModule=\"Bench\" Selected=\"1\">\n"
          "    <Parameter Type=\"1\" Status=\"1\"><Operator>&gt;=</Operator><ParameterType>Double</ParameterType>"
          "<Value Attribute1=\"a\">"
        + (changed ? QByteArray("9") : n) + "</Value><Value>2.5</Value><Recom>3</Recom></Parameter>\n"
        + "    <Constraint Type=\"Material\" Value=\"Steel\"><Parameter Type=\"2\" Status=\"1\"><Value>1</Value>"
          "</Parameter></Constraint>\n  </Rule>\n";
}

bool Write(const QString& path, int n, bool changeEveryTenth)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("<?xml version=\"1.0\"?>\n<VTRExpress Name=\"b\" Createdby=\"b\" CreatedOn=\"\" Unit=\"0\" "
            "AngularUnit=\"0\" Version=\"v3.4\">\n");
    for (int i = 0; i < n; ++i)
        f.write(RuleElement(i, changeEveryTenth && i % 10 == 0));
    f.write("</VTRExpress>\n");
    return true;
}

Files& FilesFor(int n)
{
    static QTemporaryDir dir;
    static std::map<int, Files> made;
    auto found = made.find(n);
    if (found != made.end())
        return found->second;
    Files& files = made[n];
    files.saved = dir.filePath(QStringLiteral("saved_%1.vtr").arg(n));
    files.defaults = dir.filePath(QStringLiteral("defaults_%1.vtr").arg(n));
    Write(files.saved, n, true);
    Write(files.defaults, n, false);
    for (int i = 0; i < n; ++i) {
        auto rule = std::make_unique<ConcreteVTRRule>();
        rule->SetRuleName(QStringLiteral("Bench Rule %1").arg(i));
        rule->SetRuleCategory(QStringLiteral("Category %1").arg(i % 12));
        files.selected.append(rule.get());
        files.rules.push_back(std::move(rule));
    }
    return files;
}

void BM_ContextMenuComparison(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Files& files = FilesFor(n);
    for (auto _ : state) {
        const bool enabled = MarkRulesThatDiffer(files.saved, files.defaults, files.selected);
        benchmark::DoNotOptimize(enabled);
        if (!enabled)
            state.SkipWithError("no rule was found different");
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ContextMenuComparison)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The two parts of it: reading and indexing both files, then listing and
// digesting every selected rule against files already read.
void BM_LoadBothFiles(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Files& files = FilesFor(n);
    for (auto _ : state) {
        RuleSettingsReport report;
        benchmark::DoNotOptimize(report.Load(files.saved, files.defaults));
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_LoadBothFiles)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CompareLoadedRules(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Files& files = FilesFor(n);
    RuleSettingsReport report;
    if (!report.Load(files.saved, files.defaults))
        state.SkipWithError("the files cannot be read");
    for (auto _ : state) {
        int differing = 0;
        for (const CVtrRule* rule : files.selected)
            differing += report.Compare(rule->GetRuleName(), rule->GetRuleCategory()) == SettingsVerdict::Differs;
        benchmark::DoNotOptimize(differing);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CompareLoadedRules)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
