// The rule input units: display texts, the dialog's lists and choice, and the
// command on a document.

#include "TestSupport.h"

#include "PLQSettingUtil.h"
#include "RuleItemOf.h"
#include "document/RuleDocViewLink.h"
#include "document/VTRRuleBuilderDoc.h"
#include "settings/RuleInputUnits.h"
#include "settings/RuleUnitSettings.h"

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

namespace {

QString Setting(uint16_t id)
{
    QString text;
    return CPLQSettingUtil::GetSettingWStringValue(id, text) ? text : QStringLiteral("<unset>");
}

// A view that records the hints it is sent and holds no rules.
struct HintRecorder : IRuleDocView
{
    std::vector<int> hints;
    void OnUpdate(int hint) override { hints.push_back(hint); }
    QList<CVtrRule*> ListedRules() const override { return {}; }
    void ClearRows() override { }
};

// A dialog that picks the given texts and presses OK, or is closed.
RuleInputUnits::UnitDialog PickAndPress(
    std::optional<QString> linear, std::optional<QString> angular, bool ok, int* opened = nullptr)
{
    return [=](RuleUnits& units) {
        if (opened)
            ++*opened;
        UnitSettingForm form(&units);
        if (ok)
            form.Accept(linear, angular);
        return ok;
    };
}

TEST(UnitDisplay, TheListsHoldEveryOfferedUnitOnceInTheirOrder)
{
    const std::vector<int32_t> linear { 6, 7, 8, 0, 1, 2, 10, 9, 3, 4 };
    EXPECT_EQ(UnitDisplay::OfferedLinearCodes(), linear);
    EXPECT_EQ(UnitDisplay::OfferedAngularCodes(), (std::vector<int32_t> { 0, 1, 2, 3 }));

    RuleUnits units;
    const UnitSettingForm form(&units);
    const QStringList linearTexts = form.LinearEntries();
    ASSERT_EQ(linearTexts.size(), 10);
    for (qsizetype i = 0; i < linearTexts.size(); ++i) {
        EXPECT_EQ(linearTexts[i], UnitDisplay::LinearText(linear[static_cast<size_t>(i)]));
        // Each text leads back to its own unit, and no text begins another,
        // so that the opening selection finds the right entry.
        EXPECT_EQ(UnitDisplay::LinearCodeOfText(linearTexts[i]), linear[static_cast<size_t>(i)]);
        EXPECT_EQ(UnitDisplay::FindEntryBeginningWith(linearTexts, linearTexts[i], 0), i);
    }
    EXPECT_EQ(std::set<QString>(linearTexts.begin(), linearTexts.end()).size(), 10u);
    EXPECT_FALSE(linearTexts.contains(UnitDisplay::LinearText(VtrUnits::FeetAndInches)));
    const QStringList angularTexts = form.AngularEntries();
    ASSERT_EQ(angularTexts.size(), 4);
    for (qsizetype i = 0; i < angularTexts.size(); ++i) {
        EXPECT_EQ(UnitDisplay::AngularCodeOfText(angularTexts[i]), i);
        EXPECT_EQ(UnitDisplay::FindEntryBeginningWith(angularTexts, UnitDisplay::AngularText(int32_t(i)), -1), i);
    }
    EXPECT_EQ(std::set<QString>(angularTexts.begin(), angularTexts.end()).size(), 4u);
}

TEST(UnitDisplay, TextsAreMatchedExactlyWhenTheDialogCloses)
{
    const struct
    {
        const char* text;
        int32_t linear;
        int32_t angular;
    } cases[] = {
        { "inches", 3, 0 },
        { "Inches", 0, 0 },
        { "feet", 4, 0 },
        { "feet & inches", 0, 0 }, // not offered
        { "microinches", 10, 0 },
        { "radians", 0, 3 },
        { "degrees/minutes/seconds", 0, 2 },
        { "", 0, 0 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnitDisplay::LinearCodeOfText(QString::fromUtf8(c.text)), c.linear) << c.text;
        EXPECT_EQ(UnitDisplay::AngularCodeOfText(QString::fromUtf8(c.text)), c.angular) << c.text;
    }
}

TEST(UnitDisplay, FindingAnEntrySearchesAfterTheStartAndWrapsRound)
{
    const QStringList entries { "alpha", "beta", "alphabet", "gamma" };
    const struct
    {
        const char* text;
        int after;
        int found;
    } cases[] = {
        { "alpha", -1, 0 },
        { "alpha", 0, 2 }, // the first entry is searched last
        { "ALPHA", 2, 0 }, // wraps round, case ignored
        { "gam", 0, 3 },
        { "delta", 0, -1 },
        { "", 0, -1 }, // an empty text selects nothing
        { "beta", 7, 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnitDisplay::FindEntryBeginningWith(entries, QString::fromUtf8(c.text), c.after), c.found)
            << c.text << " after " << c.after;
    EXPECT_EQ(UnitDisplay::FindEntryBeginningWith({}, QStringLiteral("x"), 0), -1);
}

TEST(UnitSettingForm, OpensOnTheEntriesOfThePair)
{
    const struct
    {
        RuleUnits units;
        int linear;
        int angular;
    } cases[] = {
        { { 0, 0 }, 3, 0 }, { { 3, 3 }, 8, 3 }, { { 2, 1 }, 5, 1 }, // "meters", not "millimeters"
        { { 6, 2 }, 0, 2 }, { { 4, 0 }, 9, 0 }, { { 5, 0 }, -1, 0 }, // "feet & inches" has no entry
        { { 42, -1 }, -1, -1 }, // unknown codes select nothing
    };
    for (const auto& c : cases) {
        RuleUnits units = c.units;
        const UnitSettingForm form(&units);
        EXPECT_EQ(form.InitialLinearIndex(), c.linear) << c.units.LinearUnit;
        EXPECT_EQ(form.InitialAngularIndex(), c.angular) << c.units.AngularUnit;
    }
}

TEST(UnitSettingForm, OkWritesThePairAndStoresItAsDefault)
{
    ScopedTestEnv env;
    RuleUnits units { 0, 0 };
    UnitSettingForm form(&units);
    form.OnLinearChanged(8, QStringLiteral("inches"));
    EXPECT_EQ(form.LastLinearIndex(), 8);
    EXPECT_EQ(form.LastLinearText(), QStringLiteral("inches"));
    form.Accept(QStringLiteral("inches"), QStringLiteral("radians"));
    EXPECT_EQ(units, (RuleUnits { 3, 3 }));
    EXPECT_EQ(Setting(23), QStringLiteral("inches"));
    EXPECT_EQ(Setting(24), QStringLiteral("radians"));
}

TEST(UnitSettingForm, FeetAndInchesIsStoredAndReadButNotOffered)
{
    ScopedTestEnv env;
    SaveDefaultRuleUnits({ VtrUnits::FeetAndInches, 0 });
    EXPECT_EQ(Setting(23), QStringLiteral("feet & inches"));
    RuleUnits units;
    LoadDefaultRuleUnits(units);
    EXPECT_EQ(units.LinearUnit, VtrUnits::FeetAndInches);

    const auto& offered = UnitDisplay::OfferedLinearCodes();
    EXPECT_EQ(std::count(offered.begin(), offered.end(), VtrUnits::FeetAndInches), 0);
    // No entry selected on OK: the unit stays as it was.
    UnitSettingForm form(&units);
    EXPECT_EQ(form.InitialLinearIndex(), -1);
    form.Accept(std::nullopt, QStringLiteral("radians"));
    EXPECT_EQ(units, (RuleUnits { VtrUnits::FeetAndInches, 3 }));
    EXPECT_EQ(Setting(23), QStringLiteral("feet & inches"));
    EXPECT_EQ(Setting(24), QStringLiteral("radians"));
}

TEST(DefaultRuleUnits, RadiansReadAsALinearUnitGivesInches)
{
    ScopedTestEnv env;
    CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(23), QStringLiteral("radians")));
    CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(24), QStringLiteral("MILLIMETERS")));
    RuleUnits units { 1, 1 };
    LoadDefaultRuleUnits(units);
    EXPECT_EQ(units, (RuleUnits { 3, 0 }));
}

class RuleInputUnitsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // New documents start from the stored pair.
        SaveDefaultRuleUnits({ 1, 2 });
        ASSERT_TRUE(m_doc.OnNewDocument());
        ASSERT_EQ(m_doc.CurrentUnits(), (RuleUnits { 1, 2 }));
        m_doc.AddView(&m_view);
    }
    void TearDown() override
    {
        m_doc.RemoveView(&m_view);
        m_doc.OnCloseDocument();
    }
    ScopedTestEnv m_env;
    CVTRRuleBuilderDoc m_doc;
    HintRecorder m_view;
};

TEST_F(RuleInputUnitsTest, InchesAndRadiansBecomeTheDocumentsUnitsAndTheDefault)
{
    int opened = 0;
    const RuleInputUnits command(PickAndPress(QStringLiteral("inches"), QStringLiteral("radians"), true, &opened));
    EXPECT_TRUE(command.Run(&m_doc));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(Setting(23), QStringLiteral("inches"));
    EXPECT_EQ(Setting(24), QStringLiteral("radians"));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 3, 3 }));
    EXPECT_EQ(m_doc.PreviousUnits(), (RuleUnits { 1, 2 }));
    EXPECT_EQ(m_view.hints, (std::vector<int> { UpdateHint::UnitsChanged }));
    // The file still holds the old units: closing must ask.
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_TRUE(m_doc.GetTitle().endsWith(QLatin1Char('*')));

    // A second change keeps the pair it replaces.
    EXPECT_TRUE(
        RuleInputUnits(PickAndPress(QStringLiteral("millimeters"), QStringLiteral("degrees"), true)).Run(&m_doc));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 0, 0 }));
    EXPECT_EQ(m_doc.PreviousUnits(), (RuleUnits { 3, 3 }));
    EXPECT_EQ(m_view.hints.size(), 2u);
}

