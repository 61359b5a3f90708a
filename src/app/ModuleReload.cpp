#include "app/ModuleReload.h"

#include "VtrLibrary.h"
#include "Utilities/VTRUIUtils.h"
#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"

#include <QSet>

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
