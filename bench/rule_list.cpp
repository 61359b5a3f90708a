// The rule list with big documents: opening a generated rule file into a
// list (reader, fill and matching, without windows), ticking every row,
// one tick, sorting by each column and searching. Rules come from the
// shipped sheet-metal module, asked for its rules as often as needed and
// renamed so that every rule is distinct.

#include "VtrLibrary.h"
#include "VtrProLog.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <malloc.h>

#include <QDir>
#include <QFile>
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
            std::fprintf(stderr, "rule_list: %s is not loaded\n", qUtf8Printable(kModuleFile));
    }
    QTemporaryDir dir;
    AppContext app;
    QString modulePath;
    std::map<int, QString> files;
};

Environment& Env()
{
    static Environment env;
    return env;
}

// The sheet-metal module, asked until it has given `count` distinct rules.
class ManyRulesSource : public AppModuleRuleSource
{
public:
    explicit ManyRulesSource(int count)
        : m_count(count)
    { }
    QStringList RuleModulePaths() const override { return { Env().modulePath }; }
    QStringList InstalledModulePaths() const override { return {}; }
    QStringList ConfiguredModules() const override { return { Env().modulePath }; }
    bool LoadRules(const QString& path, QList<CVtrRule*>& rules, QString& moduleName) override
    {
        int made = 0;
        int round = 0;
        while (made < m_count) {
            QList<CVtrRule*> batch;
            if (!AppModuleRuleSource::LoadRules(path, batch, moduleName) || batch.isEmpty())
                return made > 0;
            for (CVtrRule* rule : batch) {
                if (made >= m_count) {
                    m_extra.append(rule);
                    continue;
                }
                const QString suffix = QStringLiteral(" #%1").arg(round);
                rule->SetRuleName(rule->GetRuleName() + suffix);
                rule->SetDisplayName(rule->GetDisplayName() + suffix);
                rules.append(rule);
                ++made;
            }
            ++round;
        }
        return true;
    }
    // Rules asked for beyond the count, released with the list.
    QList<CVtrRule*> m_extra;

private:
    int m_count;
};

// A document and its list with `count` module rules, none ticked.
struct ListFixture
{
    explicit ListFixture(int count)
    {
        doc.OnNewDocument();
        auto src = std::make_unique<ManyRulesSource>(count);
        source = src.get();
        list = std::make_unique<RuleListController>(&doc, std::move(src));
        link = std::make_unique<RuleListDocLink>(list.get());
        list->Fill(false, false);
    }
    ~ListFixture()
    {
        for (CVtrRule* rule : source->m_extra) {
            CVtrRule* r = rule;
            doc.DeleteRule(r);
        }
        doc.OnCloseDocument();
    }
    CVTRRuleBuilderDoc doc;
    ManyRulesSource* source = nullptr;
    std::unique_ptr<RuleListController> list;
    std::unique_ptr<RuleListDocLink> link;
};

// A rule file of `count` rules of the module, every one ticked.
QString RuleFileOf(int count)
{
    Environment& env = Env();
    auto it = env.files.find(count);
    if (it != env.files.end())
        return it->second;
    const QString path = env.dir.path() + QStringLiteral("/rules-%1.vtr").arg(count);
    {
        ListFixture fixture(count);
        for (int r = 0; r < fixture.list->Model()->RowCount(); ++r)
            fixture.list->SetChecked(r, true);
        fixture.doc.OnSaveDocument(path);
    }
    env.files[count] = path;
    return path;
}

// Bytes the heap has handed out and not had back. Unlike the resident size
// it does not depend on whether freed memory of earlier rounds is reused.
double HeapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd);
}

// Empties the log file once it has grown past limit bytes (the program
// keeps appending to it).
void StartLogAfresh(qint64 limit)
{
    CVtrProLog::Flush();
    if (QFileInfo(CVtrProLog::LogFilePath()).size() > limit)
        QFile::resize(CVtrProLog::LogFilePath(), 0);
}

