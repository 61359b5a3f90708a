#pragma once

#include "modules/ModuleLists.h"

#include <vector>

#include <QList>
#include <QSet>
#include <QString>

class CVTRRuleBuilderDoc;
class OrderedRuleSet;

// After rule-module registration: the loaded rule modules follow the
// configured list and get the database-module list; every document that is
// not modified reads its file again; every document's views refill (hint 1),
// dropping the rules of modules that went; and only then are those libraries
// freed, last to first, so that no rule they made outlives them.
void ReloadRuleModulesInDocuments(ModuleSet& modules, const QList<CVTRRuleBuilderDoc*>& documents);

// The libraries of loaded (by the path each was loaded from) that keep does
// not hold: the ones a registration unloads.
QSet<QString> LibrariesLeftOut(const PtrArray& loaded, const std::vector<void*>& keep);

// How many rules of ticked come from one of libraries, by the path each rule
// names (user-defined rules name none). One pass over the ticked rules.
int CountRulesOfLibraries(const OrderedRuleSet& ticked, const QSet<QString>& libraries);

// What unloading takes from one open document: its ticked rules of the
// libraries that go.
struct TickedRulesLost
{
    QString document; // the file's path, or the title of a document never saved
    int count = 0;
};
// The documents that lose ticked rules when libraries are unloaded, in the
// order given, with their counts.
std::vector<TickedRulesLost> CountTickedRulesLost(
    const QSet<QString>& libraries, const QList<CVTRRuleBuilderDoc*>& documents);

// Before a registration is applied: when it takes ticked rules out of open
// documents, says which files lose how many and asks whether to go on.
// True when nothing is lost or the user answers Yes.
bool ConfirmTickedRulesLost(const std::vector<TickedRulesLost>& lost);
