// Storing imported custom messages and committing a message edited in place.

#include "RecordingDatabase.h"
#include "TestSupport.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"

#include <iterator>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

using namespace CustomMessageStore;

namespace {

struct Event
{
    int32_t value;
    int32_t kind;
    QString text;
    bool operator==(const Event& o) const { return value == o.value && kind == o.kind && text == o.text; }
};

class CustomMessageStoreTest : public ::testing::Test
{
protected:
    // Listed rules with the given help ids, each showing "old <id>".
    void List(const QList<int>& helpIds, const QString& module = QStringLiteral("Milling Rules"))
    {
        QList<CVtrRule*> rules;
        for (int id : helpIds) {
            auto rule = std::make_unique<CVtrRule>();
            rule->SetHelpId(id);
            rule->SetRuleName(QStringLiteral("Rule %1").arg(id));
            rule->SetRuleCategory(QStringLiteral("Milling"));
            rule->SetRuleModuleName(module);
            rules.append(rule.get());
            owned.push_back(std::move(rule));
        }
        rows = std::make_unique<RuleMessageRows>(rules, nullptr);
        for (int r = 0; r < rows->RowCount(); ++r)
            rows->SetMessageAt(r, QStringLiteral("old %1").arg(helpIds[r]));
    }
    CustomMessageServices Services()
    {
        CustomMessageServices s;
        s.database = &db;
        s.trackEvent = [this](int32_t value, int32_t kind, const QString& text) {
            events.append({ value, kind, text });
        };
        return s;
    }
    static CustomMessageColumns Sheet(const QList<QStringList>& rows)
    {
        CustomMessageColumns t { { "Help ID" }, { "Rule Name" }, { "Rule Category" }, { "Custom Message" } };
        for (const QStringList& r : rows)
            for (int c = 0; c < r.size(); ++c)
                t[c].append(r[c]);
        return t;
    }

    ScriptedMessages messages;
    RecordingDatabase db;
    QList<Event> events;
    std::vector<std::unique_ptr<CVtrRule>> owned;
    std::unique_ptr<RuleMessageRows> rows;
};

} // namespace

