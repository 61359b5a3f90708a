#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

class CVtrRule;
class ConcreteVTRRule;
struct ModuleSet;
struct VtrRuleItem;

// The parts of a parameter a user can change.
enum class ParameterField { Value, Recommended, Alert };

// One parameter of a rule as the parameter editor and the command line see it.
struct RuleParameter
{
    // The "Name" attribute.
    QString name;
    // The constraints the parameter sits under ("Material = Steel / 10"); empty at the top.
    QString context;
    // The name, followed by " [context]" when there is a context: what a user types to name it.
    QString key;
    // The operator ("&gt;=" read as ">=").
    QString op;
    // "Double", "Integer", "Boolean" or "String" (ParameterType; "Double" when missing).
    QString valueType;
    // "Length", "Angle", "Area", "Volume" or anything else for no unit.
    QString unitType;
    // The "Type" attribute; 8 is a list of accepted entries, whose length may change.
    int32_t typeCode = 0;
    // The labels of the values (their Attribute1 and Attribute2), one per value.
    QStringList valueLabels;
    // Current texts.
    QStringList values;
    bool hasRecommended = false;
    QString recommended;
    bool hasAlert = false;
    QString alert;
    // Lower and upper bound when the parameter has them (Min, Max).
    bool hasMin = false;
    double min = 0;
    bool hasMax = false;
    double max = 0;
    // The module's default for this parameter, in the same units.
    bool hasDefault = false;
    QStringList defaultValues;
    QString defaultRecommended;
    QString defaultAlert;
    // Where the element sits: child indexes from the rule's items down.
    std::vector<int> path;
};

// An editing session over one rule's parameters and criticality, without
// windows: the parameter editor and the command line read the parameters,
// hand it the texts a user typed (validated here) and apply the result to
// the rule only at the end.
class RuleParameterEdit
{
public:
    // Reads the rule's parameters. defaults, when given, is the module's
    // fresh rule in the same units as the rule.
    explicit RuleParameterEdit(const CVtrRule& rule, const CVtrRule* defaults = nullptr);

    const std::vector<RuleParameter>& Parameters() const { return m_parameters; }
    int Count() const { return static_cast<int>(m_parameters.size()); }
    const RuleParameter& At(int index) const { return m_parameters[static_cast<size_t>(index)]; }

    // Criticality (1 to 5) as edited, and the module's default (0 when unknown).
    int32_t Criticality() const { return m_criticality; }
    void SetCriticality(int32_t criticality) { m_criticality = criticality; }
    int32_t DefaultCriticality() const { return m_defaultCriticality; }

    // The parameter a user names: its key, or its name when only one
    // parameter has that name; case is ignored. -1 with the reason in error.
    int Find(const QString& name, QString& error) const;

    // Whether the parameter has that field.
    bool Has(int index, ParameterField field) const;
    // A field's text as shown: list values joined with ";".
    QString Text(int index, ParameterField field) const;
    // The module's default of a field, or empty when unknown.
    QString DefaultText(int index, ParameterField field) const;
    // Whether a field differs from the module's default (numbers compared as
    // numbers); false when the default is unknown.
    bool Differs(int index, ParameterField field) const;
    // Checks a typed text and takes it (numbers written back in a plain
    // form). False, with a message that names the parameter, when the text
    // does not fit: not a number where one is needed, out of its bounds, a
    // negative length, area or volume, or a value that some other unit could
    // not hold. Nothing changes then.
    bool SetText(int index, ParameterField field, const QString& text, QString& error);

    // Whether anything differs from the rule as it was read.
    bool IsChanged() const;
    // Writes the edited values and criticality into the rule the session was
    // made from; true when the rule changed. The rule must be a
    // ConcreteVTRRule for the values (the criticality is written for any rule).
    bool Apply(CVtrRule& rule) const;

    // The unit of a parameter in the rule's units ("millimeters", "degrees",
    // "square inches", "cubic millimeters"), or empty for a parameter without a unit.
    QString UnitText(int index) const;

    // A criticality code from a word ("Critical" ... "Insignificant", case
    // ignored) or from a code 1 to 5; 0 when it is neither.
    static int32_t CriticalityFromText(const QString& text);

private:
    void Collect(const std::vector<VtrRuleItem>& items, const QString& context, std::vector<int>& path,
        std::vector<RuleParameter>& out) const;
    bool CheckOne(const RuleParameter& p, const QString& text, QString& normalized, QString& error) const;
    QString UnitOf(const QString& unitType) const;

    std::vector<RuleParameter> m_parameters;
    std::vector<RuleParameter> m_original;
    int32_t m_criticality = 3;
    int32_t m_originalCriticality = 3;
    int32_t m_defaultCriticality = 0;
    int32_t m_linearUnit = 0;
    int32_t m_angularUnit = 0;
};

// A copy of the rule as its module offers it fresh (its defaults), converted
// to the rule's units; null when the rule's module is not loaded or does not
// offer the rule. Asks the module for its rules once and releases them.
std::unique_ptr<ConcreteVTRRule> FreshModuleRule(const ModuleSet& modules, const CVtrRule& rule);
