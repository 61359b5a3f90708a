// units: converts a rule file's rules to other units and saves it, as the
// "Rule input units" command followed by Save does, keeping the file's lock
// and password rules.

#include "CliContext.h"
#include "Commands.h"

#include "document/DocumentLock.h"
#include "document/Fingerprint.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "settings/RuleInputUnits.h"
#include "settings/RuleUnitSettings.h"
#include "views/RuleListController.h"

#include <cstdio>

#include <QFileInfo>

namespace {
constexpr int kExitOk = 0;
constexpr int kExitRefused = 2;
constexpr int kExitFingerprint = 3;
constexpr int kExitHeld = 4;

const char kUsage[] = "usage: vtrpro-rules units FILE LIN,ANG [--password TEXT]\n"
                      "  LIN: 0-10 or a linear unit name (millimeters, inches, ...)\n"
                      "  ANG: 0-3 or an angular unit name (degrees, radians, ...)\n";

struct Arguments
{
    QString file;
    QString units;
    QString password;
    bool hasPassword = false;
};

int Refuse(const QString& why)
{
    std::fprintf(stderr, "vtrpro-rules units: %s\n", qUtf8Printable(why));
    return kExitRefused;
}

bool Parse(const QStringList& args, Arguments& out, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--password")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--password needs a value");
                return false;
            }
            out.password = args[++i];
            out.hasPassword = true;
        } else if (a.startsWith(QLatin1String("--password="))) {
            out.password = a.mid(11);
            out.hasPassword = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + a;
            return false;
        } else if (out.file.isEmpty()) {
            out.file = a;
        } else if (out.units.isEmpty()) {
            out.units = a;
        } else {
            error = QStringLiteral("unexpected argument \"%1\"").arg(a);
            return false;
        }
    }
    if (out.file.isEmpty() || out.units.isEmpty()) {
        error = QStringLiteral("a file and the units are needed");
        return false;
    }
    return true;
}

// A code in range, or a stored name of that kind (case ignored); -1 otherwise.
int32_t UnitCode(const QString& text, int32_t count, QString (*storedName)(int32_t))
{
    bool number = false;
    const int code = text.toInt(&number);
    if (number)
        return code >= 0 && code < count ? code : -1;
    for (int32_t c = 0; c < count; ++c)
        if (text.compare(storedName(c), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

bool ParseUnits(const QString& text, RuleUnits& units)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    const int32_t linear = UnitCode(parts[0].trimmed(), VtrUnits::kLinearCount, LinearUnitStoredName);
    const int32_t angular = UnitCode(parts[1].trimmed(), VtrUnits::kAngularCount, AngularUnitStoredName);
    if (linear < 0 || angular < 0)
        return false;
    units = { linear, angular };
    return true;
}

QString UnitText(const RuleUnits& units)
{
    return QStringLiteral("%1 (%2), %3 (%4)")
        .arg(units.LinearUnit)
        .arg(LinearUnitStoredName(units.LinearUnit))
        .arg(units.AngularUnit)
        .arg(AngularUnitStoredName(units.AngularUnit));
}

// Converts the open document's rules and saves it.
int Convert(
    CVTRRuleBuilderDoc& doc, RuleListController& list, const QString& path, const RuleUnits& units, const Arguments& a)
{
    list.Fill(true, true);
    // Matching the file's rules with the modules marks the document modified
    // only when a rule found no module: saving would drop it.
    if (doc.IsModified() || doc.DroppedFileRules() > 0)
        return Refuse(QStringLiteral("%1 holds rules of modules that are not loaded; converting would drop "
                                     "them, so nothing was changed")
                          .arg(path));
    const RuleUnits from = doc.CurrentUnits();
    if (from == units) {
        std::printf("%s: already in %s; nothing to do\n", qUtf8Printable(path), qUtf8Printable(UnitText(units)));
        return kExitOk;
    }

    RuleInputUnits::Apply(doc, units);
    if (!doc.OnSaveDocument(path)) {
        if (doc.IsPasswordProtected() && !doc.IsPasswordConfirmed() && !a.hasPassword)
            return Refuse(QStringLiteral("%1 is password protected; give --password").arg(path));
        return Refuse(QStringLiteral("%1 was not saved; it is unchanged").arg(path));
    }
    std::printf("%s: %s -> %s, %lld rule(s) converted\n", qUtf8Printable(path), qUtf8Printable(UnitText(from)),
        qUtf8Printable(UnitText(units)), static_cast<long long>(doc.SelectedRules().Size()));
    return kExitOk;
}
} // namespace

int RunUnits(const QStringList& args)
{
    Arguments a;
    QString error;
    if (!Parse(args, a, error)) {
        std::fprintf(stderr, "vtrpro-rules units: %s\n%s", qUtf8Printable(error), kUsage);
        return kExitRefused;
    }
    RuleUnits units;
    if (!ParseUnits(a.units, units)) {
        std::fprintf(stderr, "vtrpro-rules units: \"%s\" is not LIN,ANG\n%s", qUtf8Printable(a.units), kUsage);
        return kExitRefused;
    }
    const QString path = QFileInfo(a.file).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        return Refuse(QStringLiteral("%1 is not a file").arg(path));

    // Saving re-signs a protected file: one changed outside the program is
    // not converted, or the change would pass as the owner's.
    QString detail;
    switch (VerifyRuleFileFingerprint(path, &detail)) {
    case FingerprintStatus::Modified:
        std::fprintf(stderr,
            "vtrpro-rules units: %s: fingerprint does not match; the rules were changed outside the program; "
            "nothing was changed\n",
            qUtf8Printable(path));
        return kExitFingerprint;
    case FingerprintStatus::Unreadable:
        return Refuse(QStringLiteral("%1 cannot be read as a rule file: %2").arg(path, detail));
    case FingerprintStatus::Unprotected:
    case FingerprintStatus::Matches:
        break;
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
                std::fprintf(stderr, "vtrpro-rules units: %s is open for writing elsewhere%s; nothing was changed\n",
                    qUtf8Printable(path),
                    holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
                code = kExitHeld;
            } else {
                code = Refuse(QStringLiteral("%1 cannot be opened as a rule file").arg(path));
            }
        } else {
            // The list keeps the document's rules; it must outlive the close,
            // which releases them.
            RuleListController list(&doc);
            list.SetWritesAllRulesFile(false);
            RuleListDocLink link(&list);
            code = Convert(doc, list, path, units, a);
            doc.OnCloseDocument();
        }
    }
    SetPasswordPrompt({});
    return code;
}
