// What every database module keeps of who changed what: the change log,
// row versions that keep an editor from overwriting a newer row, the status
// and the copy of everything it holds. Written once over a table of modules.

#include "ChangeLogText.h"
#include "DatabaseModule.h"
#include "PostgresTestDatabase.h"
#include "VtrDatabaseServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QThread>

namespace {

using Collector = DatabaseModule::Collector;
using vtr_db::ProductTable;

struct HistoryModule
{
    const char* name;
    // A new collector over the database of the test's environment.
    Collector (*create)();
    // Points the environment at an empty database of the module's.
    void (*fresh)(ScopedTestEnv& env);
};

Collector CreateSqlite()
{
    static DatabaseModule module;
    EXPECT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError());
    return module.Create();
}

// The test environment's database folder starts empty.
void FreshSqlite(ScopedTestEnv&) {}

Collector CreatePostgres()
{
    static DatabaseModule module(QStringLiteral("VtrPostgresDatabaseu.so"));
    EXPECT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError());
    return module.Create();
}

void FreshPostgres(ScopedTestEnv& env)
{
    const QString database = NewPostgresDatabase(QStringLiteral("history"));
    ASSERT_FALSE(database.isEmpty());
    env.Set(vtr_db::kDatabaseUrlVariable, database);
}

const HistoryModule kHistoryModules[] = {
    { "sqlite", &CreateSqlite, &FreshSqlite },
    { "postgres", &CreatePostgres, &FreshPostgres },
};

class ChangeHistory : public ::testing::TestWithParam<const HistoryModule*>
{
protected:
    void SetUp() override { GetParam()->fresh(env); }
    Collector Create() const { return GetParam()->create(); }

    // The stored thread of a designation, read by db.
    static vtr_db::ProductRow Thread(vtr_db::IDatabaseCollector& db, const QString& designation)
    {
        QList<vtr_db::ProductRow> rows;
        QString error;
        EXPECT_TRUE(db.ReadProductTable(ProductTable::Threads, rows, error)) << qPrintable(error);
        const int column = vtr_db::ProductColumnIndex(ProductTable::Threads, "Designation");
        for (const vtr_db::ProductRow& row : rows)
            if (row.values[column].toString() == designation)
                return row;
        ADD_FAILURE() << "no thread " << qPrintable(designation);
        return {};
    }
    static void SetNumber(vtr_db::ProductRow& row, const char* column, double value)
    {
        row.values[vtr_db::ProductColumnIndex(ProductTable::Threads, column)] = value;
    }
    static bool Write(vtr_db::IDatabaseCollector& db, const QList<vtr_db::ProductRow>& rows, QString& error,
        const QList<int64_t>& removed = {})
    {
        vtr_db::ProductChanges changes;
        changes.table = ProductTable::Threads;
        changes.rows = rows;
        changes.removed = removed;
        return db.WriteProductChanges(changes, error);
    }

    ScopedTestEnv env;
};

