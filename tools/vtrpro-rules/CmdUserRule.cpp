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

#include <array>
#include <cstdio>
#include <memory>

#include <QJsonArray>
#include <QJsonObject>

namespace {
int Refuse(const QString& message)
{
    std::fprintf(stderr, "vtrpro-rules: %s\n", qUtf8Printable(message));
    return ExitCode::kRefused;
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

int Add(const CLI::App& sub, UserRuleDraft draft, const QString& flavour, const QString& criticality,
    const QStringList& params)
{
    for (const QString& param : params) {
        UserRuleParameter parameter;
        QString error;
        if (!UserRuleDrafts::ParseParameter(param, parameter, error))
            return CommandLine::UsageError(sub, error);
        draft.parameters.push_back(parameter);
    }
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

int List(bool json)
{    CliContext cli;
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

int Remove(const CLI::App& sub, const QString& name, const QString& category)
{
    if (name.isEmpty() || category.isEmpty())
        return CommandLine::UsageError(sub, QStringLiteral("--name and --category may not be empty"));
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

void DeclareUserRule(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* userrule = root.add_subcommand("userrule", "custom and product rules in the product database");
    userrule->require_subcommand(1, 1);
    {
        CLI::App* sub = userrule->add_subcommand("add", "store a new custom or product rule");
        auto texts = std::make_shared<std::array<std::string, 6>>();
        auto params = std::make_shared<std::vector<std::string>>();
        sub->add_option("--flavour", (*texts)[0], "a custom rule or a product rule")
            ->required()
            ->check(CLI::IsMember({ "custom", "product" }))
            ->type_name("custom|product");
        sub->add_option("--name", (*texts)[1], "the rule's name")->required()->type_name("N");
        sub->add_option("--category", (*texts)[2], "the rule's category")->required()->type_name("C");
        sub->add_option("--criticality", (*texts)[3], "the rule's criticality")->required()->type_name("WORD");
        sub->add_option("--module", (*texts)[4], "the configurator's module key (Mill, SheetMetal, ...)")
            ->type_name("KEY");
        sub->add_option("--summary", (*texts)[5], "a line on what the rule checks")->type_name("TEXT");
        sub->add_option("--param", *params,
               "a parameter; a length or angle VALUE may carry its unit (\"30 mm\", \"1.2 in\", \"5 deg\"), a bare "
               "number is read in the stored default units (repeat for more)")
            ->required()
            ->type_name("\"NAME;OPERATOR;TYPE;VALUE\"")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->expected(1);
        out.push_back({ sub, [sub, texts, params] {
                           UserRuleDraft draft;
                           draft.name = CommandLine::Text((*texts)[1]);
                           draft.category = CommandLine::Text((*texts)[2]);
                           draft.key = CommandLine::Text((*texts)[4]);
                           draft.summary = CommandLine::Text((*texts)[5]);
                           return Add(*sub, draft, CommandLine::Text((*texts)[0]), CommandLine::Text((*texts)[3]),
                               CommandLine::Texts(*params));
                       } });
    }
    {
        CLI::App* sub = userrule->add_subcommand("list", "list the stored custom and product rules");
        auto json = std::make_shared<bool>(false);
        CommandLine::AddFormat(*sub, *json);
        out.push_back({ sub, [json] { return List(*json); } });
    }
    {
        CLI::App* sub = userrule->add_subcommand("remove", "remove a stored custom or product rule");
        auto name = std::make_shared<std::string>();
        auto category = std::make_shared<std::string>();
        sub->add_option("--name", *name, "the rule's name")->required()->type_name("N");
        sub->add_option("--category", *category, "the rule's category")->required()->type_name("C");
        out.push_back({ sub, [sub, name, category] {
                           return Remove(*sub, CommandLine::Text(*name), CommandLine::Text(*category));
                       } });
    }
}
