#pragma once

#include <QString>

// The PostgreSQL server the test command starts (tests/support/pg-test-server.sh,
// the "postgres_server" fixture): its socket folder and role come from
// VTRPRO_TEST_PG_HOST and VTRPRO_TEST_PG_USER.

// A new, empty database on the test server, named from prefix and made
// unique; its connection string ("host=... user=... dbname=..."). A test
// that needs the server fails (it does not skip) when none was started;
// the string is then empty.
QString NewPostgresDatabase(const QString& prefix);

// The connection string of the test server's maintenance database, for
// tests that look at the server themselves; empty (and a failure) without one.
QString PostgresTestServer();
