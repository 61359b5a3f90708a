// vtrpro-rules db: the product database in use (status, change log), the
// shop's server a seat connects to, and what the tool refuses. A password
// given to the tool never comes back out of it.

#include "TestSupport.h"

#include "VTRDataHelper.h"
#include "VtrDatabaseServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

constexpr char kPassword[] = "Sesame-7f3q";

// A seat's folders with no server named anywhere.
class DbCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Empty counts as unset, whatever the machine running the tests has.
        env.Set("VTRPRO_DATABASE_URL", QString());
        QDir().mkpath(env.Path(QStringLiteral("database")));
    }

    QString SettingsFile() const { return env.DataSettings() + QStringLiteral("VTRProDatabase.ini"); }

    // Asserts that no output of the run carries the password.
    static void ExpectNoPassword(const ToolRun& r)
    {
        EXPECT_FALSE(r.out.contains(QLatin1String(kPassword))) << r.out.toStdString();
        EXPECT_FALSE(r.err.contains(QLatin1String(kPassword))) << r.err.toStdString();
    }

    // Stores changes through the module the program would use, in this process.
    static void StoreMessages(const QList<QPair<int32_t, QString>>& messages)
    {
        vtr_db::LoadedDatabaseModule module = vtr_db::VTRDataHelper::LoadDatabaseModule();
        ASSERT_NE(module.collector, nullptr);
        ASSERT_EQ(module.collector->Initialize(), 0) << module.collector->ReadProblem().toStdString();
        for (const auto& [helpId, text] : messages)
            EXPECT_EQ(module.collector->AddCustomMessage(
                          helpId, QStringLiteral("SM - Minimum Hole Diameter"), QStringLiteral("Sheet Metal"), text),
                0);
        module.collector->Release();
        vtr_db::VTRDataHelper::UnloadDatabaseModule(module);
    }

    static QJsonDocument Json(const ToolRun& r)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
        return doc;
    }

    ScopedTestEnv env;
};

TEST_F(DbCommandTest, BadArgumentsAreRefusedAndStoreNothing)
{
    struct Case
    {
        QStringList args;
        const char* says;
    };
    // Worded as every usage error of the tool is: "vtrpro-rules db SUB: ...".
    const Case cases[] = {
        { { "db" }, "vtrpro-rules db: give one of its commands: connect, status, log, copy" },
        { { "db", "drop" }, "vtrpro-rules db: unknown command \"drop\"" },
        { { "db", "connect" }, "connect takes one connection string, or --clear" },
        { { "db", "connect", "postgresql://a/b", "postgresql://c/d" }, "unknown option or argument: postgresql://c/d" },
        { { "db", "connect", "--clear", "postgresql://a/b" }, "URL excludes --clear" },
        { { "db", "connect", "--force" }, "unknown option or argument: --force" },
        { { "db", "status", "--format", "xml" }, "--format: xml not in {text,json}" },
        { { "db", "status", "extra" }, "unknown option or argument: extra" },
        { { "db", "log", "--since" }, "--since: 1 required DATE missing" },
        { { "db", "log", "--since", "last tuesday" }, "\"last tuesday\" is not one" },
        { { "db", "log", "--since=2026-13-45" }, "\"2026-13-45\" is not one" },
        { { "db", "log", "--until", "2026-01-01" }, "unknown option or argument:" },
        { { "db", "copy" }, "vtrpro-rules db copy: --to is required" },
        { { "db", "copy", "--to" }, "--to: 1 required URL missing" },
        { { "db", "copy", "--merge" }, "--to is required" },
        { { "db", "copy", "--to", "postgresql://a/b", "--force" }, "unknown option or argument: --force" },
    };
    for (const Case& c : cases) {
        const ToolRun r = RunTool(c.args);
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says)))
            << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(SettingsFile()));
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("database/VTRProDatabase.sqlite"))));
}

