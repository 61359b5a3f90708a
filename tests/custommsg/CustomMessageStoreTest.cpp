// Storing imported custom messages and committing a message edited in place.

#include "RecordingDatabase.h"
#include "TestSupport.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"

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
    // The name and category stored are the sheet's.
    EXPECT_EQ(db.stored[1].helpId, 20);
    EXPECT_EQ(db.stored[1].name, QStringLiteral("Sheet Name"));
    EXPECT_EQ(db.stored[1].category, QStringLiteral("Sheet Cat"));
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
