#pragma once

#include <QList>

class CVtrRule;

// What a rule document knows of a view showing it: views are told of changes
// through update hints and never called directly by the document's logic.
class IRuleDocView
{
public:
    virtual ~IRuleDocView() = default;
    // Reacts to an update hint (1 modules changed, 3 units changed, 4 summary
    // refresh, 9 search cleared; 8 from Open is ignored).
    virtual void OnUpdate(int hint) = 0;
    // Every rule the view holds (its pool and its installed-module rules),
    // for the document to release on close.
    virtual QList<CVtrRule*> ListedRules() const = 0;
    // Removes every row; called on close after the rules were collected.
    virtual void ClearRows() = 0;
};

namespace UpdateHint {
inline constexpr int ModulesChanged = 1;
inline constexpr int UnitsChanged = 3;
inline constexpr int SummaryRefresh = 4;
inline constexpr int Opened = 8;
inline constexpr int SearchCleared = 9;
} // namespace UpdateHint
