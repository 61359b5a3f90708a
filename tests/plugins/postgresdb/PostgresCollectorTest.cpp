// What the PostgreSQL module does beyond the contract both modules keep:
// connecting (and not), a server made by a newer build, the server going
// away mid-change, seeing other seats' changes, row versions of the product
// editors, the change log, status, and copying contents in.

#include "ChangeLogText.h"
#include "DatabaseSchema.h"
#include "PostgresTestDatabase.h"
#include "TestSupport.h"
#include "VTRDataHelper.h"
#include "VtrDatabaseServer.h"
#include "VtrLibrary.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <thread>

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

namespace {

// Collectors made by the built module's own exports.
class PostgresModule
{
public:
    PostgresModule()
    {
        m_handle = VtrLibrary::Load(BinDir() + QStringLiteral("/VtrPostgresDatabaseu.so"));
        if (!m_handle)
            return;
        m_get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(m_handle, "GetDbInterface"));
        m_delete = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(m_handle, "DeleteDbInterface"));
    }
    struct Deleter
    {
        PFN_DeleteDbInterface del;
        void operator()(vtr_db::IDatabaseCollector* c) const { del(c); }
    };
    using Collector = std::unique_ptr<vtr_db::IDatabaseCollector, Deleter>;
    Collector Create() const
    {
        EXPECT_TRUE(m_get && m_delete) << qPrintable(VtrLibrary::LastError());
        return Collector(m_get(), Deleter { m_delete });
    }
    void* Handle() const { return m_handle; }

private:
    void* m_handle = nullptr;
    PFN_GetDbInterface m_get = nullptr;
    PFN_DeleteDbInterface m_delete = nullptr;
};

const PostgresModule& Module()
{
    static PostgresModule module;
    return module;
}

// A plain connection of the test's own, to look at and change the server
// behind the module's back.
class Peer
{
public:
    explicit Peer(const QString& connection)
        : m_conn(PQconnectdb(connection.toUtf8().constData()))
    {
        EXPECT_EQ(PQstatus(m_conn), CONNECTION_OK) << PQerrorMessage(m_conn);
    }
    ~Peer() { PQfinish(m_conn); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    // The first column of the first row, or "error: ..." when it failed.
    QString Query(const char* sql)
    {
        PGresult* r = PQexec(m_conn, sql);
        QString text;
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_TUPLES_OK && PQntuples(r) > 0)
            text = QString::fromUtf8(PQgetvalue(r, 0, 0));
        else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            text = QStringLiteral("error: ") + QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
        return text;
    }

private:
    PGconn* m_conn;
};

class PostgresCollector : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = NewPostgresDatabase(QStringLiteral("pgmod"));
        ASSERT_FALSE(database.isEmpty());
        env.Set(vtr_db::kDatabaseUrlVariable, database);
    }
    PostgresModule::Collector Create() const { return Module().Create(); }

    ScopedTestEnv env;
    QString database;
};

// ----------------------------------------------------------------- connecting

TEST_F(PostgresCollector, WithoutAServerNothingIsReadAndTheProblemSaysHowToSetOne)
{
    env.Set(vtr_db::kDatabaseUrlVariable, QString());
    auto db = Create();
    EXPECT_EQ(db->Initialize(), -1);
    EXPECT_FALSE(db->IsConnected());
    EXPECT_TRUE(db->ReadProblem().contains(QLatin1String("vtrpro-rules db connect"))) << qPrintable(db->ReadProblem());
    EXPECT_TRUE(db->ReadProblem().contains(QLatin1String(vtr_db::kDatabaseUrlVariable)));
    EXPECT_EQ(db->AddCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("m")), -1);
    QString message;
    EXPECT_FALSE(db->GetCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), message));
}

TEST_F(PostgresCollector, AServerThatIsAwayIsReportedWithoutItsPassword)
{
    const QString missing = QDir::cleanPath(env.Path(QStringLiteral("no-server")));
    const struct
    {
        const char* label;
        QString connection;
    } cases[] = {
        { "a URI with a password", QStringLiteral("postgresql://shop:S3cretPw@/vtrpro?host=%1").arg(missing) },
        { "key=value with a password",
            QStringLiteral("host=%1 dbname=vtrpro user=shop password=S3cretPw").arg(missing) },
        { "a quoted password", QStringLiteral("host=%1 dbname=vtrpro password='S3cret Pw'").arg(missing) },
        { "a string libpq cannot read", QStringLiteral("host=%1 password=S3cretPw bogus").arg(missing) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        env.Set(vtr_db::kDatabaseUrlVariable, c.connection);
        auto db = Create();
        EXPECT_EQ(db->Initialize(), -1);
        EXPECT_FALSE(db->IsConnected());
        EXPECT_EQ(db->AddCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("m")), -1);
        vtr_db::DatabaseStatus status;
        EXPECT_FALSE(db->ReadStatus(status));
        QString error;
        QList<vtr_db::ChangeRecord> log;
        EXPECT_FALSE(db->ReadChangeLog({}, log, error));
        for (const QString& text : { db->ReadProblem(), db->WriteProblem(), status.problem, status.location, error }) {
            EXPECT_FALSE(text.contains(QLatin1String("S3cret"))) << qPrintable(text);
        }
        EXPECT_FALSE(db->ReadProblem().isEmpty());
        EXPECT_FALSE(db->WriteProblem().isEmpty());
    }
    EXPECT_FALSE(ReadLog().contains(QLatin1String("S3cret")));
}

