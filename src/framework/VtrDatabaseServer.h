#pragma once

#include <QString>

// Where the shop's database server is: a libpq connection string (a URI
// such as "postgresql://host/vtrpro" or "host=... dbname=..."), so that
// service files, password files and TLS options work as libpq users expect.
namespace vtr_db {

// The environment variable that names the server; it overrides the setting.
inline constexpr char kDatabaseUrlVariable[] = "VTRPRO_DATABASE_URL";

// The connection string in force: $VTRPRO_DATABASE_URL, else the user's
// setting; empty when neither names one. source, when given, becomes
// "environment", "setting" or "".
QString DatabaseServer(QString* source = nullptr);
// The file that keeps the user's setting ("VTRProDatabase.ini" in the
// data-settings folder).
QString DatabaseServerSettingsPath();
// Stores the user's setting (empty removes it); false with the reason when
// the file cannot be written. The file is made readable by its owner only,
// since a connection string may carry a password.
bool SetDatabaseServer(const QString& connection, QString& error);
// The connection string with any password taken out, for messages, logs
// and reports.
QString WithoutPassword(const QString& connection);

} // namespace vtr_db