TEST_P(ChangeHistory, EveryChangeIsLoggedWithWhoWhenAndBothValues)
{
    const Collector db = Create();
    const QString before = vtr_db::ChangeTime();
    const QString element = QStringLiteral("<Rule Name=\"Hole depth\"/>");
    const QString element2 = QStringLiteral("<Rule Name=\"Hole depth\" Value=\"2\"/>");
    ASSERT_EQ(db->AddCustomMessage(20001, QStringLiteral("Hole depth"), QStringLiteral("Drill"), QStringLiteral("a")), 0);
    ASSERT_EQ(db->AddCustomMessage(20001, QStringLiteral("Hole depth"), QStringLiteral("Drill"), QStringLiteral("b")), 0);
    // Storing the message it already has changes nothing and logs nothing.
    ASSERT_EQ(db->AddCustomMessage(20001, QStringLiteral("Hole depth"), QStringLiteral("Drill"), QStringLiteral("b")), 0);
    ASSERT_EQ(db->AddCustomMessage(20001, QStringLiteral("Hole depth"), QStringLiteral("Drill"), QString()), 0);
    ASSERT_EQ(db->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("Hole depth"), QStringLiteral("Drill"), element), 0);
    ASSERT_EQ(db->AddUserRule(QStringLiteral("Mill"), QStringLiteral("Hole depth"), QStringLiteral("Drill"), element2), 0);
    ASSERT_EQ(db->RemoveUserRule(QStringLiteral("Mill"), QStringLiteral("Hole depth"), QStringLiteral("Drill")), 1);
    vtr_db::ProductRow thread = Thread(*db, QStringLiteral("M8x1"));
    const QString threadBefore = vtr_db::ProductRowText(ProductTable::Threads, thread);
    SetNumber(thread, "TapDrill", 7.1);
    QString error;
    ASSERT_TRUE(Write(*db, { thread }, error)) << qPrintable(error);
    ASSERT_TRUE(Write(*db, {}, error, { thread.id })) << qPrintable(error);

    const QString messageKey = vtr_db::MessageChangeKey(20001, QStringLiteral("Hole depth"), QStringLiteral("Drill"));
    const QString ruleKey = vtr_db::RuleChangeKey(QStringLiteral("Mill"), QStringLiteral("Hole depth"), QStringLiteral("Drill"));
    const QString rowKey = vtr_db::ProductChangeKey(ProductTable::Threads, thread.id);
    const QString threadAfter = vtr_db::ProductRowText(ProductTable::Threads, thread);
    ASSERT_NE(threadBefore, threadAfter);
    const struct
    {
        const char* what;
        QString key, oldValue, newValue;
    } expected[] = {
        // Newest first.
        { vtr_db::kChangeProductRow, rowKey, threadAfter, {} },
        { vtr_db::kChangeProductRow, rowKey, threadBefore, threadAfter },
        { vtr_db::kChangeUserRule, ruleKey, element2, {} },
        { vtr_db::kChangeUserRule, ruleKey, element, element2 },
        { vtr_db::kChangeUserRule, ruleKey, {}, element },
        { vtr_db::kChangeMessage, messageKey, QStringLiteral("b"), {} },
        { vtr_db::kChangeMessage, messageKey, QStringLiteral("a"), QStringLiteral("b") },
        { vtr_db::kChangeMessage, messageKey, {}, QStringLiteral("a") },
    };
    QList<vtr_db::ChangeRecord> log;
    ASSERT_TRUE(db->ReadChangeLog(QString(), log, error)) << qPrintable(error);
    ASSERT_EQ(log.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const vtr_db::ChangeRecord& r = log[static_cast<qsizetype>(i)];
        EXPECT_EQ(r.what, QLatin1String(expected[i].what));
        EXPECT_EQ(r.key, expected[i].key);
        EXPECT_EQ(r.oldValue, expected[i].oldValue);
        EXPECT_EQ(r.newValue, expected[i].newValue);
        EXPECT_EQ(r.user, vtr_db::ChangeUser());
        EXPECT_EQ(r.host, vtr_db::ChangeHost());
        EXPECT_GE(r.time, before);
        if (i > 0) {
            EXPECT_LT(r.id, log[static_cast<qsizetype>(i) - 1].id);
        }
    }

    // Since a moment after everything: nothing; since before: all.
    ASSERT_TRUE(db->ReadChangeLog(QStringLiteral("2999-01-01T00:00:00Z"), log, error));
    EXPECT_TRUE(log.isEmpty());
    ASSERT_TRUE(db->ReadChangeLog(before, log, error));
    EXPECT_EQ(log.size(), std::size(expected));
}

TEST_P(ChangeHistory, AnEditorNeverWritesOverARowChangedAfterItWasRead)
{
    const Collector mine = Create();
    const Collector theirs = Create();
    vtr_db::ProductRow m8 = Thread(*mine, QStringLiteral("M8x1"));
    vtr_db::ProductRow m10 = Thread(*mine, QStringLiteral("M10x1.25"));
    ASSERT_GT(m8.version, 0);

    // Another seat changes M8x1 after this editor read it.
    vtr_db::ProductRow theirM8 = Thread(*theirs, QStringLiteral("M8x1"));
    SetNumber(theirM8, "TapDrill", 6.9);
    QString error;
    ASSERT_TRUE(Write(*theirs, { theirM8 }, error)) << qPrintable(error);

    // This editor's change of both rows is refused whole, and says who
    // changed the row and what it holds now.
    SetNumber(m8, "TapDrill", 7.2);
    SetNumber(m10, "TapDrill", 8.9);
    EXPECT_FALSE(Write(*mine, { m10, m8 }, error));
    EXPECT_TRUE(error.contains(vtr_db::ChangeUser())) << qPrintable(error);
    EXPECT_TRUE(error.contains(QStringLiteral("Tap drill (mm): 6.9"))) << qPrintable(error);
    const vtr_db::ProductRow storedM8 = Thread(*mine, QStringLiteral("M8x1"));
    EXPECT_EQ(storedM8.values, theirM8.values);
    EXPECT_GT(storedM8.version, m8.version);
    EXPECT_EQ(storedM8.changedBy, vtr_db::ChangeUser());
    EXPECT_FALSE(storedM8.changedAt.isEmpty());
    EXPECT_EQ(Thread(*mine, QStringLiteral("M10x1.25")).values, Thread(*theirs, QStringLiteral("M10x1.25")).values);
    EXPECT_NE(Thread(*mine, QStringLiteral("M10x1.25")).values, m10.values);

    // Read again, the same change goes through; a row without a version is
    // written as it is.
    vtr_db::ProductRow fresh = Thread(*mine, QStringLiteral("M8x1"));
    SetNumber(fresh, "TapDrill", 7.2);
    ASSERT_TRUE(Write(*mine, { fresh }, error)) << qPrintable(error);
    vtr_db::ProductRow unversioned = Thread(*theirs, QStringLiteral("M8x1"));
    unversioned.version = 0;
    SetNumber(unversioned, "TapDrill", 7.0);
    EXPECT_TRUE(Write(*theirs, { unversioned }, error)) << qPrintable(error);

    // A row another seat deleted is stored again rather than lost.
    vtr_db::ProductRow m12 = Thread(*mine, QStringLiteral("M12x1.5"));
    ASSERT_TRUE(Write(*theirs, {}, error, { m12.id })) << qPrintable(error);
    SetNumber(m12, "TapDrill", 10.4);
    ASSERT_TRUE(Write(*mine, { m12 }, error)) << qPrintable(error);
    EXPECT_EQ(Thread(*theirs, QStringLiteral("M12x1.5")).values, m12.values);
}