TEST_F(PostgresCollector, AServerThatFailedIsTriedAgainOnlyAfterARelease)
{
    // Each attempt is logged with the server's socket folder, named for this test alone.
    const QString missing = QDir::cleanPath(env.Path(QStringLiteral("away-%1").arg(::getpid())));
    env.Set(vtr_db::kDatabaseUrlVariable, QStringLiteral("host=%1 dbname=vtrpro").arg(missing));
    auto attempts = [&] { return ReadLog().count(missing); };
    const qsizetype before = attempts();
    auto db = Create();
    EXPECT_EQ(db->Initialize(), -1);
    const qsizetype once = attempts() - before;
    EXPECT_GT(once, 0);
    // The rule list asks once per rule.
    QString message;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(db->GetCustomMessage(i, QStringLiteral("R"), QStringLiteral("C"), message));
    QList<vtr_db::StoredUserRule> rules;
    EXPECT_FALSE(db->GetStoredUserRules(QStringLiteral("Mill"), rules));
    EXPECT_FALSE(db->IsConnected());
    EXPECT_EQ(attempts() - before, once);
    db->Release();
    EXPECT_FALSE(db->IsConnected());
    EXPECT_EQ(attempts() - before, 2 * once);
}

TEST_F(PostgresCollector, TheConnectionStringOverridesTheModulesDefaults)
{
    // The module's defaults (application_name, connect_timeout) stand
    // before the string, so what the string names itself wins.
    const struct
    {
        const char* label;
        QString extra;
        const char* applicationName;
    } cases[] = {
        { "the default", {}, "vtrpro" },
        { "named in the string", QStringLiteral(" application_name=seat7 connect_timeout=2"), "seat7" },
    };
    Peer peer(database);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        env.Set(vtr_db::kDatabaseUrlVariable, database + c.extra);
        auto db = Create();
        ASSERT_EQ(db->Initialize(), 0) << qPrintable(db->ReadProblem());
        // A connection released just before may linger a moment.
        QString name;
        for (int i = 0; i < 300 && name != QLatin1String(c.applicationName); ++i) {
            if (i)
                QThread::msleep(10);
            name = peer.Query("SELECT string_agg(application_name, ',') FROM pg_stat_activity"
                              " WHERE datname = current_database() AND pid <> pg_backend_pid()");
        }
        EXPECT_EQ(name, QLatin1String(c.applicationName));
        db->Release();
    }
}

TEST_F(PostgresCollector, ANewerSchemaIsReadButNeverAltered)
{
    {
        auto db = Create();
        ASSERT_EQ(db->Initialize(), 0);
        ASSERT_EQ(db->AddCustomMessage(7, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("old")), 0);
    }
    Peer peer(database);
    const QByteArray newer = QByteArray::number(vtr_db::kSchemaVersion + 1);
    ASSERT_EQ(peer.Query("UPDATE SchemaVersion SET Version = " + newer), QString());
    const QString tablesBefore = peer.Query("SELECT count(*) FROM information_schema.columns");

    auto db = Create();
    ASSERT_EQ(db->Initialize(), 0);
    EXPECT_EQ(db->GetSchemaVersion(), vtr_db::kSchemaVersion + 1);
    QString message;
    EXPECT_TRUE(db->GetCustomMessage(7, QStringLiteral("R"), QStringLiteral("C"), message));
    EXPECT_EQ(message, QStringLiteral("old"));
    EXPECT_EQ(db->AddCustomMessage(7, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("new")), -1);
    EXPECT_EQ(
        db->AddUserRule(QStringLiteral("Mill"), QStringLiteral("N"), QStringLiteral("C"), QStringLiteral("<x/>")), -1);
    EXPECT_TRUE(db->WriteProblem().contains(QLatin1String("newer"))) << qPrintable(db->WriteProblem());
    vtr_db::DatabaseStatus status;
    db->ReadStatus(status);
    EXPECT_TRUE(status.readOnly);
    EXPECT_EQ(peer.Query("SELECT Version FROM SchemaVersion"), QString::fromLatin1(newer));
    EXPECT_EQ(peer.Query("SELECT Message FROM CustomMessages"), QStringLiteral("old"));
    EXPECT_EQ(peer.Query("SELECT count(*) FROM information_schema.columns"), tablesBefore);
}

