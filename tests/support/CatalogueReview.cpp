#include "CatalogueReview.h"

#include "ConcreteVTRRule.h"

#include <optional>

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {

// Words that end the part of a name that says what is measured.
const QSet<QString>& Qualifiers()
{
    static const QSet<QString> words
        = { QStringLiteral("per"), QStringLiteral("of"), QStringLiteral("in"), QStringLiteral("at"),
              QStringLiteral("on"), QStringLiteral("from"), QStringLiteral("between"), QStringLiteral("around"),
              QStringLiteral("below"), QStringLiteral("without"), QStringLiteral("needing"), QStringLiteral("added") };
    return words;
}

const QHash<QString, QString>& QuantityWords()
{
    static const QHash<QString, QString> words = [] {
        QHash<QString, QString> w;
        for (const char* word : { "length", "lengths", "diameter", "diameters", "radius", "radii", "distance",
                 "thickness", "width", "height", "depth", "clearance", "gap", "spacing", "span", "pitch" })
            w.insert(QLatin1String(word), QStringLiteral("Length"));
        for (const char* word : { "angle", "angles", "draft", "inclination" })
            w.insert(QLatin1String(word), QStringLiteral("Angle"));
        for (const char* word : { "area", "areas" })
            w.insert(QLatin1String(word), QStringLiteral("Area"));
        for (const char* word : { "volume", "volumes" })
            w.insert(QLatin1String(word), QStringLiteral("Volume"));
        for (const char* word : { "number", "count", "ratio", "fraction", "mass" })
            w.insert(QLatin1String(word), QStringLiteral("None"));
        return w;
    }();
    return words;
}

std::optional<double> Number(const VtrRuleItem& parameter, const char* child)
{
    const VtrRuleItem* c = parameter.Child(QLatin1String(child));
    if (!c)
        return std::nullopt;
    bool ok = false;
    const double v = c->text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

void ReviewLimit(const VtrRuleItem& parameter, const QString& where, QStringList& slips)
{
    const VtrRuleItem* op = parameter.Child(QStringLiteral("Operator"));
    if (!op)
        return;
    const QString oper = op->text.trimmed();
    const auto value = Number(parameter, "Value");
    const auto recom = Number(parameter, "Recom");
    const auto alert = Number(parameter, "Alert");
    if (oper == QLatin1String(">=") || oper == QLatin1String("<=")) {
        if (!recom || !alert)
            return; // a limit without graded levels has nothing to misplace
        const bool minimum = oper == QLatin1String(">=");
        // A minimum is met above its limit: the recommended value lies on the
        // safe side, the alert on the failing side; a maximum mirrors it.
        const double sign = minimum ? 1.0 : -1.0;
        if (!(sign * *alert < sign * *recom))
            slips << where
                    + QStringLiteral("alert %1 is not %2 the recommended value %3 of a \"%4\" limit")
                          .arg(*alert)
                          .arg(minimum ? QStringLiteral("below") : QStringLiteral("above"))
                          .arg(*recom)
                          .arg(oper);
        else if (value && !(sign * *alert <= sign * *value && sign * *value <= sign * *recom))
            slips << where
                    + QStringLiteral("limit %1 does not lie between the alert %2 and the recommended value %3")
                          .arg(*value)
                          .arg(*alert)
                          .arg(*recom);
    } else if (oper == QLatin1String("=")) {
        if (value && recom && *value != *recom)
            slips << where
                    + QStringLiteral("recommended value %1 differs from the required %2").arg(*recom).arg(*value);
    } else {
        slips << where + QStringLiteral("unknown operator \"%1\"").arg(oper);
    }
}

void ReviewUnit(const VtrRuleItem& parameter, const QString& name, const QString& where, QStringList& slips)
{
    QString unit = parameter.Attribute(QStringLiteral("UnitType"));
    if (unit.isEmpty())
        unit = QStringLiteral("None");
    const QString type = parameter.Attribute(QStringLiteral("Type"));
    QString expected;
    if (type == QLatin1String("2"))
        expected = QStringLiteral("None"); // a ratio keeps its value in every unit
    else if (type == QLatin1String("1"))
        expected = QuantityNamed(name);
    if (!expected.isEmpty() && unit != expected)
        slips << where + QStringLiteral("unit type \"%1\" where the name says %2").arg(unit, expected);
}

void ReviewItems(const std::vector<VtrRuleItem>& items, const QString& rule, QStringList& slips)
{
    for (const VtrRuleItem& item : items) {
        if (item.name == QLatin1String("Parameter")) {
            const QString name = item.Attribute(QStringLiteral("Name"));
            const QString where = QStringLiteral("%1 / %2: ").arg(rule, name);
            ReviewLimit(item, where, slips);
            ReviewUnit(item, name, where, slips);
        }
        ReviewItems(item.children, rule, slips);
    }
}

} // namespace

QString QuantityNamed(const QString& parameterName)
{
    // "MaximumWallThickness" reads as "Maximum Wall Thickness".
    QString spaced = parameterName;
    spaced.replace(QRegularExpression(QStringLiteral("([a-z])([A-Z])")), QStringLiteral("\\1 \\2"));
    QString quantity;
    static const QRegularExpression kWord(QStringLiteral("[a-z]+"));
    for (auto it = kWord.globalMatch(spaced.toLower()); it.hasNext();) {
        const QString word = it.next().captured();
        if (Qualifiers().contains(word))
            break;
        const auto found = QuantityWords().constFind(word);
        if (found != QuantityWords().constEnd())
            quantity = found.value();
    }
    return quantity;
}

QStringList CatalogueSlips(const ConcreteVTRRule& rule)
{
    QStringList slips;
    ReviewItems(rule.Items(), rule.GetRuleName(), slips);
    return slips;
}
