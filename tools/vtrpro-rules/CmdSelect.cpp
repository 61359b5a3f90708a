// select and deselect: tick or untick rules of a rule file as the rule list
// does, then save, keeping the file's lock and password rules.

#include "CliDocument.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "VtrRule.h"
#include "views/RuleListController.h"

#include <cstdio>

#include <QHash>

namespace {
struct Arguments
{
    QString file;
    QStringList rules;
    QString password;
    bool hasPassword = false;
};

bool Parse(const QStringList& args, Arguments& out, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--rule")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--rule needs a rule name");
                return false;
            }
            // Every argument up to the next option is a rule name.
            while (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")))
                out.rules << args[++i];
        } else if (a == QLatin1String("--password")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--password needs a value");
                return false;
            }
            out.password = args[++i];
            out.hasPassword = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + a;
            return false;
        } else if (out.file.isEmpty()) {
            out.file = a;
        } else {
            error = QStringLiteral("more than one file given");
            return false;
        }
    }
    if (out.file.isEmpty() || out.rules.isEmpty()) {
        error = QStringLiteral("a file and at least one --rule are needed");
        return false;
    }
    return true;
}

int Run(const QStringList& arguments, bool select)
{
    QStringList args = arguments;
    const bool dropUnoffered = CliDocument::TakeDropUnoffered(args);
    Arguments a;
    QString error;
    if (!Parse(args, a, error)) {
        std::fprintf(stderr,
            "vtrpro-rules: %s\nusage: vtrpro-rules %s FILE --rule NAME... [--password TEXT] [--drop-unoffered]\n",
            qUtf8Printable(error), select ? "select" : "deselect");
        return ExitCode::kRefused;
    }

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

int RunSelect(const QStringList& args)
{
    return Run(args, true);
}

int RunDeselect(const QStringList& args)
{
    return Run(args, false);
}