// ------------------------------------------------------- the server going away

TEST_F(PostgresCollector, AServerStoppedDuringAnImportKeepsNoneOfItAndTheNextImportWorks)
{
    // A server of this test's own, so stopping it disturbs no other test.
    const QString script = qEnvironmentVariable("VTRPRO_TEST_PG_SCRIPT");
    ASSERT_FALSE(script.isEmpty()) << "VTRPRO_TEST_PG_SCRIPT is not set: run through ctest";
    const QString dir = QDir::cleanPath(env.Path(QStringLiteral("pg")));
    auto run = [&](const QString& action) {
        QProcess p;
        p.start(script, { action, dir });
        p.waitForFinished(120000);
        return p.exitCode() == 0 ? QString() : QString::fromLocal8Bit(p.readAllStandardError());
    };
    ASSERT_EQ(run(QStringLiteral("start")), QString());
    struct Stop
    {
        std::function<QString(const QString&)> run;
        ~Stop() { run(QStringLiteral("stop")); }
    } stop { run };
    const QString server
        = QStringLiteral("host=%1 user=%2 dbname=postgres").arg(dir, qEnvironmentVariable("VTRPRO_TEST_PG_USER"));
    env.Set(vtr_db::kDatabaseUrlVariable, server);

    QList<vtr_db::CustomMessageRecord> sheet;
    for (int i = 0; i < 5000; ++i)
        sheet.append({ i, QStringLiteral("Rule %1").arg(i), QStringLiteral("General"), QStringLiteral("m %1").arg(i) });
    auto db = Create();
    ASSERT_EQ(db->Initialize(), 0) << qPrintable(db->ReadProblem());

    // A peer holds the messages table, so the import has logged its rows
    // and waits to write them when the server goes away.
    auto peer = std::make_unique<Peer>(server);
    ASSERT_EQ(peer->Query("BEGIN"), QString());
    ASSERT_EQ(peer->Query("LOCK TABLE CustomMessages IN EXCLUSIVE MODE"), QString());
    int32_t result = 0;
    std::thread importing([&] { result = db->AddCustomMessages(sheet); });
    Peer watcher(server);
    for (int i = 0; i < 1000; ++i) {
        if (watcher.Query("SELECT count(*) FROM pg_locks WHERE NOT granted") != QLatin1String("0"))
            break;
        QThread::msleep(10);
    }
    ASSERT_EQ(run(QStringLiteral("halt")), QString());
    importing.join();
    peer.reset();
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(db->WriteProblem().isEmpty());
    EXPECT_TRUE(
        db->WriteProblem().contains(QLatin1String("lost")) || db->WriteProblem().contains(QLatin1String("reached")))
        << qPrintable(db->WriteProblem());

    ASSERT_EQ(run(QStringLiteral("resume")), QString());
    {
        Peer after(server);
        EXPECT_EQ(after.Query("SELECT count(*) FROM CustomMessages"), QStringLiteral("0"));
        EXPECT_EQ(after.Query("SELECT count(*) FROM ChangeLog"), QStringLiteral("0"));
    }
    // The same collector, without a release: a change the user asks for
    // connects again.
    EXPECT_EQ(db->AddCustomMessages(sheet), 0) << qPrintable(db->WriteProblem());
    Peer after(server);
    EXPECT_EQ(after.Query("SELECT count(*) FROM CustomMessages"), QStringLiteral("5000"));
    db.reset();
}

TEST_F(PostgresCollector, AChangeCutOffByALostConnectionIsTriedOnceMore)
{
    auto db = Create();
    ASSERT_EQ(db->Initialize(), 0);
    Peer peer(database);
    const qsizetype retriesBefore = ReadLog().count(QLatin1String("trying once more"));
    // The server ends the module's session, as a restart or a network cut would.
    ASSERT_EQ(peer.Query("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity"
                         " WHERE datname = current_database() AND application_name = 'vtrpro'"),
        QStringLiteral("1"));
    EXPECT_EQ(db->AddCustomMessage(9, QStringLiteral("Lug"), QStringLiteral("Cast"), QStringLiteral("kept")), 0)
        << qPrintable(db->WriteProblem());
    EXPECT_EQ(peer.Query("SELECT Message FROM CustomMessages"), QStringLiteral("kept"));
    EXPECT_EQ(ReadLog().count(QLatin1String("trying once more")), retriesBefore + 1);
}

