#include "views/RuleParameters.h"

#include "ConcreteVTRRule.h"
#include "RuleUnits.h"
#include "UnitConversionChecks.h"
#include "VtrLibrary.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"
#include "views/RuleSettingsReport.h"
#include "Utilities/YesNo.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

const QString kParameter = QStringLiteral("Parameter");
const QString kConstraint = QStringLiteral("Constraint");
const QString kValue = QStringLiteral("Value");
const QString kRecom = QStringLiteral("Recom");
const QString kAlert = QStringLiteral("Alert");
// A list parameter's values are typed in one text, separated by this.
const QChar kListSeparator = QLatin1Char(';');
constexpr int32_t kListOfEntries = 8;

const char* const kCriticalityWords[] = { "Critical", "High", "Medium", "Low", "Insignificant" };

bool IsNumeric(const QString& valueType)
{
    return valueType.compare(QLatin1String("Double"), Qt::CaseInsensitive) == 0
        || valueType.compare(QLatin1String("Integer"), Qt::CaseInsensitive) == 0;
}

bool ParseNumber(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

// Two texts of one field are the same setting by the comparison the
// settings report makes, so that what is marked here is what the report,
// diff and Reset to Default see.
bool SameSetting(const QString& a, const QString& b)
{
    return SameSettingValue(a.toUtf8().toStdString(), b.toUtf8().toStdString());
}

bool SameList(const QStringList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!SameSetting(a[i], b[i]))
            return false;
    return true;
}

VtrRuleItem* ItemAt(std::vector<VtrRuleItem>& items, const std::vector<int>& path)
{
    std::vector<VtrRuleItem>* level = &items;
    VtrRuleItem* item = nullptr;
    for (int i : path) {
        if (i < 0 || static_cast<size_t>(i) >= level->size())
            return nullptr;
        item = &(*level)[static_cast<size_t>(i)];
        level = &item->children;
    }
    return item;
}

void SetChildText(VtrRuleItem& parameter, const QString& name, const QString& text)
{
    if (VtrRuleItem* child = parameter.Child(name))
        child->text = text;
}

} // namespace

RuleParameterEdit::RuleParameterEdit(const CVtrRule& rule, const CVtrRule* defaults)
    : m_criticality(rule.GetCriticality())
    , m_originalCriticality(rule.GetCriticality())
    , m_linearUnit(rule.GetRuleUnits().LinearUnit)
    , m_angularUnit(rule.GetRuleUnits().AngularUnit)
{
    std::vector<int> path;
    if (const auto* concrete = dynamic_cast<const ConcreteVTRRule*>(&rule))
        Collect(concrete->Items(), QString(), path, m_parameters);
    if (defaults) {
        m_defaultCriticality = defaults->GetCriticality();
        std::vector<RuleParameter> fresh;
        if (const auto* concrete = dynamic_cast<const ConcreteVTRRule*>(defaults))
            Collect(concrete->Items(), QString(), path, fresh);
        QHash<QString, const RuleParameter*> byKey;
        for (const RuleParameter& p : fresh)
            byKey.insert(p.key.toCaseFolded(), &p);
        for (RuleParameter& p : m_parameters) {
            const RuleParameter* d = byKey.value(p.key.toCaseFolded(), nullptr);
            if (!d)
                continue;
            p.hasDefault = true;
            p.defaultValues = d->values;
            p.defaultRecommended = d->recommended;
            p.defaultAlert = d->alert;
        }
    }
    m_original = m_parameters;
}

