#include "settings/RuleInputUnits.h"

#include "ConcreteVTRRule.h"
#include "UnitConversionChecks.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"
#include "settings/RuleUnitSettings.h"

#include <utility>

namespace {
struct UnitText
{
    int32_t code;
    int stringId;
};

// Offered units in the order the dialog lists them (by string id).
const UnitText kOfferedLinear[] = {
    { VtrUnits::Angstroms, 61723 },
    { VtrUnits::Nanometers, 61724 },
    { VtrUnits::Microns, 61725 },
    { VtrUnits::Millimeters, 61726 },
    { VtrUnits::Centimeters, 61727 },
    { VtrUnits::Meters, 61728 },
    { VtrUnits::Microinches, 61729 },
    { VtrUnits::Miles, 61730 },
    { VtrUnits::Inches, 61731 },
    { VtrUnits::Feet, 61732 },
};
// Stored and read, never offered.
constexpr UnitText kFeetAndInches { VtrUnits::FeetAndInches, 61733 };
const UnitText kOfferedAngular[] = {
    { VtrUnits::Degrees, 61744 },
    { VtrUnits::DegreesMinutes, 61571 },
    { VtrUnits::DegreesMinutesSeconds, 61572 },
    { VtrUnits::Radians, 61568 },
};

template <size_t N> std::vector<int32_t> CodesOf(const UnitText (&table)[N])
{
    std::vector<int32_t> codes;
    for (const UnitText& u : table)
        codes.push_back(u.code);
    return codes;
}

template <size_t N> QStringList TextsOf(const UnitText (&table)[N])
{
    QStringList texts;
    for (const UnitText& u : table)
        texts << VtrString(u.stringId);
    return texts;
}

template <size_t N> int32_t CodeOfText(const UnitText (&table)[N], const QString& text)
{
    for (const UnitText& u : table)
        if (VtrString(u.stringId) == text)
            return u.code;
    return 0;
}
} // namespace

namespace UnitDisplay {
QString LinearText(int32_t code)
{
    if (code == kFeetAndInches.code)
        return VtrString(kFeetAndInches.stringId);
    for (const UnitText& u : kOfferedLinear)
        if (u.code == code)
            return VtrString(u.stringId);
    return {};
}

QString AngularText(int32_t code)
{
    for (const UnitText& u : kOfferedAngular)
        if (u.code == code)
            return VtrString(u.stringId);
    return {};
}

const std::vector<int32_t>& OfferedLinearCodes()
{
    static const std::vector<int32_t> codes = CodesOf(kOfferedLinear);
    return codes;
}

const std::vector<int32_t>& OfferedAngularCodes()
{
    static const std::vector<int32_t> codes = CodesOf(kOfferedAngular);
    return codes;
}

int32_t LinearCodeOfText(const QString& text)
{
    return CodeOfText(kOfferedLinear, text);
}

int32_t AngularCodeOfText(const QString& text)
{
    return CodeOfText(kOfferedAngular, text);
}

int FindEntryBeginningWith(const QStringList& entries, const QString& text, int after)
{
    // An empty text would match the first entry searched, selecting a unit
    // the pair does not hold.
    const auto count = static_cast<int>(entries.size());
    if (text.isEmpty() || count == 0)
        return -1;
    const int start = (after < 0 || after >= count) ? 0 : after + 1;
    for (int n = 0; n < count; ++n) {
        const int i = (start + n) % count;
        if (entries[i].startsWith(text, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}
} // namespace UnitDisplay

UnitSettingForm::UnitSettingForm(RuleUnits* units)
    : m_units(units)
    , m_linearEntries(TextsOf(kOfferedLinear))
    , m_angularEntries(TextsOf(kOfferedAngular))
{
    if (!m_units)
        return;
    m_initialLinear
        = UnitDisplay::FindEntryBeginningWith(m_linearEntries, UnitDisplay::LinearText(m_units->LinearUnit), 0);
    m_initialAngular
        = UnitDisplay::FindEntryBeginningWith(m_angularEntries, UnitDisplay::AngularText(m_units->AngularUnit), -1);
}

void UnitSettingForm::OnLinearChanged(int index, const QString& text)
{
    m_lastLinearIndex = index;
    m_lastLinearText = text;
}

void UnitSettingForm::OnAngularChanged(int index, const QString& text)
{
    m_lastAngularIndex = index;
    m_lastAngularText = text;
}

void UnitSettingForm::Accept(const std::optional<QString>& linearText, const std::optional<QString>& angularText)
{
    if (!m_units)
        return;
    if (linearText)
        m_units->LinearUnit = UnitDisplay::LinearCodeOfText(*linearText);
    if (angularText)
        m_units->AngularUnit = UnitDisplay::AngularCodeOfText(*angularText);
    // The choice becomes the default at once, whether or not a document takes it.
    SaveDefaultRuleUnits(*m_units);
}

RuleInputUnits::RuleInputUnits(UnitDialog dialog)
    : m_dialog(std::move(dialog))
{ }

bool RuleInputUnits::Run(CVTRRuleBuilderDoc* doc) const
{
    if (!doc || !m_dialog)
        return false;
    RuleUnits units = doc->CurrentUnits();
    if (!m_dialog(units))
        return false;
    // Refused before anything changes: an overflowing value cannot be put back.
    if (const QString overflow = Overflow(*doc, units); !overflow.isEmpty()) {
        ShowMessage(QStringLiteral("%1 is too large for the units chosen; the units were not changed.").arg(overflow),
            VtrString(StrId::AppCaption), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    Apply(*doc, units);
    return true;
}

QString RuleInputUnits::Overflow(const CVTRRuleBuilderDoc& doc, const RuleUnits& units)
{
    const RuleUnits from = doc.CurrentUnits();
    if (from == units)
        return {};
    QString overflow;
    doc.SelectedRules().ForEach([&](CVtrRule* rule) {
        const auto* concrete = dynamic_cast<const ConcreteVTRRule*>(rule);
        if (!overflow.isEmpty() || !concrete)
            return;
        const QString parameter = OverflowingParameter(*concrete, from, units);
        if (!parameter.isEmpty())
            overflow = QStringLiteral("\"%1\" of rule \"%2\"").arg(parameter, rule->GetRuleName());
    });
    return overflow;
}

void RuleInputUnits::Apply(CVTRRuleBuilderDoc& doc, const RuleUnits& units)
{
    const bool changed = units != doc.CurrentUnits();
    doc.SetUnits(units);
    doc.UpdateAllViews(UpdateHint::UnitsChanged);
    // The file holds its units: a change not saved would be lost on close
    // without a question.
    if (changed)
        doc.SetModifiedFlag(true);
}