// ------------------------------------------------------------ other seats

TEST_F(PostgresCollector, AListSeesWhatAnotherSeatStoredWithoutARestart)
{
    auto mine = Create();
    auto theirs = Create();
    ASSERT_EQ(mine->Initialize(), 0);
    ASSERT_EQ(theirs->Initialize(), 0);
    QString message;
    EXPECT_FALSE(mine->GetCustomMessage(5, QStringLiteral("Hole"), QStringLiteral("Drill"), message));
    ASSERT_EQ(
        theirs->AddCustomMessage(5, QStringLiteral("Hole"), QStringLiteral("Drill"), QStringLiteral("theirs")), 0);
    ASSERT_EQ(theirs->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("Pocket"), QStringLiteral("Milling"),
                  QStringLiteral("<pocket/>")),
        0);
    // The notice travels on its own; the list asks again as it is filled.
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        seen = mine->GetCustomMessage(5, QStringLiteral("Hole"), QStringLiteral("Drill"), message);
        if (!seen)
            QThread::msleep(10);
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(message, QStringLiteral("theirs"));
    QStringList rules;
    ASSERT_TRUE(mine->GetUserRules(QStringLiteral("Mill"), rules));
    EXPECT_EQ(rules, QStringList { QStringLiteral("<pocket/>") });
}

// -------------------------------------------------- product rows and versions

vtr_db::ProductRow RowNamed(const QList<vtr_db::ProductRow>& rows, vtr_db::ProductTable table, const QString& name)
{
    const int column
        = vtr_db::ProductColumnIndex(table, table == vtr_db::ProductTable::Threads ? "Designation" : "Name");
    for (const vtr_db::ProductRow& row : rows)
        if (row.values.value(column).toString() == name)
            return row;
    return {};
}

TEST_F(PostgresCollector, AProductRowChangedSinceItWasReadRefusesTheWholeChange)
{
    using vtr_db::ProductTable;
    auto first = Create();
    auto second = Create();
    QList<vtr_db::ProductRow> firstRows, secondRows;
    QString error;
    ASSERT_TRUE(first->ReadProductTable(ProductTable::Threads, firstRows, error)) << qPrintable(error);
    ASSERT_TRUE(second->ReadProductTable(ProductTable::Threads, secondRows, error)) << qPrintable(error);
    const int tap = vtr_db::ProductColumnIndex(ProductTable::Threads, "TapDrill");
    vtr_db::ProductRow m6 = RowNamed(firstRows, ProductTable::Threads, QStringLiteral("M6x1"));
    ASSERT_GT(m6.id, 0);
    EXPECT_EQ(m6.version, 1);

    m6.values[tap] = 5.1;
    ASSERT_TRUE(first->WriteProductChanges({ ProductTable::Threads, { m6 }, {} }, error)) << qPrintable(error);

    // The second seat still holds version 1 of M6 and edits M8 alongside.
    vtr_db::ProductRow staleM6 = RowNamed(secondRows, ProductTable::Threads, QStringLiteral("M6x1"));
    vtr_db::ProductRow m8 = RowNamed(secondRows, ProductTable::Threads, QStringLiteral("M8x1.25"));
    staleM6.values[tap] = 4.9;
    m8.values[tap] = 6.7;
    EXPECT_FALSE(second->WriteProductChanges({ ProductTable::Threads, { m8, staleM6 }, {} }, error));
    EXPECT_TRUE(error.contains(vtr_db::ChangeUser())) << qPrintable(error);
    EXPECT_TRUE(error.contains(QLatin1String("Tap drill")) || error.contains(QLatin1String("5.1")))
        << qPrintable(error);
    EXPECT_TRUE(error.contains(QLatin1String("5.1"))) << qPrintable(error);

    QList<vtr_db::ProductRow> now;
    ASSERT_TRUE(second->ReadProductTable(ProductTable::Threads, now, error));
    const vtr_db::ProductRow storedM6 = RowNamed(now, ProductTable::Threads, QStringLiteral("M6x1"));
    EXPECT_DOUBLE_EQ(storedM6.values[tap].toDouble(), 5.1);
    EXPECT_EQ(storedM6.version, 2);
    EXPECT_EQ(storedM6.changedBy, vtr_db::ChangeUser());
    EXPECT_FALSE(storedM6.changedAt.isEmpty());
    EXPECT_DOUBLE_EQ(RowNamed(now, ProductTable::Threads, QStringLiteral("M8x1.25")).values[tap].toDouble(), 6.8)
        << "half of a refused change was stored";

    // Read again, the change goes through.
    vtr_db::ProductRow fresh = storedM6;
    fresh.values[tap] = 4.9;
    EXPECT_TRUE(second->WriteProductChanges({ ProductTable::Threads, { fresh }, {} }, error)) << qPrintable(error);

    // A row another seat removed meanwhile is stored again, not lost.
    const vtr_db::ProductRow m10 = RowNamed(now, ProductTable::Threads, QStringLiteral("M10x1.5"));
    ASSERT_TRUE(first->WriteProductChanges({ ProductTable::Threads, {}, { m10.id } }, error)) << qPrintable(error);
    vtr_db::ProductRow edited = m10;
    edited.values[tap] = 8.6;
    EXPECT_TRUE(second->WriteProductChanges({ ProductTable::Threads, { edited }, {} }, error)) << qPrintable(error);
    ASSERT_TRUE(first->ReadProductTable(ProductTable::Threads, now, error));
    const vtr_db::ProductRow again = RowNamed(now, ProductTable::Threads, QStringLiteral("M10x1.5"));
    EXPECT_DOUBLE_EQ(again.values[tap].toDouble(), 8.6);
}

