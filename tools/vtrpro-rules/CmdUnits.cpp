// units: converts a rule file's rules to other units and saves it, as the
// "Rule input units" command followed by Save does, keeping the file's lock
// and password rules.

#include "CliDocument.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "ConcreteVTRRule.h"
#include "UnitConversionChecks.h"
#include "document/VTRRuleBuilderDoc.h"
#include "settings/RuleInputUnits.h"
#include "settings/RuleUnitSettings.h"

#include <cstdio>

namespace {
const char kUsage[] = "usage: vtrpro-rules units FILE LIN,ANG [--password TEXT] [--drop-unoffered]\n"
                      "  LIN: 0-10 or a linear unit name (millimeters, inches, ...)\n"
                      "  ANG: 0-3 or an angular unit name (degrees, radians, ...)\n";

struct Arguments
{
    QString file;
    QString units;
    QString password;
    bool hasPassword = false;
};

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
int Convert(CliDocument& open, const RuleUnits& units)
{
    CVTRRuleBuilderDoc& doc = open.Doc();
    const QString& path = open.Path();
    const RuleUnits from = doc.CurrentUnits();
    if (from == units) {
        std::printf("%s: already in %s; nothing to do\n", qUtf8Printable(path), qUtf8Printable(UnitText(units)));
        return ExitCode::kDone;
    }

    // A value that the new units cannot hold would be written as "inf" for
    // good: refuse before anything changes.
    if (const QString overflow = RuleInputUnits::Overflow(doc, units); !overflow.isEmpty())
        return open.Refuse(QStringLiteral("%1 is too large for %2; %3 was not converted")
                               .arg(overflow, UnitText(units), path));

    RuleInputUnits::Apply(doc, units);
    if (const int code = open.Save())
        return code;
    std::printf("%s: %s -> %s, %lld rule(s) converted\n", qUtf8Printable(path), qUtf8Printable(UnitText(from)),
        qUtf8Printable(UnitText(units)), static_cast<long long>(doc.SelectedRules().Size()));
    return ExitCode::kDone;
}
} // namespace

int RunUnits(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool dropUnoffered = CliDocument::TakeDropUnoffered(args);
    Arguments a;
    QString error;
    if (!Parse(args, a, error)) {
        std::fprintf(stderr, "vtrpro-rules units: %s\n%s", qUtf8Printable(error), kUsage);
        return ExitCode::kRefused;
    }
    RuleUnits units;
    if (!ParseUnits(a.units, units)) {
        std::fprintf(stderr, "vtrpro-rules units: \"%s\" is not LIN,ANG\n%s", qUtf8Printable(a.units), kUsage);
        return ExitCode::kRefused;
    }
    CliDocument file(QStringLiteral("vtrpro-rules units"), a.file,
        a.hasPassword ? std::optional<QString>(a.password) : std::nullopt);
    // The running program's all-rules file is not this command's to change.
    file.SetWritesAllRulesFile(false);
    file.SetDropUnoffered(dropUnoffered);
    return file.Change([&units](CliDocument& open) { return Convert(open, units); });
}
