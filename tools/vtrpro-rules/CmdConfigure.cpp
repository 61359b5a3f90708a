// configure: sets a rule's parameters and criticality in a rule file, as the
// parameter editor does, then saves through the document's lock and save path.

#include "CliContext.h"
#include "Commands.h"

#include "ConcreteVTRRule.h"
#include "VtrRule.h"
#include "document/DocumentLock.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"
#include "views/RuleParameters.h"

#include <cstdio>
#include <utility>
#include <vector>

#include <QFileInfo>

namespace {
constexpr int kExitOk = 0;
constexpr int kExitRefused = 2;
constexpr int kExitLocked = 4;

const char kUsage[] = "usage: vtrpro-rules configure FILE --rule NAME [--category CAT] [--set \"PARAMETER=VALUE\"]... "
                      "[--criticality WORD] [--password P]\n";

struct Arguments
{
    QString file;
    QString rule;
    QString category;
    bool hasCategory = false;
    // (parameter, value) in the order given.
    std::vector<std::pair<QString, QString>> sets;
    QString criticality;
    bool hasCriticality = false;
    QString password;
    bool hasPassword = false;
};

bool Parse(const QStringList& args, Arguments& out, QString& error)
{
    auto value = [&](qsizetype& i, const char* option, QString& into) {
        if (i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(QLatin1String(option));
            return false;
        }
        into = args[++i];
        return true;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--rule")) {
            if (!value(i, "--rule", out.rule))
                return false;
        } else if (a == QLatin1String("--category")) {
            if (!value(i, "--category", out.category))
                return false;
            out.hasCategory = true;
        } else if (a == QLatin1String("--set")) {
            QString assignment;
            if (!value(i, "--set", assignment))
                return false;
            const qsizetype equals = assignment.indexOf(QLatin1Char('='));
            if (equals <= 0) {
                error = QStringLiteral("--set takes \"PARAMETER=VALUE\", not \"%1\"").arg(assignment);
                return false;
            }
            out.sets.emplace_back(assignment.left(equals).trimmed(), assignment.mid(equals + 1));
        } else if (a == QLatin1String("--criticality")) {
            if (!value(i, "--criticality", out.criticality))
                return false;
            out.hasCriticality = true;
        } else if (a == QLatin1String("--password")) {
            if (!value(i, "--password", out.password))
                return false;
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
    if (out.file.isEmpty() || out.rule.isEmpty()) {
        error = QStringLiteral("a file and --rule are needed");
        return false;
    }
    if (out.sets.empty() && !out.hasCriticality) {
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

int Configure(
    CliContext& cli, CVTRRuleBuilderDoc& doc, RuleListController& list, const Arguments& a, const QString& path)
{
    RuleListModel* model = list.Model();
    const int row = FindRow(model, a);
    if (row < 0)
        return kExitRefused;
    CVtrRule* rule = model->RuleAt(row);
    if (!doc.SelectedRules().Contains(rule)) {
        Refuse(QStringLiteral("\"%1\" is not in %2; add it with select first").arg(rule->GetRuleName(), path));
        return kExitRefused;
    }

    const std::unique_ptr<ConcreteVTRRule> defaults = FreshModuleRule(cli.Modules(), *rule);
    RuleParameterEdit edit(*rule, defaults.get());
    QList<int> changed;
    for (const auto& [parameter, value] : a.sets) {
        QString error;
        const int index = edit.Find(parameter, error);
        if (index < 0 || !edit.SetText(index, ParameterField::Value, value, error)) {
            Refuse(QStringLiteral("%1: %2").arg(rule->GetRuleName(), error));
            return kExitRefused;
        }
        if (!changed.contains(index))
            changed.append(index);
    }
    if (a.hasCriticality) {
        const int32_t code = RuleParameterEdit::CriticalityFromText(a.criticality);
        if (code == 0) {
            Refuse(QStringLiteral("\"%1\" is not a criticality (Critical, High, Medium, Low, Insignificant)")
                       .arg(a.criticality));
            return kExitRefused;
        }
        edit.SetCriticality(code);
    }

    edit.Apply(*rule);
    list.RefreshRow(row);
    doc.SetModifiedFlag(true);
    if (!doc.OnSaveDocument(path)) {
        if (doc.IsPasswordProtected() && !a.hasPassword)
            std::fprintf(stderr, "vtrpro-rules: %s is password protected; give --password\n", qUtf8Printable(path));
        Refuse(QStringLiteral("%1 was not saved").arg(path));
        return kExitRefused;
    }
    std::printf("%s: %s configured (criticality %s)\n", qUtf8Printable(path), qUtf8Printable(rule->GetRuleName()),
        qUtf8Printable(RuleListModel::CriticalityWord(rule->GetCriticality())));
    for (int index : changed) {
        const QString unit = edit.UnitText(index);
        std::printf("  %s = %s%s\n", qUtf8Printable(edit.At(index).key),
            qUtf8Printable(edit.Text(index, ParameterField::Value)),
            unit.isEmpty() ? "" : qUtf8Printable(QLatin1Char(' ') + unit));
    }
    return kExitOk;
}
} // namespace

int RunConfigure(const QStringList& args)
{
    Arguments a;
    QString error;
    if (!Parse(args, a, error)) {
        std::fprintf(stderr, "vtrpro-rules: %s\n%s", qUtf8Printable(error), kUsage);
        return kExitRefused;
    }
    const QString path = QFileInfo(a.file).absoluteFilePath();
    if (!QFileInfo(path).isFile()) {
        std::fprintf(stderr, "vtrpro-rules: %s is not a rule file\n", qUtf8Printable(path));
        return kExitRefused;
    }

    CliContext cli;
    if (const int code = cli.Start())
        return code;

    // Asked only when the file is protected; without --password the
    // question is answered with Cancel.
    SetPasswordPrompt([&a](QString& typed) {
        if (!a.hasPassword)
            return false;
        typed = a.password;
        return true;
    });
    int code = kExitOk;
    {
        CVTRRuleBuilderDoc doc;
        if (!doc.OnOpenDocument(path)) {
            const FileErrorCause cause = doc.LastOpenCause();
            if (cause == FileErrorCause::SharingViolation || cause == FileErrorCause::AccessDenied) {
                const QString holder = DocumentLock::Holder(path);
                std::fprintf(stderr, "vtrpro-rules: %s is open for writing elsewhere%s; nothing was changed\n",
                    qUtf8Printable(path),
                    holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
                code = kExitLocked;
            } else {
                code = kExitRefused;
            }
        } else {
            RuleListController list(&doc);
            RuleListDocLink link(&list);
            list.Fill(true, true);
            code = Configure(cli, doc, list, a, path);
            // While the list is linked: the document releases the rules it listed.
            doc.OnCloseDocument();
        }
    }
    SetPasswordPrompt({});
    return code;
}
