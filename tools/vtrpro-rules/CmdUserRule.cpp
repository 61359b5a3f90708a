// userrule add / list / remove: users' custom and product rules, kept by the
// configurator in the product database, as the rule-creation program keeps them.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "ListedRules.h"
#include "OutputFormat.h"

#include "PLQRuleConfigurator.h"
#include "RuleUnitWords.h"
#include "VtrRule.h"
#include "settings/RuleUnitSettings.h"
#include "userrules/UserRuleCommands.h"
#include "userrules/UserRuleStore.h"

#include <cstdio>

#include <QJsonArray>
#include <QJsonObject>

namespace {
int Refuse(const QString& message)
{
    std::fprintf(stderr, "vtrpro-rules: %s\n", qUtf8Printable(message));
    return ExitCode::kRefused;
}

const char kAddUsage[]
    = "userrule add --flavour custom|product --name N --category C --criticality WORD "
      "[--module KEY] [--summary TEXT] --param \"NAME;OPERATOR;TYPE;VALUE\"...\n"
      "  a length or angle VALUE may carry its unit (\"30 mm\", \"1.2 in\", \"5 deg\"); a bare number\n"
      "  is read in the stored default units";

// Takes "--option VALUE" or "--option=VALUE" at i; false when args[i] is not that option.
bool TakeValue(const QStringList& args, qsizetype& i, const QString& option, QString& value, bool& missing)
{
    if (args[i] == option) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (args[i].startsWith(option + QLatin1Char('='))) {
        value = args[i].mid(option.size() + 1);
        return true;
    }
    return false;
}

// The store over the context's configurator; refuses (on stderr) when it is not there.
bool OpenStore(CliContext& cli, std::unique_ptr<UserRuleStore>& store)
{
    store = std::make_unique<UserRuleStore>(cli.Modules().configuratorLibrary);
    if (store->IsUsable())
        return true;
    Refuse(QStringLiteral("the product-rule configurator (PLQRuleConfiguratoru) is not available"));
    return false;
}

int Add(const QStringList& args)
{
    UserRuleDraft draft;
    QString flavour;
    QString criticality;
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool missing = false;
        QString param;
        if (TakeValue(args, i, QStringLiteral("--flavour"), flavour, missing)
            || TakeValue(args, i, QStringLiteral("--name"), draft.name, missing)
            || TakeValue(args, i, QStringLiteral("--category"), draft.category, missing)
            || TakeValue(args, i, QStringLiteral("--criticality"), criticality, missing)
            || TakeValue(args, i, QStringLiteral("--module"), draft.key, missing)
            || TakeValue(args, i, QStringLiteral("--summary"), draft.summary, missing)) {
            if (missing)
                return Refuse(QStringLiteral("%1 needs a value; usage: %2").arg(args[i], QLatin1String(kAddUsage)));
            continue;
        }
        if (TakeValue(args, i, QStringLiteral("--param"), param, missing)) {
            if (missing)
                return Refuse(QStringLiteral("--param needs a value; usage: %1").arg(QLatin1String(kAddUsage)));
            UserRuleParameter parameter;
            QString error;
            if (!UserRuleDrafts::ParseParameter(param, parameter, error))
                return Refuse(error);
            draft.parameters.push_back(parameter);
            continue;
        }
        return Refuse(QStringLiteral("unknown argument '%1'; usage: %2").arg(args[i], QLatin1String(kAddUsage)));
    }
    if (flavour != QLatin1String("custom") && flavour != QLatin1String("product"))
        return Refuse(QStringLiteral("--flavour must be custom or product; usage: %1").arg(QLatin1String(kAddUsage)));
    draft.productRule = flavour == QLatin1String("product");
    draft.criticality = UserRuleDrafts::CriticalityOf(criticality);
    if (!draft.criticality)
        return Refuse(QStringLiteral("--criticality must be one of %1")
                          .arg(UserRuleDrafts::CriticalityWords().join(QStringLiteral(", "))));

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    std::unique_ptr<UserRuleStore> store;
    if (!OpenStore(cli, store))
        return ExitCode::kRefused;
    // The names taken are those of every rule the rule list would show.
    std::vector<ListedRule> listed = ListOfferedRules(cli.Modules());
    QList<CVtrRule*> rules;
    for (const ListedRule& l : listed)
        rules.append(l.rule);
    const RuleNameTable names = UserRuleCommands::NameTable(rules);
    ReleaseOfferedRules(listed);

