// lint: checks a rule file against the loaded modules and the format, and
// names each fault with its line, the rule, a stable check name and a
// sentence. Exit 0 clean, 1 findings, 2 unreadable, 3 fingerprint mismatch.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "VTRDataHelper.h"
#include "VtrRegularFile.h"
#include "document/RuleFile.h"
#include "views/RuleFileLint.h"
#include "views/RuleSettingsReport.h"

#include <cstdio>
#include <memory>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
int RunLint(const QString& path, bool json)
{
    QString why;
    if (!VtrIsRegularFile(path, &why)) {
        std::fprintf(stderr, "vtrpro-rules lint: %s is %s\n", qUtf8Printable(path),
            qUtf8Printable(QFileInfo::exists(path) ? why : QStringLiteral("missing")));
        return ExitCode::kRefused;
    }

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    // The modules' defaults, in the file's units, tell which rules and
    // settings they know.
    QTemporaryDir scratch;
    const QString defaultsPath = scratch.filePath(QString::fromLatin1(RuleFileNames::kAllRulesFile));
    RuleElementIndex offered;
    if (!scratch.isValid() || !WriteOfferedDefaults(cli, RuleFileUnits(path), defaultsPath)
        || !offered.Load(defaultsPath)) {
        std::fprintf(stderr, "vtrpro-rules lint: the default settings of the loaded modules cannot be written\n");
        return ExitCode::kRefused;
    }
    LintContext context;
    context.offered = &offered;
    vtr_db::IDatabaseCollector* database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    if (database && database->IsConnected())
        context.customMessage = [database](int32_t helpId, const QString& name, const QString& category) {
            QString message;
            database->GetCustomMessage(helpId, name, category, message);
            return message;
        };

    const LintResult result = LintRuleFile(path, context);
    if (!result.readable) {
        std::fprintf(
            stderr, "vtrpro-rules lint: %s cannot be read: %s\n", qUtf8Printable(path), qUtf8Printable(result.error));
        return ExitCode::kRefused;
    }
    if (json) {
        QJsonArray findings;
        for (const LintFinding& f : result.findings)
            findings.append(QJsonObject { { QStringLiteral("line"), f.line }, { QStringLiteral("rule"), f.rule },
                { QStringLiteral("check"), f.check }, { QStringLiteral("message"), f.message } });
        const QString fingerprint = result.fingerprintMismatch ? QStringLiteral("mismatch")
            : result.fingerprintMatches                        ? QStringLiteral("matches")
                                                               : QStringLiteral("unprotected");
        const QJsonObject o { { QStringLiteral("schema"), QStringLiteral("vtrpro-lint/1") },
            { QStringLiteral("file"), path }, { QStringLiteral("fingerprint"), fingerprint },
            { QStringLiteral("findings"), findings } };
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        for (const LintFinding& f : result.findings)
            std::printf("%s:%d: %s: %s%s\n", qUtf8Printable(path), f.line, qUtf8Printable(f.check),
                f.rule.isEmpty() ? "" : qUtf8Printable(f.rule + QStringLiteral(": ")), qUtf8Printable(f.message));
        if (result.findings.isEmpty())
            std::printf("%s: no findings\n", qUtf8Printable(path));
    }
    std::fflush(stdout);
    if (result.fingerprintMismatch)
        return ExitCode::kFingerprint;
    return result.findings.isEmpty() ? ExitCode::kDone : ExitCode::kFound;
}
} // namespace

void DeclareLint(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* sub = root.add_subcommand("lint", "check a rule file and name each fault with its line");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    sub->add_option("FILE", *file, "the rule file")->required();
    CommandLine::AddFormat(*sub, *json);
    out.push_back({ sub, [file, json] { return RunLint(CommandLine::Text(*file), *json); } });
}
