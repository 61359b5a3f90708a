// vtrpro-rules: the rule manager's logic without windows, for scripts and for
// checking files.

#include "Commands.h"
#include "ExitCodes.h"

#include <cstdio>

#include <QCoreApplication>

namespace {
struct Command
{
    const char* name;
    int (*run)(const QStringList&);
    const char* usage;
};

const Command kCommands[] = {
    { "modules", RunModules, "modules [--format json]      list the configured rule and database modules" },
    { "modules", RunModules, "modules (add PATH | remove PATH | reset) [--database]  register or unregister modules" },
    { "rules", RunRules, "rules [--format json]        list every rule of the loaded modules" },
    { "new", RunNew, "new FILE --rule NAME... [--category CAT] [--units LIN,ANG] [--password TEXT]" },
    { "show", RunShow, "show FILE [--format json]    print a rule file's units, version and rules" },
    { "show", RunShow, "show FILE --canonical         print one line per setting in a fixed order (for diffs)" },
    { "compare", RunCompare, "compare A B [--format json]  compare two rule files rule by rule and setting by setting" },
    { "lint", RunLint, "lint FILE [--format json]     check a rule file and name each fault with its line" },
    { "verify", RunVerify, "verify FILE                  check a protected file's fingerprint" },
    { "select", RunSelect, "select FILE --rule NAME... [--password TEXT] [--drop-unoffered]" },
    { "deselect", RunDeselect, "deselect FILE --rule NAME... [--password TEXT] [--drop-unoffered]" },
    { "diff", RunDiff, "diff FILE [--rule NAME [--category CAT]] [--format json]" },
    { "reset", RunReset, "reset FILE (--rule NAME [--category CAT]... | --all) [--password TEXT] [--drop-unoffered]" },
    { "configure", RunConfigure,
        "configure FILE --rule NAME [--category CAT] [--set \"PARAMETER=VALUE\"]... [--criticality WORD] "
        "[--password P] [--drop-unoffered]" },
    { "dirs", RunDirs,
        "dirs [--script DIR] [--database DIR] [--manual-checks DIR] [--create] [--format json]  print or set the "
        "folders" },
    { "units", RunUnits,
        "units FILE LIN,ANG [--password TEXT] [--drop-unoffered]  convert a file's rules to other units" },
    { "userrule", RunUserRule,
        "userrule add --flavour custom|product --name N --category C --criticality WORD [--module KEY] "
        "--param \"NAME;OPERATOR;TYPE;VALUE\"... | userrule list [--format json] | userrule remove --name N "
        "--category C" },
    { "messages", RunMessages,
        "messages (export | import) FILE  write or read the rules' custom messages (.xlsx, .xls)" },
    { "db", RunDb, "db connect URL | db connect --clear  check and store the shop's database server" },
    { "db", RunDb, "db status [--format json]    the product database in use: where, schema, tables" },
    { "db", RunDb, "db log [--since DATE] [--format json]  who changed what in the product database" },
    { "db", RunDb, "db copy --to URL [--merge]   copy this seat's SQLite data onto the server" },
};

void PrintUsage(FILE* out)
{
    std::fprintf(out, "usage: vtrpro-rules COMMAND [ARGS]\n       vtrpro-rules --version\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n", c.usage);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        PrintUsage(args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? ExitCode::kRefused : ExitCode::kDone;
    }
    if (args.first() == QLatin1String("--version")) {
        std::printf("vtrpro-rules %s\n", VTRPRO_VERSION);
        return ExitCode::kDone;
    }
    const QString name = args.takeFirst();
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name))
            return c.run(args);
    std::fprintf(stderr, "vtrpro-rules: unknown command '%s'\n", qUtf8Printable(name));
    PrintUsage(stderr);
    return ExitCode::kRefused;
}
