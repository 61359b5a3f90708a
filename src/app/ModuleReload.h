#pragma once

#include "modules/ModuleLists.h"

#include <QList>

class CVTRRuleBuilderDoc;

// After rule-module registration: the loaded rule modules follow the
// configured list and get the database-module list; every document that is
// not modified reads its file again; every document's views refill (hint 1),
// dropping the rules of modules that went; and only then are those libraries
// freed, last to first, so that no rule they made outlives them.
void ReloadRuleModulesInDocuments(ModuleSet& modules, const QList<CVTRRuleBuilderDoc*>& documents);
