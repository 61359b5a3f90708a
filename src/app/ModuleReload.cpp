#include "app/ModuleReload.h"

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "document/OrderedRuleSet.h"
#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"

#include <unordered_set>

namespace {
// More lines would push the question's buttons off the screen.
constexpr int kListedDocuments = 12;

QString RulesText(int count)
{
    return count == 1 ? QStringLiteral("1 ticked rule") : QStringLiteral("%1 ticked rules").arg(count);
}
} // namespace

void ReloadRuleModulesInDocuments(ModuleSet& modules, const QList<CVTRRuleBuilderDoc*>& documents)
{
    PtrArray dropped;
    ReloadRuleModules(modules, dropped);
    QSet<QString> droppedPaths;
    for (int32_t i = 0; i < dropped.GetSize(); ++i)
        droppedPaths.insert(VtrLibrary::FileName(dropped.GetAt(i)));
    // Rules of the dropped libraries are released through them while the
    // documents refresh; they no longer count as loaded for anything else.
    modules.releasingModules = dropped;
    for (CVTRRuleBuilderDoc* doc : documents) {
        doc->ReloadFileRules();
        doc->UpdateAllViews(UpdateHint::ModulesChanged);
        doc->ReleaseRulesOfLibraries(droppedPaths);
    }
    modules.releasingModules.RemoveAll();
    LogWithNumber(QStringLiteral("%d rule modules unloaded after registration"), dropped.GetSize());
    FreeHandlesLastToFirst(dropped);
}

QSet<QString> LibrariesLeftOut(const PtrArray& loaded, const std::vector<void*>& keep)
{
    const std::unordered_set<void*> kept(keep.cbegin(), keep.cend());
    QSet<QString> out;
    for (int32_t i = 0; i < loaded.GetSize(); ++i) {
        void* handle = loaded.GetAt(i);
        if (handle && kept.find(handle) == kept.end())
            out.insert(VtrLibrary::FileName(handle));
    }
    return out;
}

int CountRulesOfLibraries(const OrderedRuleSet& ticked, const QSet<QString>& libraries)
{
    if (libraries.isEmpty())
        return 0;
    int count = 0;
    // User-defined rules carry no library's path, so they never count.
    ticked.ForEach([&](const CVtrRule* rule) {
        if (libraries.contains(rule->GetModulePath()))
            ++count;
    });
    return count;
}

std::vector<TickedRulesLost> CountTickedRulesLost(
    const QSet<QString>& libraries, const QList<CVTRRuleBuilderDoc*>& documents)
{
    std::vector<TickedRulesLost> lost;
    if (libraries.isEmpty())
        return lost;
    for (const CVTRRuleBuilderDoc* doc : documents) {
        const int count = CountRulesOfLibraries(doc->SelectedRules(), libraries);
        if (count > 0)
            lost.push_back({ doc->GetPathName().isEmpty() ? doc->GetBaseTitle() : doc->GetPathName(), count });
    }
    return lost;
}

bool ConfirmTickedRulesLost(const std::vector<TickedRulesLost>& lost)
{
    if (lost.empty())
        return true;
    QString text = QStringLiteral("The modules that are no longer loaded take their ticked rules out of these open "
                                  "rule files:\n\n");
    int listed = 0;
    for (const TickedRulesLost& entry : lost) {
        if (listed++ == kListedDocuments) {
            text += QStringLiteral("    and %1 more files\n").arg(static_cast<int>(lost.size()) - kListedDocuments);
            break;
        }
        text += QStringLiteral("    %1: %2\n").arg(entry.document, RulesText(entry.count));
    }
    text += QStringLiteral("\nA file saved afterwards no longer holds them. Apply the registration?");
    const bool goOn = ShowMessage(text, VtrString(StrId::AppCaption), MsgIcon::Warning, MsgButtons::YesNo)
        == MsgAnswer::Yes;
    LogWithNumber(goOn ? QStringLiteral("Registration applied although %d open files lose ticked rules")
                       : QStringLiteral("Registration taken back: %d open files would lose ticked rules"),
        static_cast<int>(lost.size()));
    return goOn;
}
