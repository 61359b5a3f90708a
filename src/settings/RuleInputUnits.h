#pragma once

#include "RuleUnits.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

class CVTRRuleBuilderDoc;

// Display texts of the units and the entries the unit dialog offers.
namespace UnitDisplay {
// Display text of a linear code ("feet & inches" included); empty for an unknown code.
QString LinearText(int32_t code);
// Display text of an angular code; empty for an unknown code.
QString AngularText(int32_t code);
// Linear codes in the order the dialog lists them; "feet & inches" is not offered.
const std::vector<int32_t>& OfferedLinearCodes();
// Angular codes in the order the dialog lists them.
const std::vector<int32_t>& OfferedAngularCodes();
// Code of an offered linear unit whose display text equals text exactly; 0 when none does.
int32_t LinearCodeOfText(const QString& text);
// Code of an angular unit whose display text equals text exactly; 0 when none does.
int32_t AngularCodeOfText(const QString& text);
// Index of the first entry that begins with text (case ignored), searched
// from the entry after `after` and wrapping round (-1 searches from the top);
// -1 when none does or text is empty.
int FindEntryBeginningWith(const QStringList& entries, const QString& text, int after);
} // namespace UnitDisplay

// What the unit dialog shows and does, without its window: the two lists,
// the entries selected on opening, and on OK the chosen pair written into
// the caller's pair and stored as the default.
class UnitSettingForm
{
public:
    // units is the caller's pair; it is read now and overwritten by Accept.
    explicit UnitSettingForm(RuleUnits* units);

    QStringList LinearEntries() const { return m_linearEntries; }
    QStringList AngularEntries() const { return m_angularEntries; }
    // Entry shown on opening for the pair's unit, or -1 (a unit not offered).
    int InitialLinearIndex() const { return m_initialLinear; }
    int InitialAngularIndex() const { return m_initialAngular; }

    // A selection the user made, remembered as the dialog's last choice.
    void OnLinearChanged(int index, const QString& text);
    void OnAngularChanged(int index, const QString& text);
    int LastLinearIndex() const { return m_lastLinearIndex; }
    QString LastLinearText() const { return m_lastLinearText; }
    int LastAngularIndex() const { return m_lastAngularIndex; }
    QString LastAngularText() const { return m_lastAngularText; }

    // OK: the text of each list's selected entry (none: that unit stays as
    // it was) becomes the pair's code; then the pair is stored as the default.
    void Accept(const std::optional<QString>& linearText, const std::optional<QString>& angularText);

private:
    RuleUnits* m_units;
    QStringList m_linearEntries;
    QStringList m_angularEntries;
    int m_initialLinear = -1;
    int m_initialAngular = -1;
    int m_lastLinearIndex = -1;
    int m_lastAngularIndex = -1;
    QString m_lastLinearText;
    QString m_lastAngularText;
};

// The "Rule input units" command: the dialog on a copy of the active
// document's units, and on OK the document takes the new pair and its views
// convert their rules (update hint 3).
class RuleInputUnits
{
public:
    // Runs the unit dialog on a pair; true when it ended with OK, the pair
    // then holding the choice.
    using UnitDialog = std::function<bool(RuleUnits& units)>;

    explicit RuleInputUnits(UnitDialog dialog);

    // The command for the active document; null does nothing. True when the
    // dialog ended with OK and the document took the pair.
    bool Run(CVTRRuleBuilderDoc* doc) const;

    // The document's previous units take its current ones, the current ones
    // take units, and the views convert their rules. A pair that differs
    // from the current one marks the document modified: its file still holds
    // the old units until it is saved.
    static void Apply(CVTRRuleBuilderDoc& doc, const RuleUnits& units);
    // The first value of the document's rules that units cannot hold (it
    // would be written as "inf" for good), as "\"parameter\" of rule
    // \"name\""; empty when every value converts.
    static QString Overflow(const CVTRRuleBuilderDoc& doc, const RuleUnits& units);

private:
    UnitDialog m_dialog;
};
