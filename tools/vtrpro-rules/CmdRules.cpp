#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"

#include "Utilities/StringTable.h"
#include "VTRDataHelper.h"
#include "VtrRule.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString CriticalityWord(int32_t criticality)
{
    return VtrString(criticality >= 1 && criticality <= 5 ? 566 + criticality : 569);
}


int RunRules(bool json)
{
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    std::vector<ListedRule> listed = ListOfferedRules(cli.Modules());
    // Stored rules (and, for json, messages) left out silently would look
    // like an empty database.
    if (!DatabaseWasReadable()) {
        ReleaseOfferedRules(listed);
        return ExitCode::kRefused;
    }

    if (json) {
        vtr_db::IDatabaseCollector* database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
        QJsonArray array;
        for (const ListedRule& l : listed) {
            const CVtrRule& r = *l.rule;
            QString message;
            if (database)
                database->GetCustomMessage(r.GetHelpId(), r.GetRuleName(), r.GetRuleCategory(), message);
            array.append(QJsonObject { { QStringLiteral("helpId"), r.GetHelpId() },
                { QStringLiteral("name"), r.GetRuleName() }, { QStringLiteral("displayName"), r.GetDisplayName() },
                { QStringLiteral("category"), r.GetRuleCategory() },
                { QStringLiteral("module"), r.GetRuleModuleName() },
                { QStringLiteral("criticality"), CriticalityWord(r.GetCriticality()) },
                { QStringLiteral("severity"), r.GetCriticality() }, { QStringLiteral("customMessage"), message } });
        }
        if (!DatabaseWasReadable()) {
            ReleaseOfferedRules(listed);
            return ExitCode::kRefused;
        }
        const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    } else {
        for (const ListedRule& l : listed) {
            const CVtrRule& r = *l.rule;
            std::printf("%d\t%s\t%s\t%s\t%s\n", r.GetHelpId(), qUtf8Printable(r.GetRuleName()),
                qUtf8Printable(r.GetRuleCategory()), qUtf8Printable(r.GetRuleModuleName()),
                qUtf8Printable(CriticalityWord(r.GetCriticality())));
        }
    }
    std::fflush(stdout);

    // Rules go back to their modules before the context frees the libraries.
    ReleaseOfferedRules(listed);
    return ExitCode::kDone;
}
} // namespace

void DeclareRules(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* sub = root.add_subcommand("rules", "list every rule of the loaded modules");
    auto json = std::make_shared<bool>(false);
    CommandLine::AddFormat(*sub, *json);
    out.push_back({ sub, [json] { return RunRules(*json); } });
}