TEST_F(PostgresCollector, AChangeThatLosesADeadlockIsTriedOnceMore)
{
    using vtr_db::ProductTable;
    auto db = Create();
    QList<vtr_db::ProductRow> rows;
    QString error;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Threads, rows, error)) << qPrintable(error);
    const vtr_db::ProductRow m4 = RowNamed(rows, ProductTable::Threads, QStringLiteral("M4x0.7"));
    const vtr_db::ProductRow m5 = RowNamed(rows, ProductTable::Threads, QStringLiteral("M5x0.8"));
    // Another seat holds M5 and, once the module holds M4 and waits for
    // M5, asks for M4: the server breaks the cycle by failing the module's
    // change, which waited first; the seat then finishes and the module's
    // second try goes through.
    const qsizetype retriesBefore = ReadLog().count(QLatin1String("trying once more"));
    Peer seat(database);
    ASSERT_EQ(seat.Query("BEGIN"), QString());
    ASSERT_EQ(
        seat.Query(("SELECT 1 FROM Threads WHERE ThreadId = " + QByteArray::number(qlonglong(m5.id)) + " FOR UPDATE")
                       .constData()),
        QStringLiteral("1"));
    bool written = false;
    std::thread writing([&] {
        QString why;
        written = db->WriteProductChanges({ ProductTable::Threads, { m4, m5 }, {} }, why);
        error = why;
    });
    Peer watcher(database);
    for (int i = 0; i < 1000; ++i) {
        if (watcher.Query("SELECT count(*) FROM pg_locks WHERE NOT granted") != QLatin1String("0"))
            break;
        QThread::msleep(10);
    }
    seat.Query(
        ("SELECT 1 FROM Threads WHERE ThreadId = " + QByteArray::number(qlonglong(m4.id)) + " FOR UPDATE").constData());
    EXPECT_EQ(seat.Query("COMMIT"), QString());
    writing.join();
    EXPECT_TRUE(written) << qPrintable(error);
    QList<vtr_db::ChangeRecord> log;
    ASSERT_TRUE(db->ReadChangeLog({}, log, error));
    EXPECT_TRUE(log.isEmpty()) << "an unchanged row was logged";
    EXPECT_EQ(ReadLog().count(QLatin1String("trying once more")), retriesBefore + 1);
}

// -------------------------------------------------------------- the change log

