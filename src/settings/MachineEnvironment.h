#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QString>

// The machine-wide environment that other programs of the product family
// read: KEY="value" lines in the machine environment file, which login
// sessions take their variables from.
namespace MachineEnvironment {
// The file: $VTRPRO_MACHINE_ENVIRONMENT_FILE, else /etc/environment.
QString FilePath();
// The value the file gives name (outer quotes removed, and within double
// quotes the backslash before '"', '$', '`' or '\\'); nullopt when the file
// has no line for it or cannot be read.
std::optional<QString> Value(const QString& name);
// Whether the file can be replaced now: it can be read (or is missing from a
// folder that is there) and a file can be written beside it. False, with the
// reason in why, otherwise.
bool CanWrite(QString* why = nullptr);
} // namespace MachineEnvironment

// Stores name="value" in the machine environment file, replacing the file
// atomically with every line of other variables kept as it was, then sets the
// variable in the running process. An empty value removes the variable from
// the file and the process. False, with the reason in why, when the file
// cannot be read or written or the value cannot be stored; the file and the
// process are then left as they were.
// Values are written in double quotes, with a backslash before '"', '$', '`'
// and '\\', so that the file reads back exactly what was stored.
bool SetMachineEnvironmentValue(const QString& name, const QString& value, QString* why = nullptr);
// The same for several variables in one replacement of the file: all are
// stored, or none.
bool SetMachineEnvironmentValues(const std::vector<std::pair<QString, QString>>& values, QString* why = nullptr);