// A server that is away: a socket folder where no server listens. The tool
// must give up on its own (the bound is only there so that a hang fails the
// test instead of stalling it), store nothing and never echo the password.
TEST_F(DbCommandTest, ConnectingToAServerThatIsAwayFailsAndStoresNothing)
{
    const QString socketFolder = env.Path(QStringLiteral("no-server"));
    ASSERT_TRUE(QDir().mkpath(socketFolder));
    QString error;
    ASSERT_TRUE(vtr_db::SetDatabaseServer(QStringLiteral("postgresql://seat/before"), error)) << error.toStdString();
    const QByteArray before = [this] {
        QFile f(SettingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QStringList urls = {
        QStringLiteral("postgresql://vtrpro:%1@/vtrpro?host=%2&connect_timeout=3").arg(kPassword, socketFolder),
        QStringLiteral("host=%2 dbname=vtrpro user=vtrpro password='%1' connect_timeout=3")
            .arg(kPassword, socketFolder),
    };
    for (const QString& url : urls) {
        QProcess tool;
        tool.start(BinDir() + QStringLiteral("/vtrpro-rules"), { "db", "connect", url });
        ASSERT_TRUE(tool.waitForFinished(120000)) << "db connect did not give up on a server that is away";
        ToolRun r;
        r.code = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        r.out = QString::fromUtf8(tool.readAllStandardOutput());
        r.err = QString::fromUtf8(tool.readAllStandardError());
        EXPECT_EQ(r.code, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("nothing was stored"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("password in clear"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(".pgpass"))) << r.err.toStdString();
        ExpectNoPassword(r);
        QFile f(SettingsFile());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
    }
    EXPECT_FALSE(ReadLog().contains(QLatin1String(kPassword)));
}

TEST_F(DbCommandTest, ClearRemovesTheStoredServerAndNamesTheVariableThatStillOverrides)
{
    QString error;
    ASSERT_TRUE(vtr_db::SetDatabaseServer(QStringLiteral("postgresql://vtrpro:%1@shop/vtrpro").arg(kPassword), error));
    ToolRun r = RunTool({ "db", "connect", "--clear" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("no database server is stored"))) << r.out.toStdString();
    EXPECT_FALSE(r.err.contains(QLatin1String("overrides")));
    ExpectNoPassword(r);
    QString source;
    EXPECT_TRUE(vtr_db::DatabaseServer(&source).isEmpty());
    EXPECT_TRUE(source.isEmpty());

    // Cleared again, with the variable set: done, and the variable is named.
    env.Set("VTRPRO_DATABASE_URL", QStringLiteral("host=/run/pg dbname=vtrpro password=%1").arg(kPassword));
    r = RunTool({ "db", "connect", "--clear" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("VTRPRO_DATABASE_URL is set in this environment"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("host=/run/pg dbname=vtrpro password=***"))) << r.err.toStdString();
    ExpectNoPassword(r);
}

TEST_F(DbCommandTest, StatusShowsTheSqliteDatabaseInUse)
{
    StoreMessages({ { 20301, QStringLiteral("Ask the shop first") }, { 20302, QStringLiteral("Deburr") } });
    // A server stored with a password: shown without it, and not used while
    // the SQLite module is the one in use.
    QString error;
    ASSERT_TRUE(vtr_db::SetDatabaseServer(QStringLiteral("postgresql://vtrpro:%1@shop/vtrpro").arg(kPassword), error));

    ToolRun r = RunTool({ "db", "status" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QString file = QDir(env.Path(QStringLiteral("database"))).filePath(QStringLiteral("VTRProDatabase.sqlite"));
    for (const QString& line :
        { QStringLiteral("module: SQLite"), QStringLiteral("where: ") + file, QStringLiteral("connected: yes"),
            QStringLiteral("read-only: no"), QStringLiteral("server: postgresql://vtrpro@shop/vtrpro") })
        EXPECT_TRUE(r.out.contains(line)) << line.toStdString() << " in\n" << r.out.toStdString();
    ExpectNoPassword(r);

    r = RunTool({ "db", "status", "--format", "json" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    ExpectNoPassword(r);
    const QJsonObject o = Json(r).object();
    EXPECT_EQ(o.value("module").toString(), QStringLiteral("SQLite"));
    EXPECT_EQ(o.value("location").toString(), file);
    EXPECT_TRUE(o.value("connected").toBool());
    EXPECT_FALSE(o.value("readOnly").toBool());
    EXPECT_TRUE(o.value("problem").isNull());
    EXPECT_GT(o.value("schemaVersion").toInt(), 0);
    EXPECT_EQ(o.value("serverSource").toString(), QStringLiteral("setting"));
    QHash<QString, qint64> rows;
    for (const QJsonValue& t : o.value("tables").toArray())
        rows.insert(t.toObject().value("table").toString(), t.toObject().value("rows").toInteger());
    EXPECT_EQ(rows.value("CustomMessages", -1), 2);
    EXPECT_EQ(rows.value("UserRules", -1), 0);
    EXPECT_EQ(rows.value("ChangeLog", -1), 2);
    // The seeded product data is counted too.
    EXPECT_GT(rows.value("Materials", -1), 0);
}

TEST_F(DbCommandTest, StatusSaysWhyTheDatabaseIsReadOnlyOrCannotBeRead)
{
    StoreMessages({ { 20301, QStringLiteral("Ask the shop first") } });
    env.Set("VTRPRO_DATABASE_READONLY", QStringLiteral("1"));
    ToolRun r = RunTool({ "db", "status", "--format=json" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject o = Json(r).object();
    EXPECT_TRUE(o.value("readOnly").toBool());
    EXPECT_FALSE(o.value("readOnlyReason").toString().isEmpty()) << r.out.toStdString();
    r = RunTool({ "db", "status" });
    EXPECT_TRUE(r.out.contains(QLatin1String("read-only: yes ("))) << r.out.toStdString();

    // A damaged file: refused with the reason, and left as it is.
    env.Set("VTRPRO_DATABASE_READONLY", QString());
    const QString path = env.Path(QStringLiteral("database/VTRProDatabase.sqlite"));
    QFile::remove(path);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    r = RunTool({ "db", "status" });
    EXPECT_EQ(r.code, 2) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("the database cannot be read: "))) << r.err.toStdString();
    r = RunTool({ "db", "status", "--format", "json" });
    EXPECT_EQ(r.code, 2);
    o = Json(r).object();
    EXPECT_FALSE(o.value("problem").toString().isEmpty()) << r.out.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(8192, 'x'));
}

TEST_F(DbCommandTest, LogListsChangesNewestFirstFromADate)
{
    StoreMessages({ { 20301, QStringLiteral("Ask the shop first") } });
    StoreMessages({ { 20301, QStringLiteral("Ask the shop first,\nthen drill") } });

    ToolRun r = RunTool({ "db", "log", "--format", "json" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray changes = Json(r).array();
    ASSERT_EQ(changes.size(), 2) << r.out.toStdString();
    const QJsonObject newest = changes[0].toObject();
    const QJsonObject oldest = changes[1].toObject();
    EXPECT_GT(newest.value("id").toInteger(), oldest.value("id").toInteger());
    EXPECT_EQ(newest.value("what").toString(), QStringLiteral("custom message"));
    EXPECT_EQ(newest.value("old").toString(), QStringLiteral("Ask the shop first"));
    EXPECT_EQ(newest.value("new").toString(), QStringLiteral("Ask the shop first,\nthen drill"));
    EXPECT_TRUE(oldest.value("old").toString().isEmpty());
    EXPECT_TRUE(newest.value("key").toString().contains(QLatin1String("SM - Minimum Hole Diameter")));
    EXPECT_FALSE(newest.value("user").toString().isEmpty());
    EXPECT_FALSE(newest.value("host").toString().isEmpty());
    EXPECT_TRUE(newest.value("time").toString().endsWith(QLatin1Char('Z')));

    // Text: one line per change, its values below it, newest first.
    r = RunTool({ "db", "log" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const qsizetype drill = r.out.indexOf(QLatin1String("then drill"));
    const qsizetype first = r.out.lastIndexOf(QLatin1String("new:   Ask the shop first\n"));
    EXPECT_GE(drill, 0) << r.out.toStdString();
    EXPECT_GT(first, drill) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("    old:   Ask the shop first\n"))) << r.out.toStdString();

    struct Since
    {
        const char* date;
        qsizetype changes;
    };
    for (const Since& s : { Since { "2000-01-01", 2 }, Since { "2000-01-01 14:00", 2 }, Since { "2999-12-31", 0 } }) {
        r = RunTool({ "db", "log", "--since", s.date, "--format", "json" });
        EXPECT_EQ(r.code, 0) << s.date << ": " << r.err.toStdString();
        EXPECT_EQ(Json(r).array().size(), s.changes) << s.date;
    }
}

} // namespace
