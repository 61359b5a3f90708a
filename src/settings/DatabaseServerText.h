#pragma once

#include <QString>

// The shop's database server as people see and type it: a libpq connection
// string whose password is never shown once stored.
namespace DatabaseServerText {

// The password a connection string carries in clear; empty when none.
QString PasswordOf(const QString& connection);
// text with every trace of the connection's password taken out (the
// connection string itself, its password, percent-encoded or not): a
// module's message may quote what it was given.
QString Scrubbed(QString text, const QString& connection);
// The user's stored setting, ignoring VTRPRO_DATABASE_URL; empty when none.
QString StoredSetting();
// The stored connection as a field shows it: its password masked or left out.
QString Shown(const QString& stored);
// The connection to store for a field's text: an edited text that still
// holds the masked password ("password=***") gets the stored one back.
QString ToStore(const QString& edited, const QString& stored);
// Whether text can be a connection string: no line breaks or other control
// characters (they would end it early in a settings file).
bool IsPlausible(const QString& text);

} // namespace DatabaseServerText
