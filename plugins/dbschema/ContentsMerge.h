#pragma once

#include "VTRDataHelper.h"

#include <cstdint>

#include <QStringList>

// What merging one database's contents into another adds, worked out from
// both contents alone so that every module merges alike.
namespace vtr_db {

struct MergePlan
{
    // What to add: messages, rules (with the help ids they get), product
    // rows (id 0: stored under new ids) and log entries, each in source order.
    DatabaseContents add;
    // Items both hold with different values, left as the target has them.
    QStringList differing;
    // The stored rules' help id counter after the rules added.
    int32_t nextHelpId = kFirstStoredRuleHelpId;
};

// A rule's identity as both modules key it: name and category case-folded.
QString FoldedRuleIdentity(const QString& name, const QString& category);

// Plans adding to target what source holds and target lacks: messages by
// help id, rule name and category; rules by folded name and category, each
// keeping its help id when the target has not given it, else taking the
// next one from nextHelpId with its messages moved along; threads by
// designation and materials by name, case ignored; fasteners by all their
// values; log entries by all their fields. Linear in both sizes.
MergePlan PlanMerge(const DatabaseContents& target, const DatabaseContents& source, int32_t nextHelpId);

} // namespace vtr_db
