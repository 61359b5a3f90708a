#pragma once

#include <cstdint>

#include <QString>
#include <QStringView>

// The words a value may carry for its unit, from the table of the units
// (RuleUnits.cpp), so that every unit the program knows is also a word.
namespace VtrUnits {
// The code of the unit a value names after its number: the stored name, its
// symbol ("mm", "in", "deg", "rad") or its singular, case ignored; -1 when
// the word names no unit of that kind.
int32_t LinearCodeOfWord(QStringView word);
int32_t AngularCodeOfWord(QStringView word);
// The symbol of a code ("mm", "deg"; the stored name where there is none);
// unknown codes give those of millimeters and degrees.
QString LinearSymbol(int32_t code);
QString AngularSymbol(int32_t code);
} // namespace VtrUnits
