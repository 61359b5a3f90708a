// select and deselect: tick or untick rules of a rule file as the rule list
// does, then save, keeping the file's lock and password rules.

#include "CliDocument.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "VtrRule.h"
#include "views/RuleListController.h"

#include <cstdio>
#include <memory>

#include <QHash>

namespace {
struct Arguments
{
    QString file;
    QStringList rules;
    QString password;
    bool hasPassword = false;
};

int Run(const Arguments& a, bool select, bool dropUnoffered)
{
    CliDocument file(
        QStringLiteral("vtrpro-rules"), a.file, a.hasPassword ? std::optional<QString>(a.password) : std::nullopt);
    file.SetDropUnoffered(dropUnoffered);
    return file.Change([&](CliDocument& open) {
        RuleListController& list = open.List();
        // Names and display names, ignoring case, to rows.
        QHash<QString, QList<int>> rowsByName;
        RuleListModel* model = list.Model();
        for (int r = 0; r < model->RowCount(); ++r) {
            const CVtrRule* rule = model->RuleAt(r);
            rowsByName[rule->GetRuleName().toLower()].append(r);
            if (rule->GetDisplayName().compare(rule->GetRuleName(), Qt::CaseInsensitive) != 0)
                rowsByName[rule->GetDisplayName().toLower()].append(r);
        }
        QStringList unknown;
        for (const QString& name : a.rules)
            if (!rowsByName.contains(name.toLower()))
                unknown << name;
        if (!unknown.isEmpty()) {
            for (const QString& name : unknown)
                open.Refuse(QStringLiteral("no rule named \"%1\" in the loaded modules").arg(name));
            return ExitCode::kRefused;
        }
        for (const QString& name : a.rules)
            for (int row : rowsByName.value(name.toLower()))
                list.SetChecked(row, select);
        if (const int code = open.Save())
            return code;
        std::printf(
            "%s: %d of %d rules selected\n", qUtf8Printable(open.Path()), list.SelectedCount(), model->RowCount());
        return ExitCode::kDone;
    });
}
} // namespace

void DeclareSelect(CLI::App& root, CommandLine::Declarations& out)
{
    for (const bool select : { true, false }) {
        CLI::App* sub = root.add_subcommand(select ? "select" : "deselect",
            select ? "tick rules of a rule file and save it" : "untick rules of a rule file and save it");
        auto file = std::make_shared<std::string>();
        auto rules = std::make_shared<std::vector<std::string>>();
        auto password = std::make_shared<std::string>();
        auto drop = std::make_shared<bool>(false);
        sub->add_option("FILE", *file, "the rule file")->required();
        sub->add_option("--rule", *rules, "the rules, by name or display name")->required()->type_name("NAME...");
        sub->add_option("--password", *password, "the file's password")->type_name("TEXT");
        CliDocument::AddDropUnoffered(*sub, *drop);
        out.push_back({ sub, [sub, select, file, rules, password, drop] {
                           Arguments a;
                           a.file = CommandLine::Text(*file);
                           a.rules = CommandLine::Texts(*rules);
                           a.hasPassword = sub->count("--password") > 0;
                           a.password = CommandLine::Text(*password);
                           return Run(a, select, *drop);
                       } });
    }
}