void RuleParameterEdit::Collect(const std::vector<VtrRuleItem>& items, const QString& context, std::vector<int>& path,
    std::vector<RuleParameter>& out) const
{
    for (size_t i = 0; i < items.size(); ++i) {
        const VtrRuleItem& item = items[i];
        path.push_back(static_cast<int>(i));
        if (item.name == kParameter) {
            RuleParameter p;
            p.name = item.Attribute(QStringLiteral("Name"));
            p.context = context;
            p.key = context.isEmpty() ? p.name : p.name + QStringLiteral(" [") + context + QLatin1Char(']');
            p.unitType = item.Attribute(QStringLiteral("UnitType"));
            p.typeCode = item.Attribute(QStringLiteral("Type")).toInt();
            p.valueType = QStringLiteral("Double");
            p.path = path;
            for (const VtrRuleItem& c : item.children) {
                if (c.name == QLatin1String("Operator")) {
                    p.op = c.text.trimmed();
                } else if (c.name == QLatin1String("ParameterType")) {
                    if (!c.text.trimmed().isEmpty())
                        p.valueType = c.text.trimmed();
                } else if (c.name == kValue) {
                    p.values << c.text.trimmed();
                    QStringList label;
                    for (const char* a : { "Attribute1", "Attribute2" }) {
                        const QString text = c.Attribute(QLatin1String(a));
                        if (!text.isEmpty())
                            label << text;
                    }
                    p.valueLabels << label.join(QStringLiteral(" / "));
                } else if (c.name == kRecom) {
                    p.hasRecommended = true;
                    p.recommended = c.text.trimmed();
                } else if (c.name == kAlert) {
                    p.hasAlert = true;
                    p.alert = c.text.trimmed();
                } else if (c.name == QLatin1String("Min")) {
                    p.hasMin = ParseNumber(c.text, p.min);
                } else if (c.name == QLatin1String("Max")) {
                    p.hasMax = ParseNumber(c.text, p.max);
                }
            }
            out.push_back(std::move(p));
        } else {
            QString inner = context;
            if (item.name == kConstraint) {
                const QString type = item.Attribute(QStringLiteral("Type"));
                const QString value = item.Attribute(QStringLiteral("Value"));
                const QString part = type.isEmpty() ? value : type + QStringLiteral(" = ") + value;
                if (!part.isEmpty())
                    inner = inner.isEmpty() ? part : inner + QStringLiteral(" / ") + part;
            }
            Collect(item.children, inner, path, out);
        }
        path.pop_back();
    }
}

int RuleParameterEdit::Find(const QString& name, QString& error) const
{
    const QString wanted = name.trimmed();
    int byKey = -1;
    int byName = -1;
    int nameCount = 0;
    for (int i = 0; i < Count(); ++i) {
        const RuleParameter& p = At(i);
        if (byKey < 0 && p.key.compare(wanted, Qt::CaseInsensitive) == 0)
            byKey = i;
        if (p.name.compare(wanted, Qt::CaseInsensitive) == 0) {
            byName = byName < 0 ? i : byName;
            ++nameCount;
        }
    }
    if (byKey >= 0)
        return byKey;
    if (nameCount == 1)
        return byName;
    if (nameCount > 1) {
        QStringList keys;
        for (const RuleParameter& p : m_parameters)
            if (p.name.compare(wanted, Qt::CaseInsensitive) == 0)
                keys << QLatin1Char('"') + p.key + QLatin1Char('"');
        error = QStringLiteral("several parameters are named \"%1\"; name one of %2")
                    .arg(wanted, keys.join(QStringLiteral(", ")));
        return -1;
    }
    error = QStringLiteral("the rule has no parameter named \"%1\"").arg(wanted);
    return -1;
}

bool RuleParameterEdit::Has(int index, ParameterField field) const
{
    if (index < 0 || index >= Count())
        return false;
    const RuleParameter& p = At(index);
    switch (field) {
    case ParameterField::Value:
        return !p.values.isEmpty();
    case ParameterField::Recommended:
        return p.hasRecommended;
    case ParameterField::Alert:
        return p.hasAlert;
    }
    return false;
}

QString RuleParameterEdit::Text(int index, ParameterField field) const
{
    if (!Has(index, field))
        return {};
    const RuleParameter& p = At(index);
    switch (field) {
    case ParameterField::Value:
        return p.values.join(kListSeparator);
    case ParameterField::Recommended:
        return p.recommended;
    case ParameterField::Alert:
        return p.alert;
    }
    return {};
}

QString RuleParameterEdit::DefaultText(int index, ParameterField field) const
{
    if (!Has(index, field) || !At(index).hasDefault)
        return {};
    const RuleParameter& p = At(index);
    switch (field) {
    case ParameterField::Value:
        return p.defaultValues.join(kListSeparator);
    case ParameterField::Recommended:
        return p.defaultRecommended;
    case ParameterField::Alert:
        return p.defaultAlert;
    }
    return {};
}

bool RuleParameterEdit::Differs(int index, ParameterField field) const
{
    if (!Has(index, field) || !At(index).hasDefault)
        return false;
    const RuleParameter& p = At(index);
    switch (field) {
    case ParameterField::Value:
        return !SameList(p.values, p.defaultValues);
    case ParameterField::Recommended:
        return !SameSetting(p.recommended, p.defaultRecommended);
    case ParameterField::Alert:
        return !SameSetting(p.alert, p.defaultAlert);
    }
    return false;
}

