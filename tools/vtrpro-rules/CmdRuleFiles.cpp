// new, show and verify: rule files from the command line.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"
#include "CommandLine.h"
#include "OutputFormat.h"
#include "RuleKeeper.h"

#include "ConcreteVTRRule.h"
#include "VtrLibrary.h"
#include "VtrRegularFile.h"
#include "VtrRule.h"
#include "VtrUtf8.h"
#include "document/CanonicalRuleText.h"
#include "document/DocumentLock.h"
#include "document/FileDetails.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "document/RulePassword.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"
#include "settings/RuleUnitSettings.h"
#include "Utilities/VTRUIUtils.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

namespace {
struct RuleRequest
{
    QString name;
    QString category; // empty: any
};

struct NewOptions
{
    QString path;
    std::vector<RuleRequest> rules;
    QString defaultCategory;
    bool haveUnits = false;
    RuleUnits units;
    bool havePassword = false;
    QString password;
};

bool ParseUnits(const QString& text, RuleUnits& units)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool okLinear = false;
    bool okAngular = false;
    const int linear = parts[0].trimmed().toInt(&okLinear);
    const int angular = parts[1].trimmed().toInt(&okAngular);
    if (!okLinear || !okAngular || linear < 0 || linear >= VtrUnits::kLinearCount || angular < 0
        || angular >= VtrUnits::kAngularCount)
        return false;
    units = { linear, angular };
    return true;
}

// The options of new as declared, turned into the rules asked for: a
// --category names the --rule before it; given first, it serves every rule.
int TakeNewOptions(const CLI::App& sub, const std::string& units, const std::string& password, NewOptions& options)
{
    for (const auto& [option, value] : CommandLine::InOrder(sub)) {
        if (option == "rule")
            options.rules.push_back({ CommandLine::Text(value), QString() });
        else if (option == "category" && options.rules.empty())
            options.defaultCategory = CommandLine::Text(value);
        else if (option == "category")
            options.rules.back().category = CommandLine::Text(value);
    }
    if (sub.count("--units")) {
        if (!ParseUnits(CommandLine::Text(units), options.units))
            return CommandLine::UsageError(sub,
                QStringLiteral("--units takes two codes, LINEAR (0-10) and ANGULAR (0-3), like 3,0; got \"%1\"")
                    .arg(CommandLine::Text(units)));
        options.haveUnits = true;
    }
    if (sub.count("--password")) {
        options.password = CommandLine::Text(password);
        if (options.password.size() > kMaxPasswordLength)
            return CommandLine::UsageError(
                sub, QStringLiteral("the password is longer than %1 characters").arg(kMaxPasswordLength));
        options.havePassword = true;
    }
    return ExitCode::kDone;
}

// Every rule that `rules` lists: module rules and the configurator's product
// rules, stamped like the rule list stamps them.
void CollectModuleRules(ModuleSet& modules, RuleKeeper& keeper)
{
    for (const ListedRule& listed : ListOfferedRules(modules))
        keeper.Keep(listed.rule);
}