TEST_F(PostgresCollector, EveryChangeIsLoggedWithItsOldAndNewValue)
{
    using vtr_db::ProductTable;
    auto db = Create();
    const QString drill = QStringLiteral("Drill");
    ASSERT_EQ(db->AddCustomMessage(3, QStringLiteral("Hole"), drill, QStringLiteral("one")), 0);
    ASSERT_EQ(db->AddCustomMessage(3, QStringLiteral("Hole"), drill, QStringLiteral("two")), 0);
    ASSERT_EQ(db->AddCustomMessage(3, QStringLiteral("Hole"), drill, QString()), 0);
    ASSERT_EQ(db->CreateUserRule(
                  QStringLiteral("Mill"), QStringLiteral("Slot"), QStringLiteral("Milling"), QStringLiteral("<a/>")),
        0);
    ASSERT_EQ(db->AddUserRule(
                  QStringLiteral("Mill"), QStringLiteral("Slot"), QStringLiteral("Milling"), QStringLiteral("<b/>")),
        0);
    ASSERT_EQ(db->RemoveUserRule(QStringLiteral("Mill"), QStringLiteral("Slot"), QStringLiteral("Milling")), 1);
    QList<vtr_db::ProductRow> rows;
    QString error;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Threads, rows, error));
    vtr_db::ProductRow m3 = RowNamed(rows, ProductTable::Threads, QStringLiteral("M3x0.5"));
    const QString before = vtr_db::ProductRowText(ProductTable::Threads, m3);
    m3.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "TapDrill")] = 2.4;
    ASSERT_TRUE(db->WriteProductChanges({ ProductTable::Threads, { m3 }, {} }, error)) << qPrintable(error);
    ASSERT_TRUE(db->WriteProductChanges({ ProductTable::Threads, {}, { m3.id } }, error)) << qPrintable(error);

    QList<vtr_db::ChangeRecord> log;
    ASSERT_TRUE(db->ReadChangeLog({}, log, error)) << qPrintable(error);
    const QString messageKey = vtr_db::MessageChangeKey(3, QStringLiteral("Hole"), drill);
    const QString ruleKey
        = vtr_db::RuleChangeKey(QStringLiteral("Mill"), QStringLiteral("Slot"), QStringLiteral("Milling"));
    const QString rowKey = vtr_db::ProductChangeKey(ProductTable::Threads, m3.id);
    const QString after = vtr_db::ProductRowText(ProductTable::Threads, m3);
    const struct
    {
        QString what, key, oldValue, newValue;
    } expected[] = {
        // newest first
        { vtr_db::kChangeProductRow, rowKey, after, {} },
        { vtr_db::kChangeProductRow, rowKey, before, after },
        { vtr_db::kChangeUserRule, ruleKey, QStringLiteral("<b/>"), {} },
        { vtr_db::kChangeUserRule, ruleKey, QStringLiteral("<a/>"), QStringLiteral("<b/>") },
        { vtr_db::kChangeUserRule, ruleKey, {}, QStringLiteral("<a/>") },
        { vtr_db::kChangeMessage, messageKey, QStringLiteral("two"), {} },
        { vtr_db::kChangeMessage, messageKey, QStringLiteral("one"), QStringLiteral("two") },
        { vtr_db::kChangeMessage, messageKey, {}, QStringLiteral("one") },
    };
    ASSERT_EQ(log.size(), static_cast<qsizetype>(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const vtr_db::ChangeRecord& c = log[static_cast<qsizetype>(i)];
        EXPECT_EQ(c.what, expected[i].what);
        EXPECT_EQ(c.key, expected[i].key);
        EXPECT_EQ(c.oldValue, expected[i].oldValue);
        EXPECT_EQ(c.newValue, expected[i].newValue);
        EXPECT_EQ(c.user, vtr_db::ChangeUser());
        EXPECT_EQ(c.host, vtr_db::ChangeHost());
        EXPECT_EQ(vtr_db::ChangeTimeFrom(c.time), c.time) << qPrintable(c.time);
        if (i > 0) {
            EXPECT_GT(log[static_cast<qsizetype>(i) - 1].id, c.id);
        }
    }
    // since compares times: one after the last change leaves nothing.
    QList<vtr_db::ChangeRecord> later;
    ASSERT_TRUE(db->ReadChangeLog(QStringLiteral("2999-01-01T00:00:00Z"), later, error));
    EXPECT_TRUE(later.isEmpty());
    ASSERT_TRUE(db->ReadChangeLog(log.last().time, later, error));
    EXPECT_EQ(later.size(), log.size());
}

// ------------------------------------------------------ status and copying