bool RuleParameterEdit::CheckOne(const RuleParameter& p, const QString& text, QString& normalized, QString& error) const
{
    const QString t = text.trimmed();
    if (p.valueType.compare(QLatin1String("Boolean"), Qt::CaseInsensitive) == 0) {
        if (ParseYesNo(t, normalized))
            return true;
        error = QStringLiteral("\"%1\" needs 1 (yes) or 0 (no), not \"%2\"").arg(p.key, t);
        return false;
    }
    if (!IsNumeric(p.valueType)) {
        normalized = t;
        return true;
    }
    double v = 0;
    if (!ParseNumber(t, v)) {
        error = QStringLiteral("\"%1\" needs a number, not \"%2\"").arg(p.key, t);
        return false;
    }
    if (p.valueType.compare(QLatin1String("Integer"), Qt::CaseInsensitive) == 0) {
        if (v != std::floor(v) || std::fabs(v) > 2147483647.0) {
            error = QStringLiteral("\"%1\" needs a whole number, not \"%2\"").arg(p.key, t);
            return false;
        }
        normalized = QString::number(static_cast<qint64>(v));
    } else {
        normalized = ConcreteVTRRule::FormatNumber(v);
    }
    const VtrUnits::Quantity quantity = VtrUnits::QuantityOfUnitType(p.unitType);
    const RuleUnits units { m_linearUnit, m_angularUnit };
    const QString unit = UnitOf(p.unitType);
    if (v < 0
        && (quantity == VtrUnits::Quantity::Length || quantity == VtrUnits::Quantity::Area
            || quantity == VtrUnits::Quantity::Volume)) {
        error = QStringLiteral("\"%1\" is a size in %2 and cannot be negative: %3")
                    .arg(p.key, unit, t);
        return false;
    }
    // A value some other unit cannot hold would turn into "inf" when the
    // file's units change.
    if (!VtrUnits::FitsEveryUnit(quantity, v, units)) {
        error = QStringLiteral("\"%1\" is too large: %2 %3 cannot be converted to other units").arg(p.key, t, unit);
        return false;
    }
    if ((p.hasMin && v < p.min) || (p.hasMax && v > p.max)) {
        error = QStringLiteral("\"%1\" must lie between %2 and %3")
                    .arg(p.key, p.hasMin ? ConcreteVTRRule::FormatNumber(p.min) : QStringLiteral("-"),
                        p.hasMax ? ConcreteVTRRule::FormatNumber(p.max) : QStringLiteral("-"));
        return false;
    }
    return true;
}

bool RuleParameterEdit::SetText(int index, ParameterField field, const QString& text, QString& error)
{
    if (!Has(index, field)) {
        error = index >= 0 && index < Count() ? QStringLiteral("\"%1\" has no such value").arg(At(index).key)
                                              : QStringLiteral("no such parameter");
        return false;
    }
    RuleParameter& p = m_parameters[static_cast<size_t>(index)];
    if (field != ParameterField::Value) {
        // Recommended and alert values are numbers whatever the value type.
        RuleParameter number = p;
        number.valueType = QStringLiteral("Double");
        QString normalized;
        if (!CheckOne(number, text, normalized, error))
            return false;
        (field == ParameterField::Recommended ? p.recommended : p.alert) = normalized;
        return true;
    }
    QStringList parts
        = p.values.size() > 1 || p.typeCode == kListOfEntries ? text.split(kListSeparator) : QStringList { text };
    // "1;2;" is two values, not three.
    while (parts.size() > 1 && parts.last().trimmed().isEmpty())
        parts.removeLast();
    if (p.typeCode != kListOfEntries && parts.size() != p.values.size()) {
        error = QStringLiteral("\"%1\" takes %2 values separated by \";\", not %3")
                    .arg(p.key)
                    .arg(p.values.size())
                    .arg(parts.size());
        return false;
    }
    QStringList values;
    for (const QString& part : parts) {
        QString normalized;
        if (!CheckOne(p, part, normalized, error))
            return false;
        values << normalized;
    }
    if (p.typeCode == kListOfEntries && values.size() == 1 && values.first().isEmpty()) {
        error = QStringLiteral("\"%1\" needs at least one entry").arg(p.key);
        return false;
    }
    p.values = values;
    while (p.valueLabels.size() < p.values.size())
        p.valueLabels << (p.valueLabels.isEmpty() ? QString() : p.valueLabels.last());
    while (p.valueLabels.size() > p.values.size())
        p.valueLabels.removeLast();
    return true;
}

bool RuleParameterEdit::IsChanged() const
{
    if (m_criticality != m_originalCriticality)
        return true;
    for (size_t i = 0; i < m_parameters.size(); ++i) {
        const RuleParameter& a = m_parameters[i];
        const RuleParameter& b = m_original[i];
        if (a.values != b.values || a.recommended != b.recommended || a.alert != b.alert)
            return true;
    }
    return false;
}

