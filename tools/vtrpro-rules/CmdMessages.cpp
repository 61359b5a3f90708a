#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"

#include "VTRDataHelper.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"
#include "custommsg/CustomMessageTransfer.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QDir>

namespace {
int RunMessages(bool exporting, const QString& path)
{
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
} // namespace

void DeclareMessages(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* messages = root.add_subcommand("messages", "write or read the rules' custom messages (.xlsx, .xls)");
    messages->require_subcommand(1, 1);
    for (const bool exporting : { true, false }) {
        CLI::App* sub = messages->add_subcommand(exporting ? "export" : "import",
            exporting ? "write every offered rule's custom message to a sheet"
                      : "store the custom messages of a sheet in the product database");
        auto file = std::make_shared<std::string>();
        sub->add_option("FILE", *file, "the sheet (.xlsx, .xls)")->required();
        out.push_back({ sub, [sub, exporting, file] {
                           if (file->empty())
                               return CommandLine::UsageError(*sub, QStringLiteral("name the sheet"));
                           return RunMessages(exporting, CommandLine::Text(*file));
                       } });
    }
}