TEST_F(CustomMessageStoreTest, EachListedRuleTakesTheFirstSheetRowOfItsHelpId)
{
    List({ 10, 20, 30, 40 });
    // 20 twice (the first wins), 30 absent, 40 without a message cell.
    const CustomMessageColumns sheet = Sheet({ { "20", "Sheet Name", "Sheet Cat", "first" },
        { "10", "Rule 10", "Milling", "" }, { "20", "Again", "Milling", "second" }, { "40", "Rule 40", "Milling" } });
    ASSERT_EQ(sheet[3].size(), 4);

    EXPECT_TRUE(StoreImported(sheet, *rows, Services()));

    ASSERT_EQ(db.stored.size(), 2);
    EXPECT_EQ(db.stored[0].helpId, 10);
    EXPECT_EQ(db.stored[0].message, QString());
    // A help id no other rule has decides; the name and category stored are
    // the rule's own, which the list looks the message up by.
    EXPECT_EQ(db.stored[1].helpId, 20);
    EXPECT_EQ(db.stored[1].name, QStringLiteral("Rule 20"));
    EXPECT_EQ(db.stored[1].category, QStringLiteral("Milling"));
    EXPECT_EQ(db.stored[1].message, QStringLiteral("first"));
    EXPECT_EQ(rows->MessageAt(0), QString());
    EXPECT_EQ(rows->MessageAt(1), QStringLiteral("first"));
    EXPECT_EQ(rows->MessageAt(2), QStringLiteral("old 30"));
    EXPECT_EQ(rows->MessageAt(3), QStringLiteral("old 40"));
    EXPECT_EQ(owned[1]->GetCustomMessage(), QStringLiteral("first"));
    // Only a message that is not empty is a usage event.
    EXPECT_EQ(events, (QList<Event> { { 56, 11, QStringLiteral("Rule 20") } }));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(CustomMessageStoreTest, EachSheetRowIsMatchedToItsRuleAndTheLogSaysWhatWasNot)
{
    // Rules without a help id of their own share 0: their name and category
    // tell them apart, without regard to case and spacing.
    struct RuleSpec
    {
        int helpId;
        const char* name;
        const char* display;
        const char* category;
        const char* module;
    };
    const RuleSpec specs[] = {
        { 100, "Minimum Hole Diameter", "SM - Minimum Hole Diameter", "Sheet Metal", "Sheet Metal Rules" },
        { 0, "Custom Rule One", "Custom Rule One", "Custom", "Custom Rules" },
        { 0, "CstTwo", "Custom Rule Two", "Custom", "Custom Rules" },
        { 300, "Check Drawing", "Check Drawing", "Checks", "Manual Check Rules" },
        { 0, "Check Notes", "Check Notes", "Custom", "Manual Check Drafting Rules" },
    };
    QList<CVtrRule*> rules;
    for (const RuleSpec& spec : specs) {
        auto rule = std::make_unique<CVtrRule>();
        rule->SetHelpId(spec.helpId);
        rule->SetRuleName(QString::fromLatin1(spec.name));
        rule->SetDisplayName(QString::fromLatin1(spec.display));
        rule->SetRuleCategory(QString::fromLatin1(spec.category));
        rule->SetRuleModuleName(QString::fromLatin1(spec.module));
        rules.append(rule.get());
        owned.push_back(std::move(rule));
    }
    rows = std::make_unique<RuleMessageRows>(rules, nullptr);

    using Fate = CustomMessageImport::RowMatch::Fate;
    const struct
    {
        QStringList row;
        Fate fate;
        int rule; // the listed row that takes the message, or -1
    } cases[] = {
        // The sheet's spelling of a unique help id's rule does not matter.
        { { "100", " minimum HOLE diameter ", "sheet metal", "m100" }, Fate::Imported, 0 },
        // The name may be the display name, as exported.
        { { "0", "CUSTOM RULE TWO ", " custom", "m2" }, Fate::Imported, 2 },
        { { "0", "Custom  Rule\tOne", "Custom", "m1" }, Fate::Imported, 1 },
        { { "0", "Custom Rule Three", "Custom", "m3" }, Fate::NoRule, -1 },
        { { "0", "Custom Rule One", "Other", "m1b" }, Fate::NoRule, -1 },
        { { "300", "Check Drawing", "Checks", "mm" }, Fate::ManualCheck, -1 },
        { { "0", "check notes", "custom", "mc" }, Fate::ManualCheck, -1 },
        { { "0", "custom rule one", "custom", "again" }, Fate::Repeated, -1 },
        { { "555", "Minimum Hole Diameter", "Sheet Metal", "x" }, Fate::WrongId, -1 },
    };
    QList<QStringList> sheetRows;
    for (const auto& c : cases)
        sheetRows.append(c.row);
    CustomMessageColumns sheet = Sheet(sheetRows);

    const CustomMessageImport::RowMatch match = CustomMessageImport::MatchRows(sheet, *rows);
    ASSERT_EQ(match.fate.size(), qsizetype(std::size(cases)) + 1);
    QList<qsizetype> expectedRows(rows->RowCount(), -1);
    for (qsizetype i = 0; i < qsizetype(std::size(cases)); ++i) {
        EXPECT_EQ(match.fate[i + 1], cases[i].fate) << cases[i].row.join(',').toStdString();
        if (cases[i].rule >= 0)
            expectedRows[cases[i].rule] = i + 1;
    }
    EXPECT_EQ(match.sheetRow, expectedRows);

    const CustomMessageImport::CheckResult checks = CustomMessageImport::Check(sheet, *rows);
    EXPECT_EQ(checks.refusal, 0);
    EXPECT_TRUE(checks.unmatchedRows);
    EXPECT_TRUE(checks.manualCheckRows);
    EXPECT_EQ(checks.notImported, 6);
    EXPECT_TRUE(checks.log.contains(QStringLiteral("\n\nNo Rule With This Help ID, Name And Category List\n"
                                                   "0\t : Custom Rule Three\t : Custom\n"
                                                   "0\t : Custom Rule One\t : Other\n")))
        << checks.log.toStdString();
    EXPECT_TRUE(checks.log.contains(QStringLiteral("\n\nCustom Message is not supported for Manual Check Rule.\n"
                                                   "300\t : Check Drawing\n0\t : check notes\n")))
        << checks.log.toStdString();
    EXPECT_TRUE(checks.log.contains(QStringLiteral("Wrong And Missing Help ID List\n555\t : Minimum Hole Diameter\n")));
    EXPECT_TRUE(checks.log.endsWith(QStringLiteral("\n\nRows not imported: 6 of 9\n"))) << checks.log.toStdString();

    EXPECT_TRUE(StoreImported(sheet, *rows, Services()));
    // Stored in list order under each rule's own name and category: what the
    // list looks up.
    ASSERT_EQ(db.stored.size(), 3);
    const struct
    {
        int32_t helpId;
        const char* name;
        const char* category;
        const char* message;
    } stored[] = {
        { 100, "Minimum Hole Diameter", "Sheet Metal", "m100" },
        { 0, "Custom Rule One", "Custom", "m1" },
        { 0, "CstTwo", "Custom", "m2" },
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(db.stored[i].helpId, stored[i].helpId) << i;
        EXPECT_EQ(db.stored[i].name, QString::fromLatin1(stored[i].name)) << i;
        EXPECT_EQ(db.stored[i].category, QString::fromLatin1(stored[i].category)) << i;
        EXPECT_EQ(db.stored[i].message, QString::fromLatin1(stored[i].message)) << i;
    }
    EXPECT_EQ(rows->MessageAt(3), QString());
    EXPECT_EQ(rows->MessageAt(4), QString());
    EXPECT_TRUE(owned[3]->GetCustomMessage().isEmpty());
}

TEST_F(CustomMessageStoreTest, AHelpIdTheLogCallsWrongIsNeverStored)
{
    // Each spelling: whether it reads as the listed rule's 20701. The log
    // and the store must agree on it.
    const struct
    {
        const char* id;
        bool reads;
    } cases[] = {
        { "20701", true },
        { " 20701 ", true },
        { "020701", true },
        { "+20701", false },
        { "20701.0", false },
        { "2.0701E4", false },
        { "20701x", false },
    };
    for (const auto& c : cases) {
        owned.clear();
        db = RecordingDatabase();
        List({ 20701 });
        CustomMessageColumns sheet = Sheet({ { c.id, "Rule 20701", "Milling", "new" } });
        const CustomMessageImport::CheckResult checks = CustomMessageImport::Check(sheet, *rows);
        EXPECT_EQ(checks.unknownIds, !c.reads) << c.id;
        EXPECT_EQ(checks.AnyFlag(), !c.reads) << c.id;
        EXPECT_TRUE(StoreImported(sheet, *rows, Services())) << c.id;
        EXPECT_EQ(db.stored.size(), c.reads ? 1 : 0) << c.id;
        EXPECT_EQ(rows->MessageAt(0), c.reads ? QStringLiteral("new") : QStringLiteral("old 20701")) << c.id;
    }
}

TEST_F(CustomMessageStoreTest, ARefusedSheetStoresNothingAndKeepsEveryRow)
{
    List({ 1, 2, 3 });
    db.failAt = 1;
    const CustomMessageColumns sheet = Sheet(
        { { "1", "Rule 1", "Milling", "a" }, { "2", "Rule 2", "Milling", "b" }, { "3", "Rule 3", "Milling", "c" } });

    EXPECT_FALSE(StoreImported(sheet, *rows, Services()));

    // One call for the whole sheet, and nothing of it anywhere.
    EXPECT_EQ(db.calls, 1);
    EXPECT_TRUE(db.stored.isEmpty());
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(rows->MessageAt(r), QStringLiteral("old %1").arg(r + 1)) << r;
        EXPECT_EQ(owned[r]->GetCustomMessage(), QString()) << r;
    }
    EXPECT_TRUE(events.isEmpty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral(" Failed to add Custom Message in Database.\n")));
}