bool RuleParameterEdit::Apply(CVtrRule& rule) const
{
    bool changed = false;
    if (rule.GetCriticality() != m_criticality) {
        rule.SetCriticality(m_criticality);
        changed = true;
    }
    auto* concrete = dynamic_cast<ConcreteVTRRule*>(&rule);
    if (!concrete)
        return changed;
    for (size_t i = 0; i < m_parameters.size(); ++i) {
        const RuleParameter& p = m_parameters[i];
        const RuleParameter& before = m_original[i];
        if (p.values == before.values && p.recommended == before.recommended && p.alert == before.alert)
            continue;
        VtrRuleItem* item = ItemAt(concrete->Items(), p.path);
        // The rule is the one read; a different shape means it changed under
        // the editor, and nothing is written rather than the wrong element.
        if (!item || item->name != kParameter || item->Attribute(QStringLiteral("Name")) != p.name)
            continue;
        if (p.hasRecommended)
            SetChildText(*item, kRecom, p.recommended);
        if (p.hasAlert)
            SetChildText(*item, kAlert, p.alert);
        if (p.values != before.values) {
            // Values are written in place; a list of entries grows after its
            // last value (new entries take its attributes) or shrinks from the end.
            std::vector<size_t> at;
            for (size_t c = 0; c < item->children.size(); ++c)
                if (item->children[c].name == kValue)
                    at.push_back(c);
            if (at.empty())
                continue;
            const qsizetype keep = std::min<qsizetype>(p.values.size(), static_cast<qsizetype>(at.size()));
            for (qsizetype v = 0; v < keep; ++v)
                item->children[at[static_cast<size_t>(v)]].text = p.values[v];
            for (size_t v = at.size(); v-- > static_cast<size_t>(keep);)
                item->children.erase(item->children.begin() + static_cast<std::ptrdiff_t>(at[v]));
            size_t insertAt = at[static_cast<size_t>(keep) - 1] + 1;
            for (qsizetype v = keep; v < p.values.size(); ++v) {
                VtrRuleItem entry = item->children[insertAt - 1];
                entry.text = p.values[v];
                entry.children.clear();
                item->children.insert(item->children.begin() + static_cast<std::ptrdiff_t>(insertAt++), entry);
            }
        }
        changed = true;
    }
    return changed;
}

QString RuleParameterEdit::UnitText(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return UnitOf(At(index).unitType);
}

QString RuleParameterEdit::UnitOf(const QString& unitType) const
{
    // "feet & inches" holds sizes as decimal inches, so its areas and
    // volumes are square and cubic inches.
    const QString linear = VtrUnits::LinearStoredName(
        m_linearUnit == VtrUnits::FeetAndInches ? VtrUnits::Inches : m_linearUnit);
    switch (VtrUnits::QuantityOfUnitType(unitType)) {
    case VtrUnits::Quantity::Length:
        return VtrUnits::LinearStoredName(m_linearUnit);
    case VtrUnits::Quantity::Angle:
        return VtrUnits::AngularStoredName(m_angularUnit);
    case VtrUnits::Quantity::Area:
        return QStringLiteral("square ") + linear;
    case VtrUnits::Quantity::Volume:
        return QStringLiteral("cubic ") + linear;
    case VtrUnits::Quantity::None:
        break;
    }
    return {};
}

int32_t RuleParameterEdit::CriticalityFromText(const QString& text)
{
    const QString t = text.trimmed();
    for (int32_t i = 0; i < 5; ++i)
        if (t.compare(QLatin1String(kCriticalityWords[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    bool ok = false;
    const int code = t.toInt(&ok);
    return ok && code >= 1 && code <= 5 ? code : 0;
}

std::unique_ptr<ConcreteVTRRule> FreshModuleRule(const ModuleSet& modules, const CVtrRule& rule)
{
    void* handle = LoadedLibraryAt(modules, rule.GetModulePath());
    if (!handle)
        return nullptr;
    QList<CVtrRule*> fresh;
    if (!FetchAllRules(handle, fresh))
        return nullptr;
    std::unique_ptr<ConcreteVTRRule> found;
    for (CVtrRule* r : fresh) {
        if (found || r->GetRuleName().compare(rule.GetRuleName(), Qt::CaseInsensitive) != 0
            || r->GetRuleCategory().compare(rule.GetRuleCategory(), Qt::CaseInsensitive) != 0)
            continue;
        if (const auto* concrete = dynamic_cast<const ConcreteVTRRule*>(r))
            found = std::make_unique<ConcreteVTRRule>(*concrete);
    }
    // The module made them, so the module releases them.
    auto release = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule));
    for (CVtrRule* r : fresh) {
        if (release)
            release(&r);
        else
            delete r;
    }
    if (found) {
        const RuleUnits from = found->GetRuleUnits();
        const RuleUnits to = rule.GetRuleUnits();
        found->UpdateRule(&from, &to);
    }
    return found;
}
