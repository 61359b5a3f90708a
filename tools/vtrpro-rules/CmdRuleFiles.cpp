// new, show and verify: rule files from the command line.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"
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

int Usage(const char* command, const QString& why)
{
    std::fprintf(stderr, "vtrpro-rules %s: %s\n", command, qUtf8Printable(why));
    return ExitCode::kRefused;
}

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

// Takes "--name value" and "--name=value"; false when the value is missing.
bool TakeValue(const QStringList& args, qsizetype& i, const QString& option, QString& value, bool& matched)
{
    matched = false;
    const QString& arg = args[i];
    if (arg == option) {
        matched = true;
        if (i + 1 >= args.size())
            return false;
        value = args[++i];
        return true;
    }
    if (arg.startsWith(option + QLatin1Char('='))) {
        matched = true;
        value = arg.mid(option.size() + 1);
        return true;
    }
    return true;
}

int ParseNew(const QStringList& args, NewOptions& options)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString value;
        bool matched = false;
        if (!TakeValue(args, i, QStringLiteral("--rule"), value, matched))
            return Usage("new", QStringLiteral("--rule needs a rule name"));
        if (matched) {
            options.rules.push_back({ value, QString() });
            continue;
        }
        if (!TakeValue(args, i, QStringLiteral("--category"), value, matched))
            return Usage("new", QStringLiteral("--category needs a category name"));
        if (matched) {
            // A category names the rule before it; given first, it serves every rule.
            if (options.rules.empty())
                options.defaultCategory = value;
            else
                options.rules.back().category = value;
            continue;
        }
        if (!TakeValue(args, i, QStringLiteral("--units"), value, matched))
            return Usage("new", QStringLiteral("--units needs LINEAR,ANGULAR"));
        if (matched) {
            if (!ParseUnits(value, options.units))
                return Usage("new",
                    QStringLiteral("--units takes two codes, LINEAR (0-10) and ANGULAR (0-3), like 3,0; "
                                   "got \"%1\"")
                        .arg(value));
            options.haveUnits = true;
            continue;
        }
        if (!TakeValue(args, i, QStringLiteral("--password"), value, matched))
            return Usage("new", QStringLiteral("--password needs a text"));
        if (matched) {
            if (value.size() > kMaxPasswordLength)
                return Usage(
                    "new", QStringLiteral("the password is longer than %1 characters").arg(kMaxPasswordLength));
            options.password = value;
            options.havePassword = true;
            continue;
        }
        if (args[i].startsWith(QLatin1String("--")))
            return Usage("new", QStringLiteral("unknown option %1").arg(args[i]));
        if (!options.path.isEmpty())
            return Usage("new", QStringLiteral("only one FILE may be given"));
        options.path = args[i];
    }
    if (options.path.isEmpty())
        return Usage("new",
            QStringLiteral("usage: new FILE --rule NAME... [--category CAT] [--units LIN,ANG] "
                           "[--password TEXT]"));
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
int RunShowFormatted(const QStringList& args);
} // namespace

int RunNew(const QStringList& args)
{
    NewOptions options;
    if (const int code = ParseNew(args, options))
        return code;
    if (options.rules.empty())
        return Usage("new", QStringLiteral("name at least one rule with --rule"));

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

namespace {
// show --canonical: one line per setting in a fixed order, for text diffs
// (git's textconv). Only the XML is read: no modules, no rule objects.
int RunShowCanonical(QStringList args)
{
    args.removeAll(QStringLiteral("--canonical"));
    if (args.size() != 1 || args[0].startsWith(QLatin1String("--")))
        return Usage("show", QStringLiteral("usage: show FILE --canonical"));
    QString why;
    if (!VtrIsRegularFile(args[0], &why)) {
        std::fprintf(stderr, "vtrpro-rules show: %s is %s\n", qUtf8Printable(args[0]),
            qUtf8Printable(QFileInfo::exists(args[0]) ? why : QStringLiteral("missing")));
        return ExitCode::kRefused;
    }
    std::string text;
    if (!AppendCanonicalRuleText(args[0], text, why)) {
        std::fprintf(stderr, "vtrpro-rules show: %s cannot be read: %s\n", qUtf8Printable(args[0]), qUtf8Printable(why));
        return ExitCode::kRefused;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return ExitCode::kDone;
}
} // namespace

int RunShow(const QStringList& args)
{
    if (args.contains(QStringLiteral("--canonical")))
        return RunShowCanonical(args);
    if (OutputFormat::Requested(args))
        return RunShowFormatted(args);
    if (args.size() != 1 || args[0].startsWith(QLatin1String("--")))
        return Usage("show", QStringLiteral("usage: show FILE"));
    const QString path = args[0];
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

int RunVerify(const QStringList& args)
{
    if (args.size() != 1 || args[0].startsWith(QLatin1String("--")))
        return Usage("verify", QStringLiteral("usage: verify FILE"));
    // Only the XML is needed: no modules, no rule objects.
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

namespace {
// show with "--format": the fields of the text, as one JSON object.
int RunShowFormatted(const QStringList& arguments)
{
    QStringList args = arguments;
    bool json = false;
    if (!OutputFormat::Take(args, json) || args.size() != 1 || args[0].startsWith(QLatin1String("--")))
        return Usage("show", QStringLiteral("usage: show FILE [--format text|json]"));
    if (!json)
        return RunShow(args);
    const QString path = args[0];

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
