#pragma once

#include "RuleUnits.h"

#include <QString>

class ConcreteVTRRule;

// What writing converted values needs beyond the factors: dropping the noise
// a conversion leaves, and finding values that a unit cannot hold.
namespace VtrUnits {
// A converted value as it is to be written: the shortest decimal of at most
// nine significant digits within a relative 1e-13 of it, else the value to
// fifteen significant digits. Factors such as 25.4 and pi leave noise in the
// last bits; dropping it lets a conversion and its way back restore the text
// a user typed (2 mm -> inches -> mm gives 2, not 1.9999999999999998).
// Non-finite values are returned as they are.
double RoundConverted(double value);
// Whether a value of the quantity in the given units stays finite in every
// unit of its kind, so that no later change of units can overflow it.
bool FitsEveryUnit(Quantity quantity, double value, const RuleUnits& units);
} // namespace VtrUnits

// The name of the first parameter of the rule whose value would overflow
// (no longer be finite) when converted between the unit pairs; empty when
// none would.
QString OverflowingParameter(const ConcreteVTRRule& rule, const RuleUnits& from, const RuleUnits& to);
