#pragma once

#include "app/AppContext.h"

#include <QString>

// The start-up every vtrpro-rules command shares: an application context, a
// writable data-settings folder and the modules loaded as the program loads
// them (reading "ConfigModule.ini" and writing the defaults when needed).
//
//     CliContext cli;
//     if (const int code = cli.Start())
//         return code;           // the message is already on stderr
//     ModuleSet& modules = cli.Modules();
//
// Release every rule object taken from a module before the context goes:
// its destructor frees the libraries, last to first.
class CliContext
{
public:
    CliContext();
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    // Makes sure the data-settings folder exists and is writable, then loads
    // the modules. Returns 0, or the exit code after printing why on stderr.
    int Start();

    AppContext& App() { return m_app; }
    ModuleSet& Modules() { return m_app.Modules(); }

    // The data-settings folder is usable: it exists (created when missing) and
    // a file can be written in it. On failure, reason says why.
    static bool EnsureWritableFolder(const QString& folder, QString& reason);

private:
    AppContext m_app;
    bool m_started = false;
};
