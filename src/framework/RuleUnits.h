#pragma once

#include <cstdint>

#include <QString>

// The pair of rule input units: linear code then angular code.
struct RuleUnits
{
    int32_t LinearUnit = 0;
    int32_t AngularUnit = 0;
    bool operator==(const RuleUnits&) const = default;
};

// The name the rules' UpdateRule uses for a unit pair.
using RuleUnitSystemStructure = RuleUnits;

// Unit codes and the facts about each unit, in one table.
namespace VtrUnits {
enum LinearUnit : int32_t {
    Millimeters = 0, Centimeters = 1, Meters = 2, Inches = 3, Feet = 4, FeetAndInches = 5,
    Angstroms = 6, Nanometers = 7, Microns = 8, Miles = 9, Microinches = 10
};
enum AngularUnit : int32_t { Degrees = 0, DegreesMinutes = 1, DegreesMinutesSeconds = 2, Radians = 3 };

constexpr int32_t kLinearCount = 11;
constexpr int32_t kAngularCount = 4;

// Stored name of a linear code; any other code gives "millimeters".
QString LinearStoredName(int32_t code);
// Stored name of an angular code; any other code gives "degrees".
QString AngularStoredName(int32_t code);
// Millimetres in one unit of a linear code (exact decimal factors); 0 for an unknown code.
double MillimetersPerUnit(int32_t linearCode);
// Degrees in one unit of an angular code; 0 for an unknown code. Minutes and
// seconds forms hold their value as decimal degrees.
double DegreesPerUnit(int32_t angularCode);
// Converts a length between two linear codes; unknown codes leave it unchanged.
double ConvertLength(double value, int32_t from, int32_t to);
// Converts an angle between two angular codes; unknown codes leave it unchanged.
double ConvertAngle(double value, int32_t from, int32_t to);

// What a rule parameter's value measures, named by its "UnitType" attribute:
// "Length", "Angle", "Area", "Volume"; any other text measures nothing that
// follows the units.
enum class Quantity { None, Length, Angle, Area, Volume };
Quantity QuantityOfUnitType(QStringView unitType);
// Whether moving from one unit pair to the other changes values of the quantity.
bool ChangesWith(Quantity quantity, const RuleUnits& from, const RuleUnits& to);
// Converts a value between unit pairs: lengths by the length factor, areas by
// its square, volumes by its cube, angles by the angle factor. Unknown codes
// and quantities that follow no unit leave the value unchanged.
double ConvertQuantity(Quantity quantity, double value, const RuleUnits& from, const RuleUnits& to);
} // namespace VtrUnits
