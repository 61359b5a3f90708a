#pragma once

// A review of the rules a catalogue ships, for the tests of every catalogue
// (rule modules, product rules): the slips a validator or a unit change would
// misread.

#include <QString>
#include <QStringList>

class ConcreteVTRRule;

// What a parameter's name says it measures: "Length", "Angle", "Area",
// "Volume", "None" for counts, ratios and masses (values that follow no
// unit), or empty when the name does not say. The quantity is the last telling
// word before a qualifier ("per", "of", "in", "from", ...), so "Maximum flat
// area span" is a length and "Maximum area per vacuum port" an area.
QString QuantityNamed(const QString& parameterName);

// The slips of one rule's parameters, each a line naming the parameter:
// - a limit whose values lie in the wrong order: for ">=" (a minimum) the alert
//   lies at or below the limit and the limit at or below the recommended
//   value, the alert strictly below the recommended value; for "<=" (a
//   maximum) the mirror image; for "=" a recommended value equals the limit;
// - an operator other than those three;
// - a limit or ratio whose "UnitType" differs from what its name says it
//   measures (ratios, parameter Type 2, measure nothing).
QStringList CatalogueSlips(const ConcreteVTRRule& rule);