TEST_F(PostgresCollector, StatusNamesTheServerWithoutItsPasswordAndCountsTheTables)
{
    // A password the trusting test server ignores.
    env.Set(vtr_db::kDatabaseUrlVariable, database + QStringLiteral(" password=S3cretPw"));
    auto db = Create();
    ASSERT_EQ(db->AddCustomMessages({ { 1, QStringLiteral("A"), QStringLiteral("G"), QStringLiteral("a") },
                  { 2, QStringLiteral("B"), QStringLiteral("G"), QStringLiteral("b") } }),
        0);
    vtr_db::DatabaseStatus status;
    ASSERT_TRUE(db->ReadStatus(status)) << qPrintable(status.problem);
    EXPECT_EQ(status.module, QStringLiteral("PostgreSQL"));
    EXPECT_TRUE(status.connected);
    EXPECT_FALSE(status.readOnly);
    EXPECT_EQ(status.schemaVersion, vtr_db::kSchemaVersion);
    EXPECT_FALSE(status.location.contains(QLatin1String("S3cret"))) << qPrintable(status.location);
    EXPECT_TRUE(status.location.contains(QLatin1String("dbname="))) << qPrintable(status.location);
    QStringList tables;
    for (const vtr_db::TableCount& c : status.counts) {
        tables << c.table;
        if (c.table == QLatin1String("CustomMessages") || c.table == QLatin1String("ChangeLog")) {
            EXPECT_EQ(c.rows, 2) << qPrintable(c.table);
        }
        if (c.table == QLatin1String("Threads") || c.table == QLatin1String("Materials")) {
            EXPECT_GT(c.rows, 0) << qPrintable(c.table);
        }
    }
    EXPECT_EQ(
        tables, (QStringList { "CustomMessages", "UserRules", "Fasteners", "Threads", "Materials", "ChangeLog" }));
}

// A source with a bit of everything.
vtr_db::DatabaseContents SampleContents()
{
    using vtr_db::ProductTable;
    vtr_db::DatabaseContents c;
    c.rules = { { QStringLiteral("Mill"), QStringLiteral("Slot"), QStringLiteral("Milling"), QStringLiteral("<slot/>"),
                    1000004, 3 },
        { QStringLiteral("Turn"), QStringLiteral("Groove"), QStringLiteral("Turning"), QStringLiteral("<groove/>"),
            1000007, 5 } };
    c.messages = { { 1000004, QStringLiteral("Slot"), QStringLiteral("Milling"), QStringLiteral("slot message") },
        { 20001, QStringLiteral("Wall"), QStringLiteral("General"), QStringLiteral("shipped rule message") } };
    vtr_db::ProductRow thread;
    thread.id = 40;
    thread.version = 2;
    thread.changedBy = QStringLiteral("ann");
    thread.changedAt = QStringLiteral("2026-12-01T10:00:00Z");
    thread.values.resize(static_cast<qsizetype>(vtr_db::ProductColumns(ProductTable::Threads).size()));
    thread.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "Standard")] = QStringLiteral("ISO metric");
    thread.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "Designation")] = QStringLiteral("M7x1");
    thread.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "MajorDiameter")] = 7.0;
    thread.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "Pitch")] = 1.0;
    thread.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "TapDrill")] = 6.0;
    c.products[static_cast<size_t>(ProductTable::Threads)] = { thread };
    c.changes = { { 1, QStringLiteral("2026-12-01T10:00:00Z"), QStringLiteral("ann"), QStringLiteral("ws1"),
        vtr_db::kChangeUserRule, QStringLiteral("Mill Milling/Slot"), {}, QStringLiteral("<slot/>") } };
    return c;
}

TEST_F(PostgresCollector, ACopyFillsAnEmptyDatabaseAndIsRefusedByAFullOne)
{
    using vtr_db::ProductTable;
    const vtr_db::DatabaseContents source = SampleContents();
    auto db = Create();
    vtr_db::CopyReport report;
    QString error;
    ASSERT_TRUE(db->ImportContents(source, false, report, error)) << qPrintable(error);
    vtr_db::DatabaseContents copied;
    ASSERT_TRUE(db->ExportContents(copied, error)) << qPrintable(error);
    ASSERT_EQ(copied.rules.size(), 2);
    EXPECT_EQ(copied.rules[0].helpId, 1000004);
    EXPECT_EQ(copied.rules[1].element, QStringLiteral("<groove/>"));
    EXPECT_EQ(copied.messages.size(), 2);
    ASSERT_EQ(copied.products[static_cast<size_t>(ProductTable::Threads)].size(), 1) << "the seed was not replaced";
    EXPECT_EQ(copied.products[static_cast<size_t>(ProductTable::Threads)][0].id, 40);
    EXPECT_EQ(copied.products[static_cast<size_t>(ProductTable::Threads)][0].changedBy, QStringLiteral("ann"));
    EXPECT_TRUE(copied.products[static_cast<size_t>(ProductTable::Materials)].isEmpty());
    ASSERT_EQ(copied.changes.size(), 1);
    EXPECT_EQ(copied.changes[0].newValue, QStringLiteral("<slot/>"));

    // New ids and help ids come after the copied ones.
    ASSERT_EQ(db->CreateUserRule(
                  QStringLiteral("Mill"), QStringLiteral("New"), QStringLiteral("Milling"), QStringLiteral("<n/>")),
        0);
    QList<vtr_db::StoredUserRule> rules;
    ASSERT_TRUE(db->GetStoredUserRules(QStringLiteral("Mill"), rules));
    ASSERT_EQ(rules.size(), 2);
    EXPECT_EQ(rules[1].helpId, 1000008);
    EXPECT_GT(rules[1].version, 5);
    vtr_db::ProductRow extra = source.products[static_cast<size_t>(ProductTable::Threads)][0];
    extra.id = 0;
    extra.version = 0;
    extra.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "Designation")] = QStringLiteral("M9x1");
    extra.values[vtr_db::ProductColumnIndex(ProductTable::Threads, "MajorDiameter")] = 9.0;
    ASSERT_TRUE(db->WriteProductChanges({ ProductTable::Threads, { extra }, {} }, error)) << qPrintable(error);
    QList<vtr_db::ProductRow> threads;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Threads, threads, error));
    ASSERT_EQ(threads.size(), 2);
    EXPECT_GT(threads[1].id, 40);

    // Now it holds something: a second plain copy is refused, nothing changed.
    vtr_db::DatabaseContents before;
    ASSERT_TRUE(db->ExportContents(before, error));
    EXPECT_FALSE(db->ImportContents(source, false, report, error));
    EXPECT_TRUE(error.contains(QLatin1String("not empty"))) << qPrintable(error);
    vtr_db::DatabaseContents afterRefusal;
    ASSERT_TRUE(db->ExportContents(afterRefusal, error));
    EXPECT_EQ(afterRefusal.messages.size(), before.messages.size());
    EXPECT_EQ(afterRefusal.rules.size(), before.rules.size());
    EXPECT_EQ(afterRefusal.changes.size(), before.changes.size());
    EXPECT_EQ(afterRefusal.products[static_cast<size_t>(ProductTable::Threads)].size(), 2);
}

