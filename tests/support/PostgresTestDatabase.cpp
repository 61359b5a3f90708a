#include "PostgresTestDatabase.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>

#include <QDateTime>
#include <QRegularExpression>

#include <unistd.h>

QString PostgresTestServer()
{
    const QString host = qEnvironmentVariable("VTRPRO_TEST_PG_HOST");
    const QString user = qEnvironmentVariable("VTRPRO_TEST_PG_USER");
    if (host.isEmpty() || user.isEmpty()) {
        ADD_FAILURE() << "no PostgreSQL test server: run the tests through ctest, which starts one "
                         "(VTRPRO_TEST_PG_HOST and VTRPRO_TEST_PG_USER are not set)";
        return {};
    }
    return QStringLiteral("host=%1 user=%2 dbname=postgres").arg(host, user);
}

QString NewPostgresDatabase(const QString& prefix)
{
    const QString server = PostgresTestServer();
    if (server.isEmpty())
        return {};
    static std::atomic<int> counter { 0 };
    QString name = QStringLiteral("%1_%2_%3_%4")
                       .arg(prefix)
                       .arg(::getpid())
                       .arg(QDateTime::currentMSecsSinceEpoch() % 100000000)
                       .arg(counter++)
                       .toLower();
    name.replace(QRegularExpression(QStringLiteral("[^a-z0-9_]")), QStringLiteral("_"));
    name = name.left(63);
    PGconn* conn = PQconnectdb(server.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        ADD_FAILURE() << "cannot reach the PostgreSQL test server: " << PQerrorMessage(conn);
        PQfinish(conn);
        return {};
    }
    // template0: nothing another test added to template1 comes along.
    PGresult* result = PQexec(conn, ("CREATE DATABASE " + name + " TEMPLATE template0").toUtf8().constData());
    const bool made = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!made)
        ADD_FAILURE() << "cannot create the test database " << qPrintable(name) << ": " << PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
    if (!made)
        return {};
    QString connection = server;
    connection.replace(QStringLiteral("dbname=postgres"), QStringLiteral("dbname=") + name);
    return connection;
}