QString UnitText(const RuleUnits& units)
{
    return QStringLiteral("%1 (%2), %3 (%4)")
        .arg(units.LinearUnit)
        .arg(LinearUnitStoredName(units.LinearUnit))
        .arg(units.AngularUnit)
        .arg(AngularUnitStoredName(units.AngularUnit));
}
int RunNew(const CLI::App& sub, NewOptions& options)
{
    if (options.rules.empty())
        return CommandLine::UsageError(sub, QStringLiteral("name at least one rule with --rule"));

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    RuleKeeper keeper(cli.Modules());
    CollectModuleRules(cli.Modules(), keeper);

    // Rule names are matched without regard to case, through one index.
    QHash<QString, std::vector<CVtrRule*>> byName;
    for (CVtrRule* rule : keeper.Rules())
        byName[rule->GetRuleName().toCaseFolded()].push_back(rule);

    CVTRFileDetails record; // units start from the stored default pair
    if (options.haveUnits)
        record.units = options.units;
    QHash<CVtrRule*, bool> chosen;
    std::vector<CVtrRule*> selected;
    for (const RuleRequest& request : options.rules) {
        const QString category = request.category.isEmpty() ? options.defaultCategory : request.category;
        std::vector<CVtrRule*> matches;
        for (CVtrRule* rule : byName.value(request.name.toCaseFolded()))
            if (category.isEmpty() || rule->GetRuleCategory().compare(category, Qt::CaseInsensitive) == 0)
                matches.push_back(rule);
        if (matches.empty()) {
            std::fprintf(stderr, "vtrpro-rules new: no loaded module has the rule \"%s\"%s\n",
                qUtf8Printable(request.name),
                category.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" in category \"%1\"").arg(category)));
            return ExitCode::kRefused;
        }
        if (matches.size() > 1) {
            QStringList categories;
            for (CVtrRule* rule : matches)
                categories << rule->GetRuleCategory();
            std::fprintf(stderr,
                "vtrpro-rules new: the rule \"%s\" is in more than one category (%s); add --category\n",
                qUtf8Printable(request.name), qUtf8Printable(categories.join(QStringLiteral(", "))));
            return ExitCode::kRefused;
        }
        if (chosen.contains(matches.front()))
            continue; // named twice: the file holds it once
        chosen.insert(matches.front(), true);
        selected.push_back(matches.front());
    }

    // As a save does: a fresh record of the path, the user, the time, the
    // units and the selected rules (in those units).
    record.name = QFileInfo(options.path).absoluteFilePath();
    record.createdBy = LoggedOnUserName();
    record.createdOn = FormatCreatedOn(QDateTime::currentDateTime());
    for (CVtrRule* rule : selected) {
        const RuleUnits from = rule->GetRuleUnits();
        if (!(from == record.units))
            rule->UpdateRule(&from, &record.units);
        rule->SetSelected(1);
        record.AddRule(rule);
    }
    if (options.havePassword) {
        record.passwordProtected = true;
        record.password = options.password;
    }
    // As a save does: the file's lock first, so that a file another copy
    // holds (under any of its names) is left as it is.
    DocumentLock lock;
    const FileErrorCause cause = lock.Acquire(record.name, false);
    if (cause == FileErrorCause::SharingViolation) {
        const QString holder = DocumentLock::Holder(record.name);
        std::fprintf(stderr, "vtrpro-rules new: %s is open for writing elsewhere%s; nothing was written\n",
            qUtf8Printable(record.name),
            holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
        return ExitCode::kHeld;
    }
    if (cause != FileErrorCause::None) {
        std::fprintf(stderr, "vtrpro-rules new: %s cannot be written\n", qUtf8Printable(record.name));
        return ExitCode::kRefused;
    }
    if (!WriteRuleFile(record, record.name, false)) {
        std::fprintf(stderr, "vtrpro-rules new: %s could not be written\n", qUtf8Printable(record.name));
        return ExitCode::kRefused;
    }
    std::printf("%s: %d rule(s) written%s\n", qUtf8Printable(record.name), record.RuleCount(),
        options.havePassword ? ", password protected" : "");
    return ExitCode::kDone;
}

// show --canonical: one line per setting in a fixed order, for text diffs
// (git's textconv). Only the XML is read: no modules, no rule objects.
int RunShowCanonical(const QString& path)
{
    QString why;
    if (!VtrIsRegularFile(path, &why)) {
        std::fprintf(stderr, "vtrpro-rules show: %s is %s\n", qUtf8Printable(path),
            qUtf8Printable(QFileInfo::exists(path) ? why : QStringLiteral("missing")));
        return ExitCode::kRefused;
    }
    std::string text;
    if (!AppendCanonicalRuleText(path, text, why)) {
        std::fprintf(stderr, "vtrpro-rules show: %s cannot be read: %s\n", qUtf8Printable(path), qUtf8Printable(why));
        return ExitCode::kRefused;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return ExitCode::kDone;
}

int RunShowJson(const QString& path);

int RunShow(const QString& path, bool json, bool canonical)
{
    if (canonical)
        return RunShowCanonical(path);
    if (json)
        return RunShowJson(path);
    // Refused before anything is opened: reading a FIFO would wait for ever.
    QString why;
    if (QFileInfo::exists(path) && !VtrIsRegularFile(path, &why)) {
        std::fprintf(stderr, "vtrpro-rules show: %s is %s\n", qUtf8Printable(path), qUtf8Printable(why));
        return ExitCode::kRefused;
    }

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    RuleKeeper keeper(cli.Modules());
    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, path);
    for (CVtrRule* rule : record.Rules())
        keeper.Keep(rule);
    if (!read) {
        std::fprintf(stderr, "vtrpro-rules show: %s is not a readable rule file\n", qUtf8Printable(path));
        return ExitCode::kRefused;
    }
    std::printf("File: %s\n", qUtf8Printable(path));
    std::printf("Version: %s\n", qUtf8Printable(record.version));
    std::printf("Units: %s\n", qUtf8Printable(UnitText(record.units)));
    std::printf("Protected: %s\n", record.passwordProtected ? "yes" : "no");
    std::printf("Rules: %d\n", record.RuleCount());
    // A line per rule, gathered in blocks: a big file has many.
    std::string lines;
    for (CVtrRule* rule : record.Rules()) {
        char number[16];
        lines.append(
            number, static_cast<size_t>(std::snprintf(number, sizeof number, "%d", rule->GetSequenceNumber())));
        for (const QString* text : { &rule->GetRuleName(), &rule->GetRuleCategory(), &rule->GetRuleModuleName() }) {
            lines += '\t';
            lines += VtrUtf8(*text); // up to a NUL, as printf's "%s" takes it
        }
        lines += '\n';
        if (lines.size() >= (1 << 16)) {
            std::fwrite(lines.data(), 1, lines.size(), stdout);
            lines.clear();
        }
    }
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    // The program drops these when it opens the file, and its next save
    // leaves them out.
    if (!record.droppedRules.empty()) {
        std::printf("Not offered by any loaded module: %zu\n", record.droppedRules.size());
        for (const DroppedRuleElement& dropped : record.droppedRules)
            std::printf("-\t%s\t%s\t%s\tnot offered by any loaded module\n", qUtf8Printable(dropped.name),
                qUtf8Printable(dropped.category), qUtf8Printable(dropped.module));
    }
    std::fflush(stdout);
    return ExitCode::kDone;
}

