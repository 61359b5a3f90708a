// Custom messages of the product database: the rule list asks for the
// message of every listed rule (up to 100,000), so the first lookup loads all
// messages into a hash and later lookups must not depend on how many exist.

#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A database folder of its own holding count messages, and the module's collector over it.
class MessageDatabase
{
public:
    explicit MessageDatabase(int count)
    {
        qputenv("VTR_PRO_DATABASE_DIR", QFile::encodeName(m_dir.path()));
        void* library
            = VtrLibrary::Load(CVTRFrameWrkUtils::GetProgramFolder() + QStringLiteral("/VtrSqliteDatabaseu.so"));
        auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(library, "GetDbInterface"));
        m_delete = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(library, "DeleteDbInterface"));
        if (!get || !m_delete)
            return;
        m_collector = get();
        m_collector->Initialize(); // creates the schema
        m_collector->Release();
        Fill(count);
    }
    ~MessageDatabase()
    {
        if (m_collector)
            m_delete(m_collector);
        qunsetenv("VTR_PRO_DATABASE_DIR");
    }
    vtr_db::IDatabaseCollector* Collector() const { return m_collector; }

private:
    // One bulk transaction: building the fixture is not what is measured.
    void Fill(int count)
    {
        sqlite3* db = nullptr;
        const QByteArray file = QFile::encodeName(m_dir.path() + QStringLiteral("/VTRProDatabase.sqlite"));
        sqlite3_open(file.constData(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO CustomMessages VALUES (?1, ?2, ?3, ?4)", -1, &s, nullptr);
        for (int i = 0; i < count; ++i) {
            const QByteArray name = RuleName(i).toUtf8();
            const QByteArray message = QByteArray("Check with the shop before release, rule ") + QByteArray::number(i);
            sqlite3_bind_int(s, 1, 20000 + i);
            sqlite3_bind_text(s, 2, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 3, "Milling", -1, SQLITE_STATIC);
            sqlite3_bind_text(s, 4, message.constData(), static_cast<int>(message.size()), SQLITE_TRANSIENT);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    QTemporaryDir m_dir;
    vtr_db::IDatabaseCollector* m_collector = nullptr;
    PFN_DeleteDbInterface m_delete = nullptr;

public:
    static QString RuleName(int i) { return QStringLiteral("Minimum Wall Thickness %1").arg(i); }
};

// Filling the rule list: one lookup per rule on a freshly released database,
// so the cache is built once and each rule after that is a hash lookup.
void BM_ListAllMessages(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    MessageDatabase database(count);
    vtr_db::IDatabaseCollector* collector = database.Collector();
    if (!collector) {
        state.SkipWithError("database module not found");
        return;
    }
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << MessageDatabase::RuleName(i);
    const QString category = QStringLiteral("Milling");
    for (auto _ : state) {
        collector->Release();
        int found = 0;
        QString message;
        for (int i = 0; i < count; ++i)
            found += collector->GetCustomMessage(20000 + i, names[i], category, message) ? 1 : 0;
        if (found != count)
            state.SkipWithError("messages missing");
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetComplexityN(count);
}
BENCHMARK(BM_ListAllMessages)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity();

// One lookup once the cache is built: independent of the number of messages.
void BM_LookupOneMessage(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    MessageDatabase database(count);
    vtr_db::IDatabaseCollector* collector = database.Collector();
    if (!collector) {
        state.SkipWithError("database module not found");
        return;
    }
    const QString name = MessageDatabase::RuleName(count / 2);
    const QString category = QStringLiteral("Milling");
    QString message;
    collector->GetCustomMessage(20000 + count / 2, name, category, message);
    for (auto _ : state)
        benchmark::DoNotOptimize(collector->GetCustomMessage(20000 + count / 2, name, category, message));
}
BENCHMARK(BM_LookupOneMessage)->RangeMultiplier(10)->Range(1000, 100000);

// Storing one message: one write transaction, as an in-place edit does.
void BM_AddMessage(benchmark::State& state)
{
    MessageDatabase database(static_cast<int>(state.range(0)));
    vtr_db::IDatabaseCollector* collector = database.Collector();
    if (!collector) {
        state.SkipWithError("database module not found");
        return;
    }
    const QString name = MessageDatabase::RuleName(1);
    const QString category = QStringLiteral("Milling");
    int i = 0;
    for (auto _ : state)
        if (collector->AddCustomMessage(20001, name, category, QStringLiteral("edited %1").arg(++i)) != 0)
            state.SkipWithError("add failed");
}
BENCHMARK(BM_AddMessage)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