    QString error;
    if (!UserRuleDrafts::Validate(draft, store->Keys(), names, QString(), error))
        return Refuse(error);
    // Values are entered in the stored default units, as the program's Create
    // commands take them without a document.
    RuleUnits units;
    LoadDefaultRuleUnits(units);
    if (!store->Store(draft, units, QString(), QString(), error))
        return Refuse(error);
    std::printf("stored \"%s\" (%s) under %s\n", qUtf8Printable(draft.name), qUtf8Printable(draft.category),
        qUtf8Printable(draft.key));
    // The default units are whatever the window last stored: say which a
    // bare number was read in, so that a surprise shows at once.
    for (const UserRuleParameter& p : draft.parameters) {
        double number = 0;
        int32_t unit = -1;
        QString unused;
        if ((p.type != UserRuleValueType::Length && p.type != UserRuleValueType::Angle)
            || !UserRuleDrafts::ReadNumber(p, number, unit, unused) || unit >= 0)
            continue;
        const bool length = p.type == UserRuleValueType::Length;
        std::printf("  \"%s\" %s has no unit: read in %s (%s), the stored default %s unit\n", qUtf8Printable(p.name),
            qUtf8Printable(p.value.trimmed()),
            qUtf8Printable(
                length ? VtrUnits::LinearStoredName(units.LinearUnit) : VtrUnits::AngularStoredName(units.AngularUnit)),
            qUtf8Printable(
                length ? VtrUnits::LinearSymbol(units.LinearUnit) : VtrUnits::AngularSymbol(units.AngularUnit)),
            length ? "length" : "angle");
    }
    return ExitCode::kDone;
}

int List(QStringList args)
{
    bool json = false;
    if (!OutputFormat::Take(args, json) || !args.isEmpty())
        return Refuse(QStringLiteral("usage: userrule list [--format text|json]"));
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    std::unique_ptr<UserRuleStore> store;
    if (!OpenStore(cli, store))
        return ExitCode::kRefused;
    std::vector<UserRuleStore::Entry> entries;
    QString error;
    if (!store->List(entries, error))
        return Refuse(error);

    const RuleUnits stored {}; // millimetres and degrees, as the database holds them
    QJsonArray array;
    for (const UserRuleStore::Entry& e : entries) {
        const UserRuleDraft draft = UserRuleDrafts::FromRule(*e.rule, e.key, stored);
        const QString criticality = UserRuleDrafts::CriticalityWords().value(draft.criticality - 1);
        if (!json) {
            std::printf("%s\t%s\t%s\t%s\t%s\n", qUtf8Printable(draft.name), qUtf8Printable(draft.category),
                qUtf8Printable(e.rule->GetRuleModuleName()), qUtf8Printable(e.key), qUtf8Printable(criticality));
            for (const UserRuleParameter& p : draft.parameters)
                std::printf("  %s %s %s (%s)\n", qUtf8Printable(p.name), qUtf8Printable(p.op), qUtf8Printable(p.value),
                    qUtf8Printable(UserRuleDrafts::TypeWord(p.type)));
            continue;
        }
        QJsonArray parameters;
        for (const UserRuleParameter& p : draft.parameters)
            parameters.append(QJsonObject { { QStringLiteral("name"), p.name }, { QStringLiteral("operator"), p.op },
                { QStringLiteral("type"), UserRuleDrafts::TypeWord(p.type) }, { QStringLiteral("value"), p.value } });
        array.append(QJsonObject { { QStringLiteral("name"), draft.name },
            { QStringLiteral("category"), draft.category }, { QStringLiteral("module"), e.rule->GetRuleModuleName() },
            { QStringLiteral("key"), e.key }, { QStringLiteral("flavour"), draft.productRule ? "product" : "custom" },
            { QStringLiteral("criticality"), criticality }, { QStringLiteral("summary"), draft.summary },
            { QStringLiteral("parameters"), parameters } });
    }
    if (json)
        OutputFormat::PrintJson(array);
    std::fflush(stdout);
    entries.clear(); // back to the configurator before the context frees it
    return ExitCode::kDone;
}

int Remove(const QStringList& args)
{
    QString name;
    QString category;
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool missing = false;
        if ((TakeValue(args, i, QStringLiteral("--name"), name, missing)
                || TakeValue(args, i, QStringLiteral("--category"), category, missing))
            && !missing)
            continue;
        return Refuse(QStringLiteral("usage: userrule remove --name N --category C"));
    }
    if (name.isEmpty() || category.isEmpty())
        return Refuse(QStringLiteral("usage: userrule remove --name N --category C"));
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    std::unique_ptr<UserRuleStore> store;
    if (!OpenStore(cli, store))
        return ExitCode::kRefused;
    QString error;
    const int32_t removed = store->Remove(name, category, error);
    if (removed < 0)
        return Refuse(error);
    if (removed == 0)
        return Refuse(QStringLiteral("no stored custom or product rule \"%1\" in %2").arg(name, category));
    std::printf("removed \"%s\" (%s)\n", qUtf8Printable(name), qUtf8Printable(category));
    return ExitCode::kDone;
}
} // namespace

int RunUserRule(const QStringList& args)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("add"))
        return Add(args.mid(1));
    if (sub == QLatin1String("list"))
        return List(args.mid(1));
    if (sub == QLatin1String("remove"))
        return Remove(args.mid(1));
    return Refuse(QStringLiteral("usage: userrule add|list|remove ..."));
}
