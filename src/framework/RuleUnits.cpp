#include "RuleUnits.h"
#include "RuleUnitWords.h"
#include "UnitConversionChecks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include <QStringTokenizer>

namespace VtrUnits {
namespace {
struct LinearInfo
{
    const char* storedName;
    double millimeters;
    // Other words a value may carry for the unit, separated by '|'; the first is its symbol.
    const char* words;
};
// "feet & inches" holds a length as decimal inches.
const LinearInfo kLinear[kLinearCount] = {
    { "millimeters", 1.0, "mm|millimeter|millimetre|millimetres" },
    { "centimeters", 10.0, "cm|centimeter|centimetre|centimetres" },
    { "meters", 1000.0, "m|meter|metre|metres" },
    { "inches", 25.4, "in|inch" },
    { "feet", 304.8, "ft|foot" },
    { "feet & inches", 25.4, "" },
    { "angstroms", 1.0e-7, "\u00c5|angstrom" },
    { "nanometers", 1.0e-6, "nm|nanometer|nanometre|nanometres" },
    { "microns", 1.0e-3, "\u00b5m|um|micron|micrometer|micrometers|micrometre|micrometres" },
    { "miles", 1609344.0, "mi|mile" },
    { "microinches", 25.4e-6, "\u00b5in|uin|microinch" },
};
struct AngularInfo
{
    const char* storedName;
    const char* words;
};
// Minutes and seconds forms hold decimal degrees, so only their names are taken.
const AngularInfo kAngular[kAngularCount] = {
    { "degrees", "deg|degree|\u00b0" },
    { "degrees/minutes", "" },
    { "degrees/minutes/seconds", "" },
    { "radians", "rad|radian" },
};

// Whether word is the stored name or one of the other words (case ignored).
bool Names(QStringView word, const char* storedName, const char* words)
{
    if (word.compare(QString::fromUtf8(storedName), Qt::CaseInsensitive) == 0)
        return true;
    const QString others = QString::fromUtf8(words);
    for (QStringView w : QStringTokenizer(others, QLatin1Char('|'), Qt::SkipEmptyParts))
        if (word.compare(w, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString Symbol(const char* storedName, const char* words)
{
    const QString others = QString::fromUtf8(words);
    const qsizetype bar = others.indexOf(QLatin1Char('|'));
    const QString first = bar < 0 ? others : others.left(bar);
    return first.isEmpty() ? QString::fromUtf8(storedName) : first;
}
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
    return QString::fromLatin1(kAngular[code].storedName);
}

int32_t LinearCodeOfWord(QStringView word)
{
    for (int32_t c = 0; c < kLinearCount; ++c)
        if (Names(word.trimmed(), kLinear[c].storedName, kLinear[c].words))
            return c;
    return -1;
}

int32_t AngularCodeOfWord(QStringView word)
{
    for (int32_t c = 0; c < kAngularCount; ++c)
        if (Names(word.trimmed(), kAngular[c].storedName, kAngular[c].words))
            return c;
    return -1;
}

QString LinearSymbol(int32_t code)
{
    if (code < 0 || code >= kLinearCount)
        code = Millimeters;
    return Symbol(kLinear[code].storedName, kLinear[code].words);
}

QString AngularSymbol(int32_t code)
{
    if (code < 0 || code >= kAngularCount)
        code = Degrees;
    return Symbol(kAngular[code].storedName, kAngular[code].words);
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
