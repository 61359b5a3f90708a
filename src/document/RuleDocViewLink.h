#pragma once

// What a rule document knows of a view showing it: views are told of changes
// through update hints and never called directly by the document's logic.
class IRuleDocView
{
public:
    virtual ~IRuleDocView() = default;
    // Reacts to an update hint (1 modules changed, 3 units changed, 4 summary
    // refresh, 9 search cleared; 8 from Open is ignored).
    virtual void OnUpdate(int hint) = 0;
    // Rules carried by the view's list, for the document to release on close.
    virtual void ReleaseListedRules() = 0;
};

namespace UpdateHint {
inline constexpr int ModulesChanged = 1;
inline constexpr int UnitsChanged = 3;
inline constexpr int SummaryRefresh = 4;
inline constexpr int Opened = 8;
inline constexpr int SearchCleared = 9;
} // namespace UpdateHint
