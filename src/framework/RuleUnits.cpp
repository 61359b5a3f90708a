#include "RuleUnits.h"
#include "UnitConversionChecks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace VtrUnits {
namespace {
struct LinearInfo
{
    const char* storedName;
    double millimeters;
};
// "feet & inches" holds a length as decimal inches.
const LinearInfo kLinear[kLinearCount] = {
    {"millimeters", 1.0},       {"centimeters", 10.0},  {"meters", 1000.0},
    {"inches", 25.4},           {"feet", 304.8},        {"feet & inches", 25.4},
    {"angstroms", 1.0e-7},      {"nanometers", 1.0e-6}, {"microns", 1.0e-3},
    {"miles", 1609344.0},       {"microinches", 25.4e-6},
};
const char* const kAngularNames[kAngularCount] = {"degrees", "degrees/minutes", "degrees/minutes/seconds", "radians"};
} // namespace

QString LinearStoredName(int32_t code)
{
    if (code < 0 || code >= kLinearCount)
        code = Millimeters;
    return QString::fromLatin1(kLinear[code].storedName);
}

QString AngularStoredName(int32_t code)
{
    if (code < 0 || code >= kAngularCount)
        code = Degrees;
    return QString::fromLatin1(kAngularNames[code]);
}

double MillimetersPerUnit(int32_t code)
{
    return (code >= 0 && code < kLinearCount) ? kLinear[code].millimeters : 0.0;
}

double DegreesPerUnit(int32_t code)
{
    if (code < 0 || code >= kAngularCount)
        return 0.0;
    return code == Radians ? 180.0 / std::numbers::pi : 1.0;
}

double ConvertLength(double value, int32_t from, int32_t to)
{
    const double f = MillimetersPerUnit(from), t = MillimetersPerUnit(to);
    if (from == to || f == 0.0 || t == 0.0)
        return value;
    return value * f / t;
}

double ConvertAngle(double value, int32_t from, int32_t to)
{
    const double f = DegreesPerUnit(from), t = DegreesPerUnit(to);
    if (from == to || f == 0.0 || t == 0.0)
        return value;
    return value * f / t;
}

Quantity QuantityOfUnitType(QStringView unitType)
{
    if (unitType == QLatin1String("Length"))
        return Quantity::Length;
    if (unitType == QLatin1String("Angle"))
        return Quantity::Angle;
    if (unitType == QLatin1String("Area"))
        return Quantity::Area;
    if (unitType == QLatin1String("Volume"))
        return Quantity::Volume;
    return Quantity::None;
}

bool ChangesWith(Quantity quantity, const RuleUnits& from, const RuleUnits& to)
{
    switch (quantity) {
    case Quantity::Length:
    case Quantity::Area:
    case Quantity::Volume:
        return from.LinearUnit != to.LinearUnit;
    case Quantity::Angle:
        return from.AngularUnit != to.AngularUnit;
    case Quantity::None:
        break;
    }
    return false;
}

double ConvertQuantity(Quantity quantity, double value, const RuleUnits& from, const RuleUnits& to)
{
    if (quantity == Quantity::Angle)
        return ConvertAngle(value, from.AngularUnit, to.AngularUnit);
    const double f = MillimetersPerUnit(from.LinearUnit), t = MillimetersPerUnit(to.LinearUnit);
    if (from.LinearUnit == to.LinearUnit || f == 0.0 || t == 0.0)
        return value;
    switch (quantity) {
    case Quantity::Length:
        return value * (f / t); // one factor: value * f alone may overflow
    case Quantity::Area:
        return value * (f / t) * (f / t);
    case Quantity::Volume:
        return value * (f / t) * (f / t) * (f / t);
    default:
        return value;
    }
}

namespace {
double ToDigits(double value, int significant)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, value);
    return std::strtod(buffer, nullptr);
}
} // namespace

double RoundConverted(double value)
{
    if (!std::isfinite(value) || value == 0.0)
        return value;
    // A value with few digits that conversion blurred comes back to them; a
    // value that really has many digits keeps fifteen of them.
    for (int digits = 1; digits <= 9; ++digits) {
        const double shorter = ToDigits(value, digits);
        if (std::fabs(shorter - value) <= 1e-13 * std::fabs(value))
            return shorter;
    }
    return ToDigits(value, 15);
}

bool FitsEveryUnit(Quantity quantity, double value, const RuleUnits& units)
{
    if (!std::isfinite(value))
        return false;
    if (quantity == Quantity::None)
        return true;
    if (quantity == Quantity::Angle) {
        for (int32_t code = 0; code < kAngularCount; ++code)
            if (!std::isfinite(ConvertQuantity(quantity, value, units, { units.LinearUnit, code })))
                return false;
        return true;
    }
    for (int32_t code = 0; code < kLinearCount; ++code)
        if (!std::isfinite(ConvertQuantity(quantity, value, units, { code, units.AngularUnit })))
            return false;
    return true;
}
} // namespace VtrUnits