TEST_P(ChangeHistory, AnotherSeatsMessagesShowWithoutARestart)
{
    const Collector mine = Create();
    const Collector theirs = Create();
    QString message;
    EXPECT_FALSE(mine->GetCustomMessage(20002, QStringLiteral("Slot width"), QStringLiteral("Mill"), message));
    ASSERT_EQ(theirs->AddCustomMessage(20002, QStringLiteral("Slot width"), QStringLiteral("Mill"), QStringLiteral("theirs")), 0);
    // The next fill of the list (here: a lookup a moment later) sees it.
    bool seen = false;
    for (int i = 0; i < 30 && !seen; ++i) {
        seen = mine->GetCustomMessage(20002, QStringLiteral("Slot width"), QStringLiteral("Mill"), message);
        if (!seen)
            QThread::msleep(100);
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(message, QStringLiteral("theirs"));
}

TEST_P(ChangeHistory, StatusAndExportShowWhatIsHeld)
{
    const Collector db = Create();
    ASSERT_EQ(db->AddCustomMessages({ { 1, QStringLiteral("A"), QStringLiteral("General"), QStringLiteral("a") },
                  { 2, QStringLiteral("B"), QStringLiteral("General"), QStringLiteral("b\t\"';") } }),
        0);
    ASSERT_EQ(db->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("R"), QStringLiteral("Drill"), QStringLiteral("<Rule/>")), 0);

    vtr_db::DatabaseStatus status;
    ASSERT_TRUE(db->ReadStatus(status)) << qPrintable(status.problem);
    EXPECT_TRUE(status.connected);
    EXPECT_FALSE(status.readOnly);
    EXPECT_EQ(status.schemaVersion, 6);
    QHash<QString, int64_t> counts;
    for (const vtr_db::TableCount& c : status.counts)
        counts.insert(c.table, c.rows);
    vtr_db::DatabaseContents contents;
    QString error;
    ASSERT_TRUE(db->ExportContents(contents, error)) << qPrintable(error);
    EXPECT_EQ(counts.value(QStringLiteral("CustomMessages")), 2);
    EXPECT_EQ(counts.value(QStringLiteral("UserRules")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("ChangeLog")), 3);
    EXPECT_EQ(counts.value(QStringLiteral("Threads")), contents.products[size_t(ProductTable::Threads)].size());
    EXPECT_EQ(counts.value(QStringLiteral("Materials")), contents.products[size_t(ProductTable::Materials)].size());
    EXPECT_EQ(counts.value(QStringLiteral("Fasteners")), contents.products[size_t(ProductTable::Fasteners)].size());
    EXPECT_GT(contents.products[size_t(ProductTable::Threads)].size(), 0);

    ASSERT_EQ(contents.messages.size(), 2);
    EXPECT_EQ(contents.messages[1].message, QStringLiteral("b\t\"';"));
    ASSERT_EQ(contents.rules.size(), 1);
    EXPECT_EQ(contents.rules[0].key, QStringLiteral("Mill"));
    EXPECT_EQ(contents.rules[0].element, QStringLiteral("<Rule/>"));
    EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(contents.rules[0].helpId));
    ASSERT_EQ(contents.changes.size(), 3);
    EXPECT_LT(contents.changes[0].id, contents.changes[2].id); // oldest first
}

INSTANTIATE_TEST_SUITE_P(Modules, ChangeHistory,
    ::testing::ValuesIn([] {
        std::vector<const HistoryModule*> all;
        for (const HistoryModule& m : kHistoryModules)
            all.push_back(&m);
        return all;
    }()),
    [](const ::testing::TestParamInfo<const HistoryModule*>& info) { return std::string(info.param->name); });

} // namespace
