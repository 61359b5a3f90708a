// vtrpro-rules db against a real PostgreSQL server (the "postgres_server"
// test fixture): a seat connects, copies its SQLite data into an empty
// database, is refused a second plain copy, merges, and reads the status
// and change log through the server's module. No password ever comes out.

#include "PostgresTestDatabase.h"
#include "TestSupport.h"

#include "VTRDataHelper.h"
#include "VtrDatabaseServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr char kPassword[] = "Sesame-7f3q";
constexpr char kRule[] = "SM - Minimum Hole Diameter";
constexpr char kCategory[] = "Sheet Metal";

// The test server trusts its socket, so a password is ignored by it but is
// still in the text the tool is given.
QString WithPassword(const QString& url)
{
    if (url.startsWith(QLatin1String("postgres")))
        return url + (url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?'))
            + QStringLiteral("password=") + QLatin1String(kPassword);
    return url + QStringLiteral(" password=") + QLatin1String(kPassword);
}

void ExpectNoPassword(const ToolRun& r)
{
    EXPECT_FALSE(r.out.contains(QLatin1String(kPassword))) << r.out.toStdString();
    EXPECT_FALSE(r.err.contains(QLatin1String(kPassword))) << r.err.toStdString();
}

// Stores custom messages in the seat's SQLite database, in this process.
void StoreInSqlite(const QList<QPair<int32_t, QString>>& messages)
{
    vtr_db::LoadedDatabaseModule module = vtr_db::VTRDataHelper::LoadDatabaseModule();
    ASSERT_NE(module.collector, nullptr);
    ASSERT_EQ(module.collector->Initialize(), 0) << module.collector->ReadProblem().toStdString();
    for (const auto& [helpId, text] : messages)
        EXPECT_EQ(module.collector->AddCustomMessage(helpId, QLatin1String(kRule), QLatin1String(kCategory), text), 0);
    module.collector->Release();
    vtr_db::VTRDataHelper::UnloadDatabaseModule(module);
}

TEST(DbCopy, ASeatConnectsCopiesMergesAndReadsTheServer)
{
    ScopedTestEnv env;
    env.Set("VTRPRO_DATABASE_URL", QString());
    QDir().mkpath(env.Path(QStringLiteral("database")));
    StoreInSqlite({ { 20301, QStringLiteral("Ask the shop first") }, { 20302, QStringLiteral("Deburr") } });
    const QString url = WithPassword(NewPostgresDatabase(QStringLiteral("dbcopy")));

    ToolRun r = RunTool({ "db", "connect", url });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("connected to "))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("schema version "))) << r.out.toStdString();
    ExpectNoPassword(r);
    EXPECT_EQ(vtr_db::DatabaseServer(), url);

    // Into the empty database: everything, counted per table.
    r = RunTool({ "db", "copy", "--to", url });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("CustomMessages\\s+2\\n")))) << r.out.toStdString();
    ExpectNoPassword(r);

    // Again, plainly: refused, nothing changed.
    r = RunTool({ "db", "copy", "--to", url });
    EXPECT_EQ(r.code, 2) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("nothing was copied"))) << r.err.toStdString();
    ExpectNoPassword(r);

    // Merging: the new message is added, the changed one reported and left.
    StoreInSqlite({ { 20302, QStringLiteral("Deburr both sides") }, { 20303, QStringLiteral("Countersink") } });
    r = RunTool({ "db", "copy", "--to", url, "--merge" });
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("CustomMessages\\s+1\\n")))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("differing"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("20302"))) << r.out.toStdString();
    ExpectNoPassword(r);

    // The seat now uses the server's module.
    env.Set("VTRPRO_DATABASE_MODULE", BinDir() + QStringLiteral("/VtrPostgresDatabaseu.so"));
    r = RunTool({ "db", "status", "--format", "json" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    ExpectNoPassword(r);
    const QJsonObject status = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(status.value("module").toString(), QStringLiteral("PostgreSQL"));
    EXPECT_TRUE(status.value("connected").toBool());
    qint64 messages = -1;
    for (const QJsonValue& t : status.value("tables").toArray())
        if (t.toObject().value("table").toString() == QLatin1String("CustomMessages"))
            messages = t.toObject().value("rows").toInteger();
    EXPECT_EQ(messages, 3);

    r = RunTool({ "db", "log", "--format", "json" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(QJsonDocument::fromJson(r.out.toUtf8()).array().isEmpty()) << r.out.toStdString();
    ExpectNoPassword(r);
    EXPECT_FALSE(ReadLog().contains(QLatin1String(kPassword)));
}

} // namespace