TEST_F(RuleInputUnitsTest, OkOnTheUnitsTheDocumentHasChangesNothingToSave)
{
    const RuleInputUnits command([](RuleUnits&) { return true; }); // OK without a change
    EXPECT_TRUE(command.Run(&m_doc));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 1, 2 }));
    EXPECT_FALSE(m_doc.IsModified());
}

TEST_F(RuleInputUnitsTest, TheDialogWorksOnACopyOfTheDocumentsUnits)
{
    RuleUnits seen { -1, -1 };
    const RuleInputUnits command([&](RuleUnits& units) {
        seen = units;
        units = { 9, 1 }; // the dialog's own pair, taken only on OK
        return false;
    });
    EXPECT_FALSE(command.Run(&m_doc));
    EXPECT_EQ(seen, (RuleUnits { 1, 2 }));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 1, 2 }));
}

TEST_F(RuleInputUnitsTest, UnitsThatCannotHoldAValueAreRefusedWithNothingChanged)
{
    // 1e305 centimetres is 1e313 angstroms: beyond a double.
    ConcreteVTRRule rule;
    rule.SetRuleName(QStringLiteral("Minimum flange width"));
    rule.SetRuleUnits(m_doc.CurrentUnits());
    rule.Items() = { RuleItemOf(QStringLiteral("Parameter"),
        { { QStringLiteral("Name"), QStringLiteral("Width") }, { QStringLiteral("UnitType"), QStringLiteral("Length") } },
        {}, { RuleItemOf(QStringLiteral("Value"), {}, QStringLiteral("1e305")) }) };
    ASSERT_TRUE(m_doc.SelectedRules().Append(&rule));
    ScriptedMessages messages;
    const RuleInputUnits command([](RuleUnits& units) {
        units = { 6, 2 };
        return true;
    });
    EXPECT_FALSE(command.Run(&m_doc));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("\"Width\" of rule \"Minimum flange width\"")))
        << qPrintable(messages.shown[0].text);
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 1, 2 }));
    EXPECT_TRUE(m_view.hints.empty());
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(rule.Items()[0].children[0].text, QStringLiteral("1e305"));
    // Units that hold it are taken.
    EXPECT_TRUE(RuleInputUnits([](RuleUnits& units) {
        units = { 2, 2 };
        return true;
    }).Run(&m_doc));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 2, 2 }));
    m_doc.SelectedRules().Remove(&rule);
}

TEST_F(RuleInputUnitsTest, CancelChangesNothing)
{
    const QString linearBefore = Setting(23);
    const QString angularBefore = Setting(24);
    const RuleUnits previousBefore = m_doc.PreviousUnits();
    const RuleInputUnits command(PickAndPress(QStringLiteral("inches"), QStringLiteral("radians"), false));
    EXPECT_FALSE(command.Run(&m_doc));
    EXPECT_EQ(m_doc.CurrentUnits(), (RuleUnits { 1, 2 }));
    EXPECT_EQ(m_doc.PreviousUnits(), previousBefore);
    EXPECT_TRUE(m_view.hints.empty());
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(Setting(23), linearBefore);
    EXPECT_EQ(Setting(24), angularBefore);
}

TEST(RuleInputUnits, WithoutADocumentNothingIsShown)
{
    int opened = 0;
    const RuleInputUnits command(PickAndPress(QStringLiteral("inches"), QStringLiteral("radians"), true, &opened));
    EXPECT_FALSE(command.Run(nullptr));
    EXPECT_EQ(opened, 0);
}

} // namespace
