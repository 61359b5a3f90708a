#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

// What the criticality dialog of a user-defined rule offers, without windows.
namespace UserDefinedRuleCriticality {
// The five criticality words in code order (strings 61633 to 61637).
QStringList Entries();
// The entry a criticality opens with: code 1 to 5 gives entry 0 to 4, any other code entry 0.
int EntryOf(int32_t criticality);
// The code of an entry's text, compared exactly with the five words; 0 when none matches.
int32_t CodeOf(const QString& text);
} // namespace UserDefinedRuleCriticality