TEST_F(CustomMessageStoreTest, CancellingTheWarningStoresNothingAndEndsEditingFirst)
{
    List({ 1 });
    QStringList order;
    CustomMessageServices s = Services();
    s.endEditing = [&] { order << QStringLiteral("end editing"); };
    s.confirm = [&] {
        order << QStringLiteral("warning");
        return false;
    };
    EXPECT_FALSE(StoreImported(Sheet({ { "1", "Rule 1", "Milling", "new" } }), *rows, s));
    EXPECT_EQ(order, (QStringList { "end editing", "warning" }));
    EXPECT_EQ(db.calls, 0);
    EXPECT_EQ(rows->MessageAt(0), QStringLiteral("old 1"));
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(CustomMessageStoreTest, WithoutADatabaseNothingCountsAsStored)
{
    List({ 1 });
    CustomMessageServices s = Services();
    s.database = nullptr;
    EXPECT_FALSE(StoreImported(Sheet({ { "1", "Rule 1", "Milling", "new" } }), *rows, s));
    EXPECT_EQ(rows->MessageAt(0), QStringLiteral("old 1"));
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(CustomMessageStoreTest, TheWarningIsAskedUntilItsOkTurnsItOff)
{
    bool warningOn = true;
    int asked = 0;
    EXPECT_FALSE(ConfirmCentralDatabase(warningOn, [&] { return ++asked, false; }));
    EXPECT_TRUE(warningOn);
    EXPECT_TRUE(ConfirmCentralDatabase(warningOn, [&] { return ++asked, true; }));
    EXPECT_FALSE(warningOn);
    EXPECT_TRUE(ConfirmCentralDatabase(warningOn, [&] { return ++asked, false; }));
    EXPECT_EQ(asked, 2);
}

TEST_F(CustomMessageStoreTest, CommittingAnEdit)
{
    const struct
    {
        const char* what;
        const char* module;
        const char* text;
        bool confirm;
        int failAt;
        EditResult result;
        const char* shown; // start of the message shown, or null
        const char* cell; // the row's message afterwards
        int stores;
    } cases[] = {
        { "same text", "Milling Rules", "old 5", true, 0, EditResult::Unchanged, nullptr, "old 5", 0 },
        { "case only", "Milling Rules", "OLD 5", true, 0, EditResult::Unchanged, nullptr, "old 5", 0 },
        { "manual check", "Manual Check Rules", "new", true, 0, EditResult::Refused,
            "Custom Message is not supported for Manual Check Rule.", "old 5", 0 },
        { "manual drafting", "Manual Check Drafting Rules", "new", true, 0, EditResult::Refused,
            "Custom Message is not supported", "old 5", 0 },
        { "warning cancelled", "Milling Rules", "new", false, 0, EditResult::Cancelled, nullptr, "old 5", 0 },
        { "stored", "Milling Rules", "new", true, 0, EditResult::Stored, nullptr, "new", 1 },
        { "emptied", "Milling Rules", "", true, 0, EditResult::Stored, nullptr, "", 1 },
        { "refused by the database", "Milling Rules", "new", true, 1, EditResult::Failed, " Failed to add", "old 5",
            0 },
    };
    for (const auto& c : cases) {
        owned.clear();
        messages.shown.clear();
        events.clear();
        db = RecordingDatabase();
        db.failAt = c.failAt;
        List({ 5 }, QString::fromLatin1(c.module));
        CustomMessageServices s = Services();
        s.confirm = [&] { return c.confirm; };

        EXPECT_EQ(CommitEdit(*rows, 0, QStringLiteral("old 5"), QString::fromLatin1(c.text), s), c.result) << c.what;

        EXPECT_EQ(rows->MessageAt(0), QString::fromLatin1(c.cell)) << c.what;
        EXPECT_EQ(db.stored.size(), c.stores) << c.what;
        if (c.shown) {
            ASSERT_EQ(messages.shown.size(), 1u) << c.what;
            EXPECT_TRUE(messages.shown[0].text.startsWith(QString::fromLatin1(c.shown))) << c.what;
        } else {
            EXPECT_TRUE(messages.shown.empty()) << c.what;
        }
        if (c.result == EditResult::Stored) {
            EXPECT_EQ(db.stored[0].name, QStringLiteral("Rule 5"));
            EXPECT_EQ(db.stored[0].message, QString::fromLatin1(c.text));
            EXPECT_EQ(owned[0]->GetCustomMessage(), QString::fromLatin1(c.text));
        }
        // The in-place edit reports 37 whenever it stores (also when the store then fails).
        const bool tried = c.result == EditResult::Stored || c.result == EditResult::Failed;
        const QList<Event> expected = tried ? QList<Event> { { 37, 11, QStringLiteral("Rule 5") } } : QList<Event> {};
        EXPECT_EQ(events, expected) << c.what;
    }
}

TEST_F(CustomMessageStoreTest, EditingStartsOnlyWithAConnectedDatabase)
{
    EXPECT_TRUE(CanEdit(&db));
    EXPECT_TRUE(messages.shown.empty());
    db.connected = false;
    EXPECT_FALSE(CanEdit(&db));
    EXPECT_FALSE(CanEdit(nullptr));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Database is not connected. Please configure database properly"));
}