int RunVerify(const QString& file)
{
    // Only the XML is needed: no modules, no rule objects.
    const QStringList args { file };
    QString detail;
    switch (VerifyRuleFileFingerprint(args[0], &detail)) {
    case FingerprintStatus::Unprotected:
        std::printf("%s: not password protected; nothing to verify\n", qUtf8Printable(args[0]));
        return ExitCode::kDone;
    case FingerprintStatus::Matches:
        std::printf("%s: fingerprint matches\n", qUtf8Printable(args[0]));
        return ExitCode::kDone;
    case FingerprintStatus::Modified:
        std::printf(
            "%s: fingerprint does not match; the rules were changed outside the program\n", qUtf8Printable(args[0]));
        return ExitCode::kFingerprint;
    case FingerprintStatus::Unreadable:
        break;
    }
    std::fprintf(stderr, "%s: cannot be read as a rule file: %s\n", qUtf8Printable(args[0]), qUtf8Printable(detail));
    return ExitCode::kRefused;
}

// show --format json: the fields of the text, as one JSON object.
int RunShowJson(const QString& path)
{
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    RuleKeeper keeper(cli.Modules());
    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, path);
    for (CVtrRule* rule : record.Rules())
        keeper.Keep(rule);
    if (!read) {
        std::fprintf(stderr, "vtrpro-rules show: %s is not a readable rule file\n", qUtf8Printable(path));
        return ExitCode::kRefused;
    }
    QJsonArray rules;
    for (CVtrRule* rule : record.Rules())
        rules.append(QJsonObject { { QStringLiteral("sequence"), rule->GetSequenceNumber() },
            { QStringLiteral("name"), rule->GetRuleName() }, { QStringLiteral("category"), rule->GetRuleCategory() },
            { QStringLiteral("module"), rule->GetRuleModuleName() } });
    OutputFormat::PrintJson(QJsonObject { { QStringLiteral("file"), path },
        { QStringLiteral("version"), record.version }, { QStringLiteral("units"), UnitText(record.units) },
        { QStringLiteral("linearUnit"), record.units.LinearUnit },
        { QStringLiteral("angularUnit"), record.units.AngularUnit },
        { QStringLiteral("protected"), record.passwordProtected }, { QStringLiteral("rules"), rules } });
    return ExitCode::kDone;
}
} // namespace

void DeclareRuleFiles(CLI::App& root, CommandLine::Declarations& out)
{
    {
        CLI::App* sub = root.add_subcommand("new", "create a rule file holding the named rules");
        auto file = std::make_shared<std::string>();
        auto units = std::make_shared<std::string>();
        auto password = std::make_shared<std::string>();
        sub->add_option("FILE", *file, "the rule file to write")->required();
        sub->add_option("--rule", "a rule to hold (repeat for more)")
            ->type_name("NAME")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->expected(1);
        sub->add_option("--category", "the category of the --rule before it; given first, of every rule")
            ->type_name("CAT")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->expected(1);
        sub->add_option("--units", *units, "the file's units as linear and angular codes, like 3,0")
            ->type_name("LIN,ANG");
        sub->add_option("--password", *password, "protect the file with a password")->type_name("TEXT");
        out.push_back({ sub, [sub, file, units, password] {
                           NewOptions options;
                           options.path = CommandLine::Text(*file);
                           if (const int code = TakeNewOptions(*sub, *units, *password, options))
                               return code;
                           return RunNew(*sub, options);
                       } });
    }
    {
        CLI::App* sub = root.add_subcommand("show", "print a rule file's version, units, protection and rules");
        auto file = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        auto canonical = std::make_shared<bool>(false);
        sub->add_option("FILE", *file, "the rule file")->required();
        CommandLine::AddFormat(*sub, *json);
        sub->add_flag("--canonical", *canonical, "one line per setting in a fixed order, for text diffs");
        out.push_back({ sub, [file, json, canonical] { return RunShow(CommandLine::Text(*file), *json, *canonical); } });
    }
    {
        CLI::App* sub = root.add_subcommand("verify", "check a protected file's fingerprint");
        auto file = std::make_shared<std::string>();
        sub->add_option("FILE", *file, "the rule file")->required();
        out.push_back({ sub, [file] { return RunVerify(CommandLine::Text(*file)); } });
    }
}
