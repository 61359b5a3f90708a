#pragma once

#include "RuleUnits.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <QMap>
#include <QString>
#include <QStringList>

class CPLQRuleConfigurator;
class CVtrRule;

// A custom or product rule as the user describes it, before it becomes a rule
// element. Only the framework is used here, so that the rule-creation program
// and the command-line tool share the checks and the conversions.

// What a parameter's value is.
enum class UserRuleValueType { Number, Length, Angle, Boolean, Text };

struct UserRuleParameter
{
    QString name;
    QString op;
    UserRuleValueType type = UserRuleValueType::Number;
    // As entered: a number in the units the user works in, or a length or
    // angle followed by its own unit ("30 mm", "1.2 in", "5 deg").
    QString value;
};

struct UserRuleDraft
{
    bool productRule = false;
    QString name;
    QString category;
    // Configurator key the rule is stored under; follows the category when empty.
    QString key;
    QString summary;
    int32_t criticality = 3;
    std::vector<UserRuleParameter> parameters;
    // The stored version the draft was read from, 0 for a new rule: a store
    // refuses to replace a rule stored since.
    int32_t storedVersion = 0;
};

// Where user rules can be stored: the configurator's keys, each with the
// categories of its rule module. A rule's category decides its key, since the
// rule list shows configurator rules with the module of their category.
struct UserRuleKeys
{
    QStringList keys;
    QMap<QString, QStringList> categories; // key -> categories

    // The key whose module holds the category (case ignored); empty when none.
    QString KeyOfCategory(const QString& category) const;
    // The category as the key's module spells it; empty when unknown.
    QString CanonicalCategory(const QString& category) const;
    // Every category of every key, in key order.
    QStringList AllCategories() const;
    // The key as the configurator spells it (case ignored); empty when unknown.
    QString CanonicalKey(const QString& key) const;
};

// Lower-cased module name -> lower-cased names of that module's rules.
using RuleNameTable = QMap<QString, QStringList>;

namespace UserRuleDrafts {
// Comparison operators offered for a parameter (those the rule modules use).
QStringList Operators();
// "number", "length", "angle", "boolean", "text", in the order of the type.
QStringList TypeWords();
QString TypeWord(UserRuleValueType type);
// The type of a word (case ignored); false when it names none.
bool TypeOfWord(const QString& word, UserRuleValueType& type);
// "Critical" ... "Insignificant", codes 1 to 5.
QStringList CriticalityWords();
// The code of a word (case ignored) or of "1" to "5"; 0 when neither.
int32_t CriticalityOf(const QString& text);
// "Custom Rules" or "Product Rules".
QString ModuleName(bool productRule);

// Operators a parameter of a type may take: a yes/no value is only equal or not.
QStringList OperatorsOf(UserRuleValueType type);

// Reads a numeric parameter's value: a number, for a length or an angle
// optionally followed by a unit of its kind. unit is the code of that unit,
// -1 when the value has none. False with the reason in error.
bool ReadNumber(const UserRuleParameter& parameter, double& number, int32_t& unit, QString& error);

// Reads "NAME;OPERATOR;TYPE;VALUE"; false with the reason in error.
bool ParseParameter(const QString& text, UserRuleParameter& parameter, QString& error);

// Checks a draft and completes it: category and key spelled as the
// configurator spells them, the key taken from the category when empty. The
// name is refused when the table already holds it (lower case) for the
// rule's module, unless it is editedName, the stored name of the rule being
// edited. False with a message in error.
bool Validate(UserRuleDraft& draft, const UserRuleKeys& keys, const RuleNameTable& names, const QString& editedName,
    QString& error);

// The rule of a validated draft whose values were entered in units, with its
// lengths in millimetres and its angles in degrees. Null with the reason in
// error when a value does not fit its type.
std::unique_ptr<CPLQRuleConfigurator> Build(const UserRuleDraft& draft, const RuleUnits& units, QString& error);

// A draft of a stored rule (or one from a rule file) with its values shown in units.
UserRuleDraft FromRule(CPLQRuleConfigurator& rule, const QString& key, const RuleUnits& units);

// A listed copy takes a stored rule: its settings with values in the copy's
// own units, its name, category, summary and stored version. Read back from
// the stored rule's markup, not copied, so that no text points into the
// library that made the stored rule. False (the copy unchanged) when the
// markup does not read.
bool TakeStored(CPLQRuleConfigurator& listed, CPLQRuleConfigurator& stored);

// The rule's element as markup, built in a document of its own.
QString Markup(CVtrRule& rule);
} // namespace UserRuleDrafts
