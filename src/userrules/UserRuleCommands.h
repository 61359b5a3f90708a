#pragma once

#include "RuleUnits.h"
#include "userrules/UserRuleDraft.h"

#include <functional>
#include <optional>

#include <QList>
#include <QString>

class CPLQRuleCreationData;
class CVtrRule;
class UserRuleStore;

// The four commands that hand a custom or product rule to the rule-creation
// program: Create and Edit, each for custom and for product rules.
namespace UserRuleCommands {

enum class Mode { Create, Edit };

// What a command finds when it runs.
struct Scene
{
    // The active document's current units; none without a document.
    std::optional<RuleUnits> documentUnits;
    // Whether there is an active rule list, its rules in row order and the
    // rules of its selected rows.
    bool hasView = false;
    QList<CVtrRule*> listedRules;
    QList<CVtrRule*> selectedRules;
};

// Calls the rule-creation program with the rule's name and category (empty to
// create) and returns when the user has closed it.
using Launcher = std::function<void(const QString& name, const QString& category, CPLQRuleCreationData& data)>;

// Lower-cased module name -> lower-cased names of its rules, in row order.
RuleNameTable NameTable(const QList<CVtrRule*>& rules);

// After an Edit command stored a rule: the selected rule that was edited and
// the name and category the rule was stored under.
using StoredHandler = std::function<void(CVtrRule& edited, const QString& name, const QString& category)>;

// Runs one command: builds the configurator and the creation data, fills the
// units (the stored default pair without a document) and the name table, and
// launches; an Edit command launches only for exactly one selected rule and,
// when the program stored it, calls stored. Returns whether it launched. The
// data is destroyed before this returns.
bool Run(Mode mode, bool productRule, const Scene& scene, const Launcher& launch, const StoredHandler& stored = {});

// The listed copy of a configurator rule takes the rule stored under name and
// category, its values in the copy's units: what a save writes and the
// editor opens is then what was stored. False (the copy unchanged) when the
// rule is not a configurator rule or nothing is stored under that name.
bool TakeStoredRule(CVtrRule& listed, const UserRuleStore& store, const QString& name, const QString& category);

} // namespace UserRuleCommands
