#pragma once

#include "RuleUnits.h"
#include "userrules/UserRuleDraft.h"

#include <functional>
#include <optional>

#include <QList>
#include <QString>

class CPLQRuleCreationData;
class CVtrRule;

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

// Runs one command: builds the configurator and the creation data, fills the
// units (the stored default pair without a document) and the name table, and
// launches; an Edit command launches only for exactly one selected rule.
// Returns whether it launched. The data is destroyed before this returns.
bool Run(Mode mode, bool productRule, const Scene& scene, const Launcher& launch);

} // namespace UserRuleCommands
