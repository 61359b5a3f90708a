// The product database on a PostgreSQL server: importing a sheet of 100,000
// custom messages beside psql's \copy of the same rows into the same table
// on the same server, and filling the rule list's messages from 10,000
// stored rows beside the SQLite module. The benchmark starts a server of
// its own with tests/support/pg-test-server.sh (Unix socket, no TCP).

#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrDatabaseServer.h"
#include "VtrLibrary.h"

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The server, started on first use and stopped at exit.
class Server
{
public:
    static Server& Get()
    {
        static Server server;
        return server;
    }
    ~Server() { Run(QStringLiteral("stop")); }
    bool Ok() const { return m_ok; }
    QString Connection(const QString& database) const
    {
        return QStringLiteral("host=%1 user=vtrpro_test dbname=%2").arg(m_dir, database);
    }
    // A new, empty database; its connection string.
    QString NewDatabase()
    {
        const QString name = QStringLiteral("bench_%1").arg(++m_count);
        PGconn* conn = PQconnectdb(Connection(QStringLiteral("postgres")).toUtf8().constData());
        PGresult* r = PQexec(conn, ("CREATE DATABASE " + name + " TEMPLATE template0").toUtf8().constData());
        const bool made = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!made)
            std::fprintf(stderr, "cannot create %s: %s", qPrintable(name), PQerrorMessage(conn));
        PQclear(r);
        PQfinish(conn);
        return made ? Connection(name) : QString();
    }

private:
    Server()
    {
        m_dir = m_root.path() + QStringLiteral("/pg");
        m_ok = Run(QStringLiteral("start"));
    }
    bool Run(const QString& action)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(VTRPRO_PG_TEST_SERVER), { action, m_dir });
        return p.waitForFinished(120000) && p.exitCode() == 0;
    }

    QTemporaryDir m_root;
    QString m_dir;
    bool m_ok = false;
    int m_count = 0;
};

// A database module's collector, made by its own exports.
class Module
{
public:
    explicit Module(const char* file)
    {
        void* library
            = VtrLibrary::Load(CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + QLatin1String(file));
        auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(library, "GetDbInterface"));
        m_delete = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(library, "DeleteDbInterface"));
        if (get && m_delete)
            m_collector = get();
    }
    ~Module()
    {
        if (m_collector)
            m_delete(m_collector);
    }
    vtr_db::IDatabaseCollector* operator->() const { return m_collector; }
    explicit operator bool() const { return m_collector != nullptr; }

private:
    vtr_db::IDatabaseCollector* m_collector = nullptr;
    PFN_DeleteDbInterface m_delete = nullptr;
};

QString RuleName(int i)
{
    return QStringLiteral("Minimum Wall Thickness %1").arg(i);
}

QList<vtr_db::CustomMessageRecord> Sheet(int rows)
{
    QList<vtr_db::CustomMessageRecord> sheet;
    sheet.reserve(rows);
    for (int i = 0; i < rows; ++i)
        sheet.append({ 20000 + i, RuleName(i), QStringLiteral("Milling"),
            QStringLiteral("Check with the shop before release, rule %1").arg(i) });
    return sheet;
}

constexpr int kImportRows = 100000;
constexpr int kListRows = 10000;

// A fresh database with the module's schema, named in VTRPRO_DATABASE_URL.
bool FreshDatabase(Module& module)
{
    const QString connection = Server::Get().NewDatabase();
    if (connection.isEmpty())
        return false;
    qputenv(vtr_db::kDatabaseUrlVariable, connection.toUtf8());
    module->Release();
    return module->Initialize() == 0;
}

void BM_PostgresImportSheet(benchmark::State& state)
{
    if (!Server::Get().Ok()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    Module module("VtrPostgresDatabaseu.so");
    const QList<vtr_db::CustomMessageRecord> sheet = Sheet(kImportRows);
    for (auto _ : state) {
        state.PauseTiming();
        const bool fresh = FreshDatabase(module);
        state.ResumeTiming();
        if (!fresh || module->AddCustomMessages(sheet) != 0) {
            state.SkipWithError("the import failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kImportRows);
}
BENCHMARK(BM_PostgresImportSheet)->Unit(benchmark::kMillisecond)->Iterations(5);

// psql's \copy of the same rows into the same table: the floor the import
// is measured against.
void BM_PsqlCopySheet(benchmark::State& state)
{
    if (!Server::Get().Ok()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/sheet.tsv");
    {
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        for (const vtr_db::CustomMessageRecord& r : Sheet(kImportRows))
            out.write(QStringLiteral("%1\t%2\t%3\t%4\n").arg(r.helpId).arg(r.ruleName, r.category, r.message).toUtf8());
    }
    Module module("VtrPostgresDatabaseu.so");
    for (auto _ : state) {
        state.PauseTiming();
        const bool fresh = FreshDatabase(module);
        const QString connection = qEnvironmentVariable(vtr_db::kDatabaseUrlVariable);
        state.ResumeTiming();
        QProcess p;
        p.start(psql,
            { connection, QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-c"),
                QStringLiteral("\\copy CustomMessages (HelpId, RuleName, Category, Message) FROM '%1'").arg(file) });
        if (!fresh || !p.waitForFinished(120000) || p.exitCode() != 0) {
            state.SkipWithError("psql failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kImportRows);
}
BENCHMARK(BM_PsqlCopySheet)->Unit(benchmark::kMillisecond)->Iterations(5);

// Filling the rule list: released first (as after an editor closes), then
// one lookup per listed rule.
void FillList(benchmark::State& state, Module& module)
{
    for (auto _ : state) {
        module->Release();
        int found = 0;
        QString message;
        for (int i = 0; i < kListRows; ++i)
            found += module->GetCustomMessage(20000 + i, RuleName(i), QStringLiteral("Milling"), message) ? 1 : 0;
        if (found != kListRows) {
            state.SkipWithError("messages are missing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kListRows);
}

void BM_PostgresFillList(benchmark::State& state)
{
    if (!Server::Get().Ok()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    Module module("VtrPostgresDatabaseu.so");
    if (!FreshDatabase(module) || module->AddCustomMessages(Sheet(kListRows)) != 0) {
        state.SkipWithError("cannot fill the database");
        return;
    }
    FillList(state, module);
}
BENCHMARK(BM_PostgresFillList)->Unit(benchmark::kMillisecond);

// What filling the list after a release spends on connecting alone.
void BM_PostgresConnect(benchmark::State& state)
{
    if (!Server::Get().Ok()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    Module module("VtrPostgresDatabaseu.so");
    if (!FreshDatabase(module)) {
        state.SkipWithError("cannot make the database");
        return;
    }
    for (auto _ : state) {
        module->Release();
        if (!module->IsConnected()) {
            state.SkipWithError("cannot connect");
            break;
        }
    }
}
BENCHMARK(BM_PostgresConnect)->Unit(benchmark::kMillisecond);

void BM_SqliteFillList(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("VTR_PRO_DATABASE_DIR", QFile::encodeName(dir.path()));
    Module module("VtrSqliteDatabaseu.so");
    if (module->AddCustomMessages(Sheet(kListRows)) != 0) {
        state.SkipWithError("cannot fill the database");
        return;
    }
    FillList(state, module);
    qunsetenv("VTR_PRO_DATABASE_DIR");
}
BENCHMARK(BM_SqliteFillList)->Unit(benchmark::kMillisecond);

} // namespace
