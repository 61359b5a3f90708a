#include "userrules/UserRuleDraft.h"

#include "FrameworkExports.h"
#include "PLQRuleConfigurator.h"
#include "RuleUnitWords.h"
#include "UnitConversionChecks.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "Utilities/YesNo.h"

#include <cmath>

#include <QRegularExpression>

namespace {
const QString kParameter = QStringLiteral("Parameter");
const QString kSummary = QStringLiteral("Summary");

// Numbers are read and written without the user's locale, as rule files hold them.
bool ParseNumber(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

VtrUnits::Quantity QuantityOf(UserRuleValueType type)
{
    switch (type) {
    case UserRuleValueType::Length:
        return VtrUnits::Quantity::Length;
    case UserRuleValueType::Angle:
        return VtrUnits::Quantity::Angle;
    default:
        return VtrUnits::Quantity::None;
    }
}

bool IsNumeric(UserRuleValueType type)
{
    return type == UserRuleValueType::Number || type == UserRuleValueType::Length || type == UserRuleValueType::Angle;
}

// A value shown to the user: short, without the last bits of a conversion.
// Fifteen digits: OK on an unchanged rule converts the shown value back, and
// fewer digits would come back as noise (3 mm as 2.99999999999).
QString ShownNumber(double value)
{
    return QString::number(value, 'g', 15);
}

const RuleUnits kStoredUnits {}; // millimetres and degrees
} // namespace

QString UserRuleKeys::KeyOfCategory(const QString& category) const
{
    for (const QString& key : keys)
        for (const QString& c : categories.value(key))
            if (c.compare(category.trimmed(), Qt::CaseInsensitive) == 0)
                return key;
    return {};
}

QString UserRuleKeys::CanonicalCategory(const QString& category) const
{
    for (const QString& key : keys)
        for (const QString& c : categories.value(key))
            if (c.compare(category.trimmed(), Qt::CaseInsensitive) == 0)
                return c;
    return {};
}

QStringList UserRuleKeys::AllCategories() const
{
    QStringList out;
    for (const QString& key : keys)
        out << categories.value(key);
    return out;
}

QString UserRuleKeys::CanonicalKey(const QString& key) const
{
    for (const QString& k : keys)
        if (k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
            return k;
    return {};
}

QStringList UserRuleDrafts::Operators()
{
    return { QStringLiteral(">="), QStringLiteral("<="), QStringLiteral("="), QStringLiteral(">"),
        QStringLiteral("<") };
}

QStringList UserRuleDrafts::OperatorsOf(UserRuleValueType type)
{
    if (type == UserRuleValueType::Boolean)
        return { QStringLiteral("=") };
    return Operators();
}

bool UserRuleDrafts::ReadNumber(const UserRuleParameter& p, double& number, int32_t& unit, QString& error)
{
    // A number (as rule files write them, without the user's locale), then
    // perhaps a unit word.
    static const QRegularExpression measure(
        QStringLiteral(R"(^\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*(.*?)\s*$)"));
    unit = -1;
    const QRegularExpressionMatch m = measure.match(p.value);
    if (!m.hasMatch() || !ParseNumber(m.captured(1), number)) {
        error = QStringLiteral("\"%1\" is a %2 and needs a number, not \"%3\".")
                    .arg(p.name, TypeWord(p.type), p.value.trimmed());
        return false;
    }
    const QString word = m.captured(2);
    if (word.isEmpty())
        return true;
    // Only a word can name a unit ("1,5" is a number written wrongly).
    const QChar first = word.front();
    if (p.type == UserRuleValueType::Number || !(first.isLetter() || first == u'\u00b0')) {
        error = QStringLiteral("\"%1\" is a %2 and needs a number, not \"%3\".")
                    .arg(p.name, TypeWord(p.type), p.value.trimmed());
        return false;
    }
    if (p.type == UserRuleValueType::Length)
        unit = VtrUnits::LinearCodeOfWord(word);
    else if (p.type == UserRuleValueType::Angle)
        unit = VtrUnits::AngularCodeOfWord(word);
    if (unit >= 0)
        return true;
    error = QStringLiteral("\"%1\" is a %2: \"%3\" is not a unit of %2s (use %4).")
                .arg(p.name, TypeWord(p.type), word,
                    p.type == UserRuleValueType::Length ? QStringLiteral("mm, cm, m, in, ft, \u00b5m, nm, mi")
                                                        : QStringLiteral("deg or rad"));
    return false;
}

QStringList UserRuleDrafts::TypeWords()
{
    return { QStringLiteral("number"), QStringLiteral("length"), QStringLiteral("angle"), QStringLiteral("boolean"),
        QStringLiteral("text") };
}

QString UserRuleDrafts::TypeWord(UserRuleValueType type)
{
    return TypeWords().value(static_cast<int>(type));
}

bool UserRuleDrafts::TypeOfWord(const QString& word, UserRuleValueType& type)
{
    const int i = TypeWords().indexOf(word.trimmed().toLower());
    if (i < 0)
        return false;
    type = static_cast<UserRuleValueType>(i);
    return true;
}

QStringList UserRuleDrafts::CriticalityWords()
{
    return { QStringLiteral("Critical"), QStringLiteral("High"), QStringLiteral("Medium"), QStringLiteral("Low"),
        QStringLiteral("Insignificant") };
}

int32_t UserRuleDrafts::CriticalityOf(const QString& text)
{
    const QString t = text.trimmed();
    const QStringList words = CriticalityWords();
    for (int i = 0; i < words.size(); ++i)
        if (t.compare(words[i], Qt::CaseInsensitive) == 0 || t == QString::number(i + 1))
            return i + 1;
    return 0;
}

QString UserRuleDrafts::ModuleName(bool productRule)
{
    return productRule ? CPLQRuleConfigurator::ProductModuleName() : CPLQRuleConfigurator::CustomModuleName();
}

bool UserRuleDrafts::ParseParameter(const QString& text, UserRuleParameter& parameter, QString& error)
{
    // The value is last so that a text value may hold the separator itself.
    const QStringList parts = text.split(QLatin1Char(';'));
    if (parts.size() < 4) {
        error = QStringLiteral("A parameter needs \"NAME;OPERATOR;TYPE;VALUE\", not \"%1\".").arg(text);
        return false;
    }
    parameter.name = parts[0].trimmed();
    parameter.op = parts[1].trimmed();
    if (!TypeOfWord(parts[2], parameter.type)) {
        error = QStringLiteral("Unknown parameter type \"%1\": use %2.")
                    .arg(parts[2].trimmed(), TypeWords().join(QStringLiteral(", ")));
        return false;
    }
    parameter.value = parts.mid(3).join(QLatin1Char(';'));
    return true;
}

bool UserRuleDrafts::Validate(UserRuleDraft& draft, const UserRuleKeys& keys, const RuleNameTable& names,
    const QString& editedName, QString& error)
{
    draft.name = draft.name.trimmed();
    if (draft.name.isEmpty()) {
        error = QStringLiteral("The rule needs a name.");
        return false;
    }
    const QString category = keys.CanonicalCategory(draft.category);
    if (category.isEmpty()) {
        error = QStringLiteral("Unknown category \"%1\": use one of %2.")
                    .arg(draft.category.trimmed(), keys.AllCategories().join(QStringLiteral(", ")));
        return false;
    }
    const QString categoryKey = keys.KeyOfCategory(category);
    if (!draft.key.trimmed().isEmpty()) {
        const QString key = keys.CanonicalKey(draft.key);
        if (key.isEmpty()) {
            error = QStringLiteral("Unknown module \"%1\": use one of %2.")
                        .arg(draft.key.trimmed(), keys.keys.join(QStringLiteral(", ")));
            return false;
        }
        if (key != categoryKey) {
            error = QStringLiteral("The category \"%1\" does not belong to the module %2: use one of %3.")
                        .arg(category, key, keys.categories.value(key).join(QStringLiteral(", ")));
            return false;
        }
    }
    draft.category = category;
    draft.key = categoryKey;
    if (draft.criticality < 1 || draft.criticality > 5) {
        error = QStringLiteral("The criticality must be one of %1.").arg(CriticalityWords().join(QStringLiteral(", ")));
        return false;
    }

    const QString lowered = draft.name.toLower();
    const bool ownName = !editedName.isEmpty() && editedName.toLower() == lowered;
    if (!ownName && names.value(ModuleName(draft.productRule).toLower()).contains(lowered)) {
        error = QStringLiteral("The module %1 already has a rule named \"%2\".")
                    .arg(ModuleName(draft.productRule), draft.name);
        return false;
    }

    if (draft.parameters.empty()) {
        error = QStringLiteral("The rule needs at least one parameter.");
        return false;
    }
    const QStringList operators = Operators();
    QStringList seen;
    for (UserRuleParameter& p : draft.parameters) {
        p.name = p.name.trimmed();
        if (p.name.isEmpty()) {
            error = QStringLiteral("Every parameter needs a name.");
            return false;
        }
        if (seen.contains(p.name.toLower())) {
            error = QStringLiteral("Two parameters are named \"%1\".").arg(p.name);
            return false;
        }
        seen << p.name.toLower();
        if (!operators.contains(p.op.trimmed())) {
            error = QStringLiteral("Unknown operator \"%1\" of \"%2\": use one of %3.")
                        .arg(p.op.trimmed(), p.name, operators.join(QLatin1Char(' ')));
            return false;
        }
        p.op = p.op.trimmed();
        if (!OperatorsOf(p.type).contains(p.op)) {
            error = QStringLiteral("\"%1\" is a %2 and takes only %3, not \"%4\".")
                        .arg(p.name, TypeWord(p.type), OperatorsOf(p.type).join(QLatin1Char(' ')), p.op);
            return false;
        }
        double number = 0;
        int32_t unit = -1;
        QString normalized;
        if (IsNumeric(p.type) && !ReadNumber(p, number, unit, error))
            return false;
        if (p.type == UserRuleValueType::Boolean && !ParseYesNo(p.value, normalized)) {
            error = QStringLiteral("\"%1\" needs 1 (yes) or 0 (no), not \"%2\".").arg(p.name, p.value.trimmed());
            return false;
        }
    }
    return true;
}

std::unique_ptr<CPLQRuleConfigurator> UserRuleDrafts::Build(
    const UserRuleDraft& draft, const RuleUnits& units, QString& error)
{
    auto rule = std::make_unique<CPLQRuleConfigurator>();
    rule->SetProductRule(draft.productRule);
    rule->SetRuleName(draft.name);
    rule->SetDisplayName(draft.name);
    rule->SetRuleCategory(draft.category);
    rule->SetCriticality(draft.criticality);
    rule->SetSummary(draft.summary);
    rule->SetRuleUnits(kStoredUnits);
    rule->SetStoredVersion(draft.storedVersion);
    if (!draft.summary.isEmpty())
        rule->ExtraAttributes().emplace_back(kSummary, draft.summary);

    for (const UserRuleParameter& p : draft.parameters) {
        VtrRuleItem item;
        item.name = kParameter;
        item.SetAttribute(QStringLiteral("Type"), QStringLiteral("1"));
        item.SetAttribute(QStringLiteral("Status"), QStringLiteral("1"));
        item.SetAttribute(QStringLiteral("Name"), p.name);
        QString parameterType = QStringLiteral("Double");
        QString value;
        switch (p.type) {
        case UserRuleValueType::Length:
            item.SetAttribute(QStringLiteral("UnitType"), QStringLiteral("Length"));
            break;
        case UserRuleValueType::Angle:
            item.SetAttribute(QStringLiteral("UnitType"), QStringLiteral("Angle"));
            break;
        case UserRuleValueType::Boolean:
            parameterType = QStringLiteral("Boolean");
            break;
        case UserRuleValueType::Text:
            parameterType = QStringLiteral("String");
            break;
        case UserRuleValueType::Number:
            break;
        }
        if (IsNumeric(p.type)) {
            double number = 0;
            int32_t unit = -1;
            if (!ReadNumber(p, number, unit, error))
                return nullptr;
            // A value with its own unit is read in that unit, a bare number in units.
            RuleUnits from = units;
            if (unit >= 0 && p.type == UserRuleValueType::Length)
                from.LinearUnit = unit;
            else if (unit >= 0 && p.type == UserRuleValueType::Angle)
                from.AngularUnit = unit;
            value = ConcreteVTRRule::FormatNumber(
                VtrUnits::RoundConverted(
                    VtrUnits::ConvertQuantity(QuantityOf(p.type), number, from, kStoredUnits)));
        } else if (p.type == UserRuleValueType::Boolean) {
            if (!ParseYesNo(p.value, value)) {
                error = QStringLiteral("\"%1\" needs 1 (yes) or 0 (no), not \"%2\".").arg(p.name, p.value.trimmed());
                return nullptr;
            }
        } else {
            value = p.value;
        }
        VtrRuleItem op { QStringLiteral("Operator"), {}, p.op, {} };
        VtrRuleItem type { QStringLiteral("ParameterType"), {}, parameterType, {} };
        VtrRuleItem val { QStringLiteral("Value"), {}, value, {} };
        item.children = { op, type, val };
        rule->Items().push_back(std::move(item));
    }
    return rule;
}

UserRuleDraft UserRuleDrafts::FromRule(CPLQRuleConfigurator& rule, const QString& key, const RuleUnits& units)
{
    UserRuleDraft draft;
    draft.productRule = rule.IsProductRule();
    draft.name = rule.GetRuleName();
    draft.category = rule.GetRuleCategory();
    draft.key = key;
    draft.summary = rule.GetSummary();
    for (const auto& [name, value] : rule.ExtraAttributes())
        if (name == kSummary && draft.summary.isEmpty())
            draft.summary = value;
    draft.criticality = rule.GetCriticality() >= 1 && rule.GetCriticality() <= 5 ? rule.GetCriticality() : 3;
    draft.storedVersion = rule.StoredVersion();
    for (const VtrRuleItem& item : rule.Items()) {
        if (item.name != kParameter)
            continue;
        UserRuleParameter p;
        p.name = item.Attribute(QStringLiteral("Name"));
        const VtrRuleItem* op = item.Child(QStringLiteral("Operator"));
        const VtrRuleItem* type = item.Child(QStringLiteral("ParameterType"));
        const VtrRuleItem* value = item.Child(QStringLiteral("Value"));
        p.op = op ? op->text.trimmed() : QString();
        const QString typeText = type ? type->text.trimmed() : QString();
        const VtrUnits::Quantity quantity = VtrUnits::QuantityOfUnitType(item.Attribute(QStringLiteral("UnitType")));
        if (typeText.compare(QLatin1String("Boolean"), Qt::CaseInsensitive) == 0)
            p.type = UserRuleValueType::Boolean;
        else if (typeText.compare(QLatin1String("String"), Qt::CaseInsensitive) == 0)
            p.type = UserRuleValueType::Text;
        else if (quantity == VtrUnits::Quantity::Length)
            p.type = UserRuleValueType::Length;
        else if (quantity == VtrUnits::Quantity::Angle)
            p.type = UserRuleValueType::Angle;
        else
            p.type = UserRuleValueType::Number;
        p.value = value ? value->text : QString();
        double number = 0;
        if (IsNumeric(p.type) && ParseNumber(p.value, number))
            p.value = ShownNumber(VtrUnits::RoundConverted(
                VtrUnits::ConvertQuantity(QuantityOf(p.type), number, rule.GetRuleUnits(), units)));
        draft.parameters.push_back(p);
    }
    return draft;
}

bool UserRuleDrafts::TakeStored(CPLQRuleConfigurator& listed, CPLQRuleConfigurator& stored)
{
    const QByteArray utf8 = Markup(stored).toUtf8();
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    CPLQRuleConfigurator copy;
    if (!root || !copy.PopulateParametersFromXML(root.get()))
        return false;
    const RuleUnits storedUnits = copy.GetRuleUnits();
    const RuleUnits listedUnits = listed.GetRuleUnits();
    copy.UpdateRule(&storedUnits, &listedUnits);
    listed.UpdateRule(&copy);
    listed.SetRuleName(copy.GetRuleName());
    listed.SetDisplayName(copy.GetRuleName());
    listed.SetRuleCategory(copy.GetRuleCategory());
    QString summary;
    for (const auto& [attribute, value] : copy.ExtraAttributes())
        if (attribute == kSummary)
            summary = value;
    listed.SetSummary(summary);
    listed.SetStoredVersion(stored.StoredVersion());
    return true;
}

QString UserRuleDrafts::Markup(CVtrRule& rule)
{
    // GetXML builds in the framework's current document: lend it one of ours
    // for the call and give the previous one back.
    VtrXMLDocument document;
    VtrXMLDocument* previous = VtrFrameworkXMLDoc();
    SetXMLDoc(&document);
    std::unique_ptr<VtrXMLNode> node(rule.GetXML());
    const QString markup = node ? node->GetXML() : QString();
    SetXMLDoc(previous);
    return markup;
}