TEST_F(PostgresCollector, AMergeAddsWhatIsMissingAndReportsWhatDiffers)
{
    using vtr_db::ProductTable;
    auto db = Create();
    // The target already has a rule under the source's help id 1000004, a
    // different message for Wall, and the seed threads.
    ASSERT_EQ(db->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("Pocket"), QStringLiteral("Milling"),
                  QStringLiteral("<pocket/>")),
        0);
    Peer peer(database);
    ASSERT_EQ(peer.Query("UPDATE UserRules SET HelpId = 1000004"), QString());
    ASSERT_EQ(
        db->AddCustomMessage(20001, QStringLiteral("Wall"), QStringLiteral("General"), QStringLiteral("ours")), 0);
    vtr_db::DatabaseContents source = SampleContents();
    QString error;
    vtr_db::CopyReport report;
    ASSERT_TRUE(db->ImportContents(source, true, report, error)) << qPrintable(error);

    vtr_db::DatabaseContents merged;
    ASSERT_TRUE(db->ExportContents(merged, error));
    QHash<QString, int32_t> idOf;
    for (const vtr_db::StoredRuleRecord& r : merged.rules)
        idOf.insert(r.name, r.helpId);
    EXPECT_EQ(idOf.value(QStringLiteral("Pocket")), 1000004);
    EXPECT_EQ(idOf.value(QStringLiteral("Groove")), 1000007) << "a free help id is kept";
    const int32_t slot = idOf.value(QStringLiteral("Slot"));
    EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(slot));
    EXPECT_NE(slot, 1000004);
    EXPECT_NE(slot, 1000007);
    QString slotMessage;
    EXPECT_TRUE(db->GetCustomMessage(slot, QStringLiteral("Slot"), QStringLiteral("Milling"), slotMessage))
        << "the message did not move with its rule";
    EXPECT_EQ(slotMessage, QStringLiteral("slot message"));
    QString wall;
    EXPECT_TRUE(db->GetCustomMessage(20001, QStringLiteral("Wall"), QStringLiteral("General"), wall));
    EXPECT_EQ(wall, QStringLiteral("ours"));
    ASSERT_EQ(report.differing.size(), 1);
    EXPECT_TRUE(report.differing[0].contains(QLatin1String("Wall"))) << qPrintable(report.differing[0]);
    QList<vtr_db::ProductRow> threads;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Threads, threads, error));
    EXPECT_GT(RowNamed(threads, ProductTable::Threads, QStringLiteral("M7x1")).id, 0);
    EXPECT_GT(RowNamed(threads, ProductTable::Threads, QStringLiteral("M6x1")).id, 0);

    // Merging the same again adds nothing.
    ASSERT_TRUE(db->ImportContents(source, true, report, error)) << qPrintable(error);
    for (const vtr_db::TableCount& c : report.added)
        EXPECT_EQ(c.rows, 0) << qPrintable(c.table);
}

} // namespace
