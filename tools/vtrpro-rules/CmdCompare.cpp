// compare: two rule files, rule by rule and setting by setting, never by
// text. Rules pair by module, category and name; the second file's values
// are converted to the first file's units before they are compared, so the
// same rules saved in other units compare equal.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "RuleKeeper.h"

#include "VtrRegularFile.h"
#include "document/CanonicalRuleText.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "views/RuleFileCompare.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
// The file at path with its rules in the given units: as read when they
// are its units already, else converted through the modules and written to
// a scratch file. Rules no loaded module offers cannot be converted and are
// compared as they stand (said on stderr).
bool ReadInUnits(const QString& path, const RuleUnits& units, QTemporaryDir& scratch, CanonicalRuleFile& out,
    QString& error)
{
    if (!ReadCanonicalRuleFile(path, out, error))
        return false;
    if (CanonicalFileUnits(out) == units)
        return true;
    CliContext cli;
    if (cli.Start() != 0) {
        error = QStringLiteral("the modules cannot be loaded to convert its units");
        return false;
    }
    RuleKeeper keeper(cli.Modules());
    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, path);
    for (CVtrRule* rule : record.Rules())
        keeper.Keep(rule);
    if (!read) {
        error = QStringLiteral("it is not a readable rule file");
        return false;
    }
    size_t unconverted = 0;
    if (!scratch.isValid()
        || !ConvertCanonicalFile(record, units, scratch.filePath(QStringLiteral("converted.vtr")), out, unconverted,
            error))
        return false;
    if (unconverted > 0)
        std::fprintf(stderr,
            "vtrpro-rules compare: %zu rule(s) of %s are offered by no loaded module and are compared "
            "without converting their units\n",
            unconverted, qUtf8Printable(path));
    return true;
}

QJsonValue JsonText(const std::optional<std::string>& text)
{
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}
int RunCompare(const QStringList& args, bool json)
{
    for (const QString& path : args) {
        QString why;
        if (!VtrIsRegularFile(path, &why)) {
            std::fprintf(stderr, "vtrpro-rules compare: %s is %s\n", qUtf8Printable(path),
                qUtf8Printable(QFileInfo::exists(path) ? why : QStringLiteral("missing")));
            return ExitCode::kRefused;
        }
    }
    CanonicalRuleFile a;
    CanonicalRuleFile b;
    QString error;
    if (!ReadCanonicalRuleFile(args[0], a, error)) {
        std::fprintf(stderr, "vtrpro-rules compare: %s cannot be read: %s\n", qUtf8Printable(args[0]),
            qUtf8Printable(error));
        return ExitCode::kRefused;
    }
    QTemporaryDir scratch;
    if (!ReadInUnits(args[1], CanonicalFileUnits(a), scratch, b, error)) {
        std::fprintf(stderr, "vtrpro-rules compare: %s cannot be read: %s\n", qUtf8Printable(args[1]),
            qUtf8Printable(error));
        return ExitCode::kRefused;
    }

    const RuleFileComparison comparison = CompareRuleFiles(a, b);
    const std::vector<std::string>& onlyA = comparison.onlyInA;
    const std::vector<std::string>& onlyB = comparison.onlyInB;
    const std::vector<SettingDifference>& differences = comparison.settings;
    const bool same = comparison.Same();
    if (json) {
        QJsonArray a1, b1, settings;
        for (const std::string& r : onlyA)
            a1.append(QString::fromStdString(r));
        for (const std::string& r : onlyB)
            b1.append(QString::fromStdString(r));
        for (const SettingDifference& d : differences)
            settings.append(QJsonObject { { QStringLiteral("rule"), QString::fromStdString(d.rule) },
                { QStringLiteral("setting"), QString::fromStdString(d.setting) }, { QStringLiteral("a"), JsonText(d.a) },
                { QStringLiteral("b"), JsonText(d.b) } });
        const QJsonObject o { { QStringLiteral("a"), args[0] }, { QStringLiteral("b"), args[1] },
            { QStringLiteral("same"), same }, { QStringLiteral("onlyInA"), a1 }, { QStringLiteral("onlyInB"), b1 },
            { QStringLiteral("settings"), settings } };
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        for (const std::string& r : onlyA)
            std::printf("only in %s: %s\n", qUtf8Printable(args[0]), r.c_str());
        for (const std::string& r : onlyB)
            std::printf("only in %s: %s\n", qUtf8Printable(args[1]), r.c_str());
        for (const SettingDifference& d : differences)
            std::printf("%s %s: %s | %s\n", d.rule.c_str(), d.setting.c_str(), d.a ? d.a->c_str() : "(none)",
                d.b ? d.b->c_str() : "(none)");
        if (same)
            std::printf("same rules and settings\n");
        else
            std::printf("%zu rule(s) only in A, %zu only in B, %zu setting(s) differ\n", onlyA.size(), onlyB.size(),
                differences.size());
    }
    std::fflush(stdout);
    return same ? ExitCode::kDone : ExitCode::kFound;
}
} // namespace

void DeclareCompare(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* sub = root.add_subcommand("compare", "compare two rule files rule by rule and setting by setting");
    auto files = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    sub->add_option("FILES", *files, "the two rule files, A and B")->required()->expected(2)->type_name("A B");
    CommandLine::AddFormat(*sub, *json);
    out.push_back({ sub, [files, json] { return RunCompare(CommandLine::Texts(*files), *json); } });
}