void BM_OpenFileIntoList(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const QString path = RuleFileOf(count);
    const double fileSize = static_cast<double>(QFileInfo(path).size());
    double held = 0;
    int matched = 0;
    int rows = 0;
    bool modified = false;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = HeapBytesInUse();
        auto doc = std::make_unique<CVTRRuleBuilderDoc>();
        auto source = std::make_unique<ManyRulesSource>(count);
        ManyRulesSource* raw = source.get();
        state.ResumeTiming();
        doc->OnOpenDocument(path);
        auto list = std::make_unique<RuleListController>(doc.get(), std::move(source));
        auto link = std::make_unique<RuleListDocLink>(list.get());
        list->Fill(true, true);
        list->SortByColumn(0);
        state.PauseTiming();
        matched = list->SelectedCount();
        rows = list->Model()->RowCount();
        modified = doc->IsModified();
        held = std::max(held, HeapBytesInUse() - before);
        // Closing is not part of opening: the list releases its rules and
        // the document its own outside the measured time.
        for (CVtrRule* rule : raw->m_extra) {
            CVtrRule* r = rule;
            doc->DeleteRule(r);
        }
        link.reset();
        list.reset();
        doc->OnCloseDocument();
        doc.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["matched"] = matched;
    // The module's product rules from the configurator come on top of the count.
    if (matched != rows || rows < count || modified)
        state.SkipWithError("the file's rules did not all match");
    state.counters["file_MB"] = fileSize / 1e6;
    // What the document and its list hold, against the file's size.
    state.counters["heap_per_file_byte"] = held / fileSize;
}
BENCHMARK(BM_OpenFileIntoList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What parsing alone costs for the file BM_OpenFileIntoList opens.
void BM_BareParseOfListFile(benchmark::State& state)
{
    const QByteArray native = RuleFileOf(static_cast<int>(state.range(0))).toLocal8Bit();
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_file(native.constData()))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(doc.document_element());
    }
}
BENCHMARK(BM_BareParseOfListFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TickAll(benchmark::State& state)
{
    ListFixture fixture(static_cast<int>(state.range(0)));
    RuleListController& list = *fixture.list;
    const int rows = list.Model()->RowCount();
    QList<int> all(rows);
    for (int r = 0; r < rows; ++r)
        all[r] = r;
    // The first round also remembers where every rule went in the
    // document's list (see BM_FirstActions).
    list.SetCheckedRows(all, true);
    list.SetCheckedRows(all, false);
    bool on = true;
    for (auto _ : state) {
        // Ctrl+A then space.
        list.SetCheckedRows(all, on);
        on = !on; // the next round unticks all: the same work the other way
        // Every round logs a line per row. The log is emptied now and then:
        // a log of many gigabytes would measure the disk's write-back, and
        // emptying it every round would keep rewriting the same few pages,
        // still in cache, which a real log never does.
        state.PauseTiming();
        StartLogAfresh(64 << 20);
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_TickAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TickOne(benchmark::State& state)
{
    ListFixture fixture(static_cast<int>(state.range(0)));
    RuleListController& list = *fixture.list;
    const int rows = list.Model()->RowCount();
    for (int r = 0; r < rows; ++r)
        list.SetChecked(r, true);
    const int row = rows / 2;
    for (auto _ : state) {
        list.SetChecked(row, false);
        list.SetChecked(row, true);
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_TickOne)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_SortByColumn(benchmark::State& state)
{
    ListFixture fixture(static_cast<int>(state.range(0)));
    RuleListController& list = *fixture.list;
    for (int r = 0; r < list.Model()->RowCount(); r += 3)
        list.SetChecked(r, true);
    const int column = static_cast<int>(state.range(1));
    // The first sort by a text column also puts its distinct texts in order,
    // once; BM_FirstActions measures that. Left in the loop, it would be
    // shared out over ten times fewer rounds at 100,000 rows than at 10,000.
    list.SortByColumn(column);
    for (auto _ : state)
        list.SortByColumn(column);
    state.counters["rows"] = list.Model()->RowCount();
}
BENCHMARK(BM_SortByColumn)->ArgsProduct({ { 10000, 100000 }, { 0, 1, 2, 3 } })->Unit(benchmark::kMillisecond);

void BM_Search(benchmark::State& state)
{
    ListFixture fixture(static_cast<int>(state.range(0)));
    RuleListController& list = *fixture.list;
    const QString texts[] = { QStringLiteral("flange"), QStringLiteral("hole") };
    // The first search also keeps the full row set and lower-cases every
    // text once (see BM_FirstActions).
    list.Search(texts[1]);
    int i = 0;
    for (auto _ : state) {
        // A new text brings every rule back first, then filters.
        list.Search(texts[i++ % 2]);
    }
    state.counters["rows_left"] = list.Model()->RowCount();
}
BENCHMARK(BM_Search)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The filter bar as one types and deletes: every key press filters every
// rule again (name, category, module and, where those miss, the custom
// message), keeping the search's rows and the sort.
void BM_FilterBarTyping(benchmark::State& state)
{
    ListFixture fixture(static_cast<int>(state.range(0)));
    RuleListController& list = *fixture.list;
    const QString typed[] = { QStringLiteral("h"), QStringLiteral("ho"), QStringLiteral("hol"), QStringLiteral("hole"),
        QStringLiteral("hol"), QStringLiteral("ho") };
    RuleListFilter filter;
    // The first filter keeps the full row set and asks for each rule's
    // message once (see BM_FirstActions for first costs).
    filter.text = QStringLiteral("zz");
    list.SetFilter(filter);
    int i = 0;
    for (auto _ : state) {
        filter.text = typed[i++ % 6];
        list.SetFilter(filter);
    }
    state.counters["rows"] = list.UnfilteredRowCount();
}
BENCHMARK(BM_FilterBarTyping)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// What a user meets first in a freshly filled list: ticking every row
// (nothing remembered yet), the first sort by name (the names are put in
// order) and the first search (texts lower-cased, full row set kept).
enum class FirstAction { TickAll, SortByName, Search };

// Pushes the list out of the processor's caches, as the seconds between
// filling a list and a user's first action do. Without it, the list that
// was just built would still be in cache at 10,000 rules and not at
// 100,000, and the smaller size would be measured warm.
void EvictCaches()
{
    static std::vector<unsigned char> other(size_t(128) << 20);
    for (size_t i = 0; i < other.size(); i += 64)
        other[i] = static_cast<unsigned char>(other[i] + 1);
    benchmark::DoNotOptimize(other.data());
}

void BM_FirstActions(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const auto action = static_cast<FirstAction>(state.range(1));
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto fixture = std::make_unique<ListFixture>(count);
        RuleListController& list = *fixture->list;
        rows = list.Model()->RowCount();
        QList<int> all(rows);
        for (int r = 0; r < rows; ++r)
            all[r] = r;
        StartLogAfresh(64 << 20);
        EvictCaches();
        state.ResumeTiming();
        switch (action) {
        case FirstAction::TickAll:
            list.SetCheckedRows(all, true);
            break;
        case FirstAction::SortByName:
            list.SortByColumn(0);
            break;
        case FirstAction::Search:
            list.Search(QStringLiteral("hole"));
            break;
        }
        state.PauseTiming();
        fixture.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_FirstActions)
    ->ArgsProduct({ { 10000, 100000 }, { 0, 1, 2 } })
    ->ArgNames({ "rules", "tick_sort_search" })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace
