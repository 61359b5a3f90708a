// configure: sets a rule's parameters and criticality in a rule file, as the
// parameter editor does, then saves through the document's lock and save path.

#include "CliContext.h"
#include "CliDocument.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "ConcreteVTRRule.h"
#include "VtrRule.h"
#include "VtrRuleMarkup.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"
#include "views/RuleParameters.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {
struct Arguments
{
    QString file;
    QString rule;
    QString category;
    bool hasCategory = false;
    // "PARAMETER=VALUE" texts in the order given.
    QStringList sets;
    QString criticality;
    bool hasCriticality = false;
    QString password;
    bool hasPassword = false;
};

// What the declaration cannot check: each --set names a parameter, and
// something is to change.
bool Check(const Arguments& a, QString& error)
{
    for (const QString& assignment : a.sets)
        // Where the parameter's name ends is known only with the rule's
        // parameters at hand: a constraint's name holds "=" too.
        if (assignment.indexOf(QLatin1Char('=')) <= 0) {
            error = QStringLiteral("--set takes \"PARAMETER=VALUE\", not \"%1\"").arg(assignment);
            return false;
        }
    if (a.sets.empty() && !a.hasCriticality) {
        error = QStringLiteral("nothing to change: give --set or --criticality");
        return false;
    }
    return true;
}

void Refuse(const QString& text)
{
    std::fprintf(stderr, "vtrpro-rules: %s; nothing was changed\n", qUtf8Printable(text));
}

// The row of the rule named (name or display name, case ignored, in the
// category when one is given); -1 after saying why.
int FindRow(RuleListModel* model, const Arguments& a)
{
    QList<int> rows;
    for (int r = 0; r < model->RowCount(); ++r) {
        const CVtrRule* rule = model->RuleAt(r);
        const bool named = rule->GetRuleName().compare(a.rule, Qt::CaseInsensitive) == 0
            || rule->GetDisplayName().compare(a.rule, Qt::CaseInsensitive) == 0;
        if (named && (!a.hasCategory || rule->GetRuleCategory().compare(a.category, Qt::CaseInsensitive) == 0))
            rows.append(r);
    }
    if (rows.isEmpty()) {
        Refuse(a.hasCategory ? QStringLiteral("no rule named \"%1\" in category \"%2\"").arg(a.rule, a.category)
                             : QStringLiteral("no rule named \"%1\" in the loaded modules").arg(a.rule));
        return -1;
    }
    if (rows.size() > 1) {
        QStringList categories;
        for (int r : rows)
            categories << QLatin1Char('"') + model->RuleAt(r)->GetRuleCategory() + QLatin1Char('"');
        Refuse(QStringLiteral("several rules are named \"%1\" (categories %2); give --category")
                   .arg(a.rule, categories.join(QStringLiteral(", "))));
        return -1;
    }
    return rows.first();
}

// The parameter an assignment names and the value it gives: the name ends at
// the last "=" that leaves a parameter's name before it (a constraint, as in
// "radius [Material = Steel]=4", holds "=" itself; a text value may too).
// -1 with the reason in error when no "=" does.
int FindAssigned(const RuleParameterEdit& edit, const QString& assignment, QString& value, QString& error)
{
    QString firstError;
    for (qsizetype equals = assignment.lastIndexOf(QLatin1Char('=')); equals > 0;
         equals = assignment.lastIndexOf(QLatin1Char('='), equals - 1)) {
        QString why;
        const int index = edit.Find(assignment.left(equals), why);
        if (index >= 0) {
            value = assignment.mid(equals + 1);
            return index;
        }
        if (firstError.isEmpty())
            firstError = why;
    }
    error = firstError;
    return -1;
}

int Configure(CliDocument& open, const Arguments& a)
{
    CVTRRuleBuilderDoc& doc = open.Doc();
    RuleListController& list = open.List();
    const QString& path = open.Path();
    RuleListModel* model = list.Model();
    const int row = FindRow(model, a);
    if (row < 0)
        return ExitCode::kRefused;
    CVtrRule* rule = model->RuleAt(row);
    if (!doc.SelectedRules().Contains(rule)) {
        Refuse(QStringLiteral("\"%1\" is not in %2; add it with select first").arg(rule->GetRuleName(), path));
        return ExitCode::kRefused;
    }

    const std::unique_ptr<ConcreteVTRRule> defaults = FreshModuleRule(open.Cli().Modules(), *rule);
    RuleParameterEdit edit(*rule, defaults.get());
    QList<int> changed;
    for (const QString& assignment : a.sets) {
        QString error;
        QString value;
        const int index = FindAssigned(edit, assignment, value, error);
        // Written as it is, the file would not be XML; dropped, the value
        // would not be what was typed.
        if (const qsizetype bad = index >= 0 ? FirstForbiddenXmlCharacter(value) : -1; bad >= 0)
            error = QStringLiteral("the value of \"%1\" holds the control character U+%2, which a rule file cannot "
                                   "hold")
                        .arg(edit.At(index).key,
                            QStringLiteral("%1").arg(value.at(bad).unicode(), 4, 16, QLatin1Char('0')).toUpper());
        if (index < 0 || !error.isEmpty() || !edit.SetText(index, ParameterField::Value, value, error)) {
            Refuse(QStringLiteral("%1: %2").arg(rule->GetRuleName(), error));
            return ExitCode::kRefused;
        }
        if (!changed.contains(index))
            changed.append(index);
    }
    if (a.hasCriticality) {
        const int32_t code = RuleParameterEdit::CriticalityFromText(a.criticality);
        if (code == 0) {
            Refuse(QStringLiteral("\"%1\" is not a criticality (Critical, High, Medium, Low, Insignificant)")
                       .arg(a.criticality));
            return ExitCode::kRefused;
        }
        edit.SetCriticality(code);
    }

    edit.Apply(*rule);
    list.RefreshRow(row);
    doc.SetModifiedFlag(true);
    if (const int code = open.Save())
        return code;
    std::printf("%s: %s configured (criticality %s)\n", qUtf8Printable(path), qUtf8Printable(rule->GetRuleName()),
        qUtf8Printable(RuleListModel::CriticalityWord(rule->GetCriticality())));
    for (int index : changed) {
        const QString unit = edit.UnitText(index);
        std::printf("  %s = %s%s\n", qUtf8Printable(edit.At(index).key),
            qUtf8Printable(edit.Text(index, ParameterField::Value)),
            unit.isEmpty() ? "" : qUtf8Printable(QLatin1Char(' ') + unit));
    }
    return ExitCode::kDone;
}
} // namespace

void DeclareConfigure(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* sub = root.add_subcommand("configure", "set a rule's parameters and criticality, and save");
    auto file = std::make_shared<std::string>();
    auto rule = std::make_shared<std::string>();
    auto category = std::make_shared<std::string>();
    auto sets = std::make_shared<std::vector<std::string>>();
    auto criticality = std::make_shared<std::string>();
    auto password = std::make_shared<std::string>();
    auto drop = std::make_shared<bool>(false);
    sub->add_option("FILE", *file, "the rule file")->required();
    sub->add_option("--rule", *rule, "the rule, by name or display name")->required()->type_name("NAME");
    sub->add_option("--category", *category, "the rule's category, where names repeat")->type_name("CAT");
    sub->add_option("--set", *sets, "a parameter's new value, with its unit if any (repeat for more)")
        ->type_name("\"PARAMETER=VALUE\"")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1);
    sub->add_option("--criticality", *criticality, "the rule's new criticality")->type_name("WORD");
    sub->add_option("--password", *password, "the file's password")->type_name("TEXT");
    CliDocument::AddDropUnoffered(*sub, *drop);
    out.push_back({ sub, [sub, file, rule, category, sets, criticality, password, drop] {
                       Arguments a;
                       a.file = CommandLine::Text(*file);
                       a.rule = CommandLine::Text(*rule);
                       a.hasCategory = sub->count("--category") > 0;
                       a.category = CommandLine::Text(*category);
                       a.sets = CommandLine::Texts(*sets);
                       a.hasCriticality = sub->count("--criticality") > 0;
                       a.criticality = CommandLine::Text(*criticality);
                       a.hasPassword = sub->count("--password") > 0;
                       a.password = CommandLine::Text(*password);
                       QString error;
                       if (!Check(a, error))
                           return CommandLine::UsageError(*sub, error);
                       CliDocument document(QStringLiteral("vtrpro-rules"), a.file,
                           a.hasPassword ? std::optional<QString>(a.password) : std::nullopt);
                       document.SetDropUnoffered(*drop);
                       return document.Change([&a](CliDocument& open) { return Configure(open, a); });
                   } });
}
