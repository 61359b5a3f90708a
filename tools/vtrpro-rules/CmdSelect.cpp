// select and deselect: tick or untick rules of a rule file as the rule list
// does, then save, keeping the file's lock and password rules.

#include "CliContext.h"
#include "Commands.h"

#include "VtrRule.h"
#include "document/DocumentLock.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"

#include <cstdio>

#include <QFileInfo>
#include <QHash>

namespace {
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLocked = 4;
constexpr int kExitUnknownRule = 5;

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

int Run(const QStringList& args, bool select)
{
    Arguments a;
    QString error;
    if (!Parse(args, a, error)) {
        std::fprintf(stderr, "vtrpro-rules: %s\nusage: vtrpro-rules %s FILE --rule NAME... [--password TEXT]\n",
            qUtf8Printable(error), select ? "select" : "deselect");
        return kExitUsage;
    }
    const QString path = QFileInfo(a.file).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "vtrpro-rules: %s does not exist\n", qUtf8Printable(path));
        return kExitFailed;
    }

    CliContext cli;
    if (const int code = cli.Start())
        return code;

    // The password is asked only when the file is protected; without
    // --password the question is answered with Cancel.
    SetPasswordPrompt([&a](QString& typed) {
        if (!a.hasPassword)
            return false;
        typed = a.password;
        return true;
    });

    int code = kExitOk;
    {
        CVTRRuleBuilderDoc doc;
        // Without a terminal to ask, the read-only question is answered No.
        if (!doc.OnOpenDocument(path)) {
            const FileErrorCause cause = doc.LastOpenCause();
            if (cause == FileErrorCause::SharingViolation || cause == FileErrorCause::AccessDenied) {
                const QString holder = DocumentLock::Holder(path);
                std::fprintf(stderr, "vtrpro-rules: %s is open for writing elsewhere%s; nothing was changed\n",
                    qUtf8Printable(path),
                    holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
                SetPasswordPrompt({});
                return kExitLocked;
            }
            SetPasswordPrompt({});
            return kExitUsage; // unreadable: refused, file untouched
        }
        RuleListController list(&doc);
        RuleListDocLink link(&list);
        list.Fill(true, true);

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
                std::fprintf(
                    stderr, "vtrpro-rules: no rule named \"%s\" in the loaded modules\n", qUtf8Printable(name));
            code = kExitUnknownRule;
        } else {
            for (const QString& name : a.rules)
                for (int row : rowsByName.value(name.toLower()))
                    list.SetChecked(row, select);
            if (!doc.OnSaveDocument(path)) {
                if (doc.IsPasswordProtected() && !doc.IsPasswordConfirmed() && !a.hasPassword)
                    std::fprintf(
                        stderr, "vtrpro-rules: %s is password protected; give --password\n", qUtf8Printable(path));
                code = kExitFailed;
            } else {
                std::printf(
                    "%s: %d of %d rules selected\n", qUtf8Printable(path), list.SelectedCount(), model->RowCount());
            }
        }
        doc.OnCloseDocument();
    }
    SetPasswordPrompt({});
    return code;
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
