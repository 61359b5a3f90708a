#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"

#include "VTRDataHelper.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"
#include "custommsg/CustomMessageTransfer.h"

#include <cstdio>
#include <vector>

#include <QDir>

namespace {
int Usage()
{
    std::fprintf(stderr, "vtrpro-rules: usage: messages export FILE | messages import FILE\n");
    return ExitCode::kRefused;
}
} // namespace

int RunMessages(const QStringList& args)
{
    if (args.size() != 2 || args[1].isEmpty() || args[1].startsWith(QLatin1String("--")))
        return Usage();
    const bool exporting = args[0] == QLatin1String("export");
    if (!exporting && args[0] != QLatin1String("import"))
        return Usage();
    const QString path = args[1];

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    std::vector<ListedRule> offered = ListOfferedRules(cli.Modules());
    QList<CVtrRule*> rules;
    rules.reserve(static_cast<qsizetype>(offered.size()));
    for (const ListedRule& l : offered)
        rules.append(l.rule);
    vtr_db::IDatabaseCollector* database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    RuleMessageRows rows(rules, database);
    // A sheet of blank messages from a database that could not be read would
    // pass for the real thing, and an import would write into the unknown.
    if (!DatabaseWasReadable()) {
        ReleaseOfferedRules(offered);
        return ExitCode::kRefused;
    }

    int code = ExitCode::kDone;
    if (exporting) {
        if (!CustomMessageTransfer::Export(path, rows))
            code = ExitCode::kRefused;
    } else {
        CustomMessageServices services;
        services.database = database;
        // No one to answer a dialog: the warning is said and the import goes on.
        services.confirm = [] {
            std::fprintf(stderr, "%s\n", qUtf8Printable(CustomMessageStore::CentralDatabaseWarningText()));
            return true;
        };
        const CustomMessageTransfer::ImportResult result
            = CustomMessageTransfer::Import(path, rows, services, QDir::tempPath());
        if (!result.checks.log.isEmpty())
            std::fputs(result.checks.log.toUtf8().constData(), stdout);
        if (!result.checked || !result.stored)
            code = ExitCode::kRefused;
        else if (result.AnyFlag())
            code = ExitCode::kFound;
        if (result.AnyFlag())
            std::fprintf(stderr, "vtrpro-rules: the import log is %s\n", qUtf8Printable(result.logPath));
    }
    std::fflush(stdout);
    ReleaseOfferedRules(offered);
    return code;
}
