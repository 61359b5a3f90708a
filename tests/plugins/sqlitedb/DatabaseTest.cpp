#include "DatabaseModule.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

extern char** environ;

namespace {
// The schema this build creates and migrates to.
constexpr int32_t kCurrentSchema = 6;

QString DatabaseFile(const ScopedTestEnv& env)
{
    return env.Path(QStringLiteral("database/VTRProDatabase.sqlite"));
}

// Runs one SQL query on a file directly and returns the first column of every row.
QStringList Query(const QString& file, const char* sql)
{
    QStringList rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
}

bool ExecSql(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    bool ok
        = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            == SQLITE_OK
        && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

class DatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError()); }

    ScopedTestEnv env;
    DatabaseModule module;
};

TEST_F(DatabaseTest, FirstUseCreatesTheVersionedSchemaInWalMode)
{
    auto db = module.Create();
    EXPECT_FALSE(QFileInfo::exists(DatabaseFile(env)));
    EXPECT_EQ(db->Initialize(), 0);
    EXPECT_EQ(db->GetMaterialDataFlag(), 1);
    EXPECT_EQ(db->GetSchemaVersion(), kCurrentSchema);
    EXPECT_TRUE(db->IsConnected());
    EXPECT_TRUE(db->IsAvailable());
    db->Release();

    const QString file = DatabaseFile(env);
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(Query(file, "SELECT Version FROM SchemaVersion"), QStringList { QString::number(kCurrentSchema) });
    EXPECT_EQ(Query(file, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
        (QStringList { "ChangeLog", "CustomMessages", "Fasteners", "MaterialProcesses", "Materials",
            "SchemaVersion", "StoredRuleHelpIds", "Threads", "UserRuleVersion", "UserRules", "sqlite_sequence" }));
    EXPECT_EQ(Query(file, "PRAGMA journal_mode"), QStringList { QStringLiteral("wal") });

    // Opening again neither migrates twice nor adds version rows.
    auto again = module.Create();
    EXPECT_EQ(again->GetSchemaVersion(), kCurrentSchema);
    again->Release();
    EXPECT_EQ(Query(file, "SELECT count(*) FROM SchemaVersion"), QStringList { QStringLiteral("1") });
}

TEST_F(DatabaseTest, OlderFileIsMigratedAndKeepsItsMessages)
{
    QDir().mkpath(env.Path(QStringLiteral("database")));
    const QString file = DatabaseFile(env);
    ASSERT_TRUE(ExecSql(file,
        "CREATE TABLE SchemaVersion (Version INTEGER NOT NULL);"
        "INSERT INTO SchemaVersion VALUES (1);"
        "CREATE TABLE CustomMessages (HelpId INTEGER NOT NULL, RuleName TEXT NOT NULL,"
        " Category TEXT NOT NULL, Message TEXT NOT NULL,"
        " PRIMARY KEY (HelpId, RuleName, Category));"
        "CREATE TABLE Materials (MaterialId INTEGER PRIMARY KEY, Name TEXT NOT NULL UNIQUE,"
        " Process TEXT NOT NULL DEFAULT '', Properties TEXT NOT NULL DEFAULT '');"
        "INSERT INTO CustomMessages VALUES (7, 'Old Rule', 'Milling', 'kept');"));
    auto db = module.Create();
    EXPECT_EQ(db->GetSchemaVersion(), kCurrentSchema);
    QString message;
    EXPECT_TRUE(db->GetCustomMessage(7, QStringLiteral("Old Rule"), QStringLiteral("Milling"), message));
    EXPECT_EQ(message, QStringLiteral("kept"));
    EXPECT_EQ(db->AddUserRule(QStringLiteral("Mill"), QStringLiteral("R"), QStringLiteral("Milling"),
                  QStringLiteral("<Rule Name=\"R\"/>")),
        0);
}

TEST_F(DatabaseTest, MessagesAreKeyedByHelpIdNameAndCategoryExactly)
{
    auto db = module.Create();
    ASSERT_EQ(db->AddCustomMessage(100, QStringLiteral("Rule A"), QStringLiteral("Milling"), QStringLiteral("hit")), 0);
    ASSERT_EQ(
        db->AddCustomMessage(100, QStringLiteral("Rule A"), QStringLiteral("Turning"), QStringLiteral("other")), 0);

    struct Case
    {
        int32_t helpId;
        const char* name;
        const char* category;
        bool found;
        const char* message;
    } cases[] = {
        { 100, "Rule A", "Milling", true, "hit" },
        { 100, "Rule A", "Turning", true, "other" },
        { 101, "Rule A", "Milling", false, "" },
        { 100, "rule a", "Milling", false, "" },
        { 100, "Rule A", "milling", false, "" },
        { 100, "Rule A ", "Milling", false, "" },
        { -100, "Rule A", "Milling", false, "" },
        { 100, "", "Milling", false, "" },
    };
    for (const Case& c : cases) {
        QString message = QStringLiteral("stale");
        EXPECT_EQ(
            db->GetCustomMessage(c.helpId, QString::fromUtf8(c.name), QString::fromUtf8(c.category), message), c.found)
            << c.helpId << " " << c.name << " " << c.category;
        EXPECT_EQ(message, QString::fromUtf8(c.message)) << c.name << " " << c.category;
    }
}

TEST_F(DatabaseTest, AddReplacesAndEmptyMessageRemoves)
{
    const QString name = QStringLiteral("Rule");
    const QString category = QStringLiteral("Milling");
    // Text that would break a query built by pasting strings, and text outside Latin-1.
    const QString hostile = QStringLiteral("'); DROP TABLE CustomMessages; --\n\t\"\\ ") + QChar(0)
        + QString::fromUtf8("ünïcödé ✓ \xF0\x9F\x94\xA9");
    auto db = module.Create();
    QString message;
    EXPECT_FALSE(db->GetCustomMessage(1, name, category, message)); // loads an empty cache first
    ASSERT_EQ(db->AddCustomMessage(1, name, category, QStringLiteral("first")), 0);
    EXPECT_TRUE(db->GetCustomMessage(1, name, category, message));
    EXPECT_EQ(message, QStringLiteral("first"));
    ASSERT_EQ(db->AddCustomMessage(1, name, category, hostile), 0);
    EXPECT_TRUE(db->GetCustomMessage(1, name, category, message));
    EXPECT_EQ(message, hostile);

    // What is stored, not only what is cached.
    db->Release();
    EXPECT_TRUE(db->GetCustomMessage(1, name, category, message));
    EXPECT_EQ(message, hostile);
    EXPECT_EQ(Query(DatabaseFile(env), "SELECT count(*) FROM CustomMessages"), QStringList { QStringLiteral("1") });

    ASSERT_EQ(db->AddCustomMessage(1, name, category, QString()), 0);
    EXPECT_FALSE(db->GetCustomMessage(1, name, category, message));
    db->Release();
    EXPECT_FALSE(db->GetCustomMessage(1, name, category, message));
}

TEST_F(DatabaseTest, ReleaseShowsWhatAnotherConnectionWrote)
{
    auto reader = module.Create();
    auto writer = module.Create();
    const QString name = QStringLiteral("Shared Rule");
    const QString category = QStringLiteral("Sheet Metal");
    QString message;
    EXPECT_FALSE(reader->GetCustomMessage(5, name, category, message)); // cache now loaded
    ASSERT_EQ(writer->AddCustomMessage(5, name, category, QStringLiteral("from another copy")), 0);
    EXPECT_FALSE(reader->GetCustomMessage(5, name, category, message)); // cached until released
    reader->Release();
    EXPECT_TRUE(reader->GetCustomMessage(5, name, category, message));
    EXPECT_EQ(message, QStringLiteral("from another copy"));
}

// Seeds a database with one message, then reopens it under the given condition.
class ReadOnlyDatabaseTest : public DatabaseTest
{
protected:
    void Seed()
    {
        auto db = module.Create();
        ASSERT_EQ(
            db->AddCustomMessage(3, QStringLiteral("Kept"), QStringLiteral("Assembly"), QStringLiteral("old")), 0);
    }
    void ExpectReadableNotWritable()
    {
        auto db = module.Create();
        EXPECT_EQ(db->Initialize(), 0);
        EXPECT_TRUE(db->IsConnected());
        QString message;
        EXPECT_TRUE(db->GetCustomMessage(3, QStringLiteral("Kept"), QStringLiteral("Assembly"), message));
        EXPECT_EQ(message, QStringLiteral("old"));
        EXPECT_EQ(
            db->AddCustomMessage(3, QStringLiteral("Kept"), QStringLiteral("Assembly"), QStringLiteral("new")), -1);
        EXPECT_EQ(
            db->AddCustomMessage(4, QStringLiteral("Other"), QStringLiteral("Assembly"), QStringLiteral("x")), -1);
        EXPECT_EQ(db->AddUserRule(QStringLiteral("Mill"), QStringLiteral("R"), QStringLiteral("Milling"),
                      QStringLiteral("<Rule/>")),
            -1);
        // A failed add leaves the cached message as it was.
        EXPECT_TRUE(db->GetCustomMessage(3, QStringLiteral("Kept"), QStringLiteral("Assembly"), message));
        EXPECT_EQ(message, QStringLiteral("old"));
        // Product data reads, but an editor's changes are refused.
        QList<vtr_db::ProductRow> threads;
        QString error;
        ASSERT_TRUE(db->ReadProductTable(vtr_db::ProductTable::Threads, threads, error)) << qPrintable(error);
        ASSERT_FALSE(threads.isEmpty());
        vtr_db::ProductChanges changes;
        changes.table = vtr_db::ProductTable::Threads;
        changes.removed << threads.first().id;
        EXPECT_FALSE(db->WriteProductChanges(changes, error));
        EXPECT_TRUE(error.contains(QStringLiteral("read-only"))) << qPrintable(error);
    }
};

TEST_F(ReadOnlyDatabaseTest, ForcedReadOnlyGetsButCannotAdd)
{
    Seed();
    env.Set("VTRPRO_DATABASE_READONLY", QStringLiteral("1"));
    ExpectReadableNotWritable();
}

TEST_F(ReadOnlyDatabaseTest, FileWithoutWritePermissionGetsButCannotAdd)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root; the forced read-only case covers this path";
    Seed();
    const QByteArray file = QFile::encodeName(DatabaseFile(env));
    ASSERT_EQ(::chmod(file.constData(), 0444), 0);
    ExpectReadableNotWritable();
    ::chmod(file.constData(), 0644);
}

TEST_F(DatabaseTest, FileThatIsNoDatabaseFailsCleanlyAndIsLeftAlone)
{
    QDir().mkpath(env.Path(QStringLiteral("database")));
    const QString file = DatabaseFile(env);
    const QByteArray garbage("this is a user's file, not a database\x00\x01\x02", 40);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    auto db = module.Create();
    EXPECT_EQ(db->Initialize(), -1);
    EXPECT_FALSE(db->IsConnected());
    EXPECT_FALSE(db->IsAvailable());
    EXPECT_EQ(db->GetMaterialDataFlag(), 0);
    EXPECT_EQ(db->GetSchemaVersion(), 0);
    QString message = QStringLiteral("stale");
    EXPECT_FALSE(db->GetCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), message));
    EXPECT_TRUE(message.isEmpty());
    EXPECT_EQ(db->AddCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("m")), -1);
    QStringList rules;
    EXPECT_FALSE(db->GetUserRules(QStringLiteral("Mill"), rules));
    db->OnRulesListed();
    db->Release();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), garbage);
}

TEST_F(DatabaseTest, FailedFileIsTriedAgainOnlyAfterReleaseOrAMove)
{
    QDir().mkpath(env.Path(QStringLiteral("database")));
    const QString file = DatabaseFile(env);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    auto db = module.Create();
    QString message;
    for (int i = 0; i < 1000; ++i) // one rule list of a thousand rows
        EXPECT_FALSE(db->GetCustomMessage(i, QStringLiteral("R"), QStringLiteral("C"), message));
    EXPECT_EQ(ReadLog().count(QStringLiteral("is not a usable database")), 1);

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_EQ(db->Initialize(), -1) << "remembered until released";
    db->Release();
    EXPECT_EQ(db->Initialize(), 0);

    // A moved database folder is tried at once, without a release.
    auto other = module.Create();
    env.Set("VTR_PRO_DATABASE_DIR", env.Path(QStringLiteral("garbage")));
    QDir().mkpath(env.Path(QStringLiteral("garbage")));
    {
        QFile f(env.Path(QStringLiteral("garbage/VTRProDatabase.sqlite")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'y'));
    }
    EXPECT_EQ(other->Initialize(), -1);
    env.Set("VTR_PRO_DATABASE_DIR", env.Path(QStringLiteral("moved")));
    EXPECT_EQ(other->Initialize(), 0);
    EXPECT_TRUE(QFileInfo::exists(env.Path(QStringLiteral("moved/VTRProDatabase.sqlite"))));
}

TEST_F(DatabaseTest, FolderThatCannotExistMeansNoDatabase)
{
    // A regular file where the folder should be: nothing can be created under it.
    QFile blocker(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    env.Set("VTR_PRO_DATABASE_DIR", env.Path(QStringLiteral("blocker/database")));
    auto db = module.Create();
    EXPECT_EQ(db->Initialize(), -1);
    EXPECT_FALSE(db->IsConnected());
    EXPECT_EQ(db->AddCustomMessage(1, QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("m")), -1);
}

TEST_F(DatabaseTest, DatabaseFolderDefaultsToTheDataSettingsFolder)
{
    env.Set("VTR_PRO_DATABASE_DIR", QString());
    auto db = module.Create();
    ASSERT_EQ(db->Initialize(), 0);
    EXPECT_TRUE(QFileInfo::exists(env.DataSettings() + QStringLiteral("VTRProDatabase.sqlite")));
}

TEST_F(DatabaseTest, UserRulesAreKeptPerKeyInOrderAndReplacedByNameAndCategory)
{
    auto db = module.Create();
    const QString mill = QStringLiteral("Mill");
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a/>")), 0);
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("B"), QStringLiteral("Milling"), QStringLiteral("<b/>")), 0);
    ASSERT_EQ(
        db->AddUserRule(QStringLiteral("Turn"), QStringLiteral("A"), QStringLiteral("Turning"), QStringLiteral("<t/>")),
        0);
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a2/>")), 0);
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Drilling"), QStringLiteral("<d/>")), 0);

    QStringList rules;
    EXPECT_TRUE(db->GetUserRules(mill, rules));
    EXPECT_EQ(rules, (QStringList { "<a2/>", "<b/>", "<d/>" }));
    EXPECT_TRUE(db->GetUserRules(QStringLiteral("Turn"), rules));
    EXPECT_EQ(rules, QStringList { QStringLiteral("<t/>") });
    EXPECT_TRUE(db->GetUserRules(QStringLiteral("mill"), rules));
    EXPECT_TRUE(rules.isEmpty());

    EXPECT_EQ(db->AddUserRule(QString(), QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a/>")), -1);
    EXPECT_EQ(db->AddUserRule(mill, QString(), QStringLiteral("Milling"), QStringLiteral("<a/>")), -1);
    EXPECT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QString()), -1);
}

TEST_F(DatabaseTest, EveryWriteOfAUserRuleTakesAVersionAboveAnyStoredBefore)
{
    auto db = module.Create();
    const QString mill = QStringLiteral("Mill");
    QStringList rules;
    QList<int32_t> versions;
    const auto read = [&](const QString& key) {
        QList<vtr_db::StoredUserRule> stored;
        const bool ok = db->GetStoredUserRules(key, stored);
        rules.clear();
        versions.clear();
        for (const vtr_db::StoredUserRule& r : stored) {
            rules << r.element;
            versions << r.version;
        }
        return ok;
    };
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a/>")), 0);
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("B"), QStringLiteral("Milling"), QStringLiteral("<b/>")), 0);
    ASSERT_TRUE(read(mill));
    EXPECT_EQ(versions, (QList<int32_t> { 1, 2 }));

    // Replacing A raises its version; moving it under another key and back
    // never gives it a version it had.
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a2/>")), 0);
    ASSERT_TRUE(read(mill));
    EXPECT_EQ(rules, (QStringList { "<a2/>", "<b/>" }));
    EXPECT_EQ(versions, (QList<int32_t> { 3, 2 }));
    ASSERT_EQ(db->RemoveUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling")), 1);
    ASSERT_EQ(db->AddUserRule(
                  QStringLiteral("Turn"), QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a3/>")),
        0);
    ASSERT_TRUE(read(QStringLiteral("Turn")));
    EXPECT_EQ(versions, QList<int32_t> { 4 }); // not 3 again, though 3 was removed
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a5/>")), 0);
    ASSERT_TRUE(read(mill));
    EXPECT_EQ(versions, (QList<int32_t> { 2, 5 }));
}

TEST_F(DatabaseTest, AUserRuleIsRemovedOnlyByItsExactKeyNameAndCategory)
{
    auto db = module.Create();
    const QString mill = QStringLiteral("Mill");
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling"), QStringLiteral("<a/>")), 0);
    ASSERT_EQ(db->AddUserRule(mill, QStringLiteral("A"), QStringLiteral("Drilling"), QStringLiteral("<d/>")), 0);
    ASSERT_EQ(
        db->AddUserRule(QStringLiteral("Turn"), QStringLiteral("B"), QStringLiteral("Milling"), QStringLiteral("<t/>")),
        0);

    EXPECT_EQ(db->RemoveUserRule(mill, QStringLiteral("a"), QStringLiteral("Milling")), 0);
    EXPECT_EQ(db->RemoveUserRule(QStringLiteral("Turn"), QStringLiteral("A"), QStringLiteral("Milling")), 0);
    EXPECT_EQ(db->RemoveUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling")), 1);
    EXPECT_EQ(db->RemoveUserRule(mill, QStringLiteral("A"), QStringLiteral("Milling")), 0);
    EXPECT_EQ(db->RemoveUserRule(QString(), QStringLiteral("A"), QStringLiteral("Milling")), -1);

    QStringList rules;
    EXPECT_TRUE(db->GetUserRules(mill, rules));
    EXPECT_EQ(rules, QStringList { QStringLiteral("<d/>") });
    EXPECT_TRUE(db->GetUserRules(QStringLiteral("Turn"), rules));
    EXPECT_EQ(rules, QStringList { QStringLiteral("<t/>") });
}

// A version-3 file with stored rules (two of one name but for case, as two
// copies adding at once could leave them) and their messages under help id 0.
const char kVersionThreeRules[] = "CREATE TABLE SchemaVersion (Version INTEGER NOT NULL);"
                                  "INSERT INTO SchemaVersion VALUES (3);"
                                  "CREATE TABLE CustomMessages (HelpId INTEGER NOT NULL, RuleName TEXT NOT NULL,"
                                  " Category TEXT NOT NULL, Message TEXT NOT NULL, PRIMARY KEY (HelpId, RuleName, Category));"
                                  "CREATE TABLE Materials (MaterialId INTEGER PRIMARY KEY, Name TEXT NOT NULL UNIQUE,"
                                  " Process TEXT NOT NULL DEFAULT '', Properties TEXT NOT NULL DEFAULT '');"
                                  "CREATE TABLE UserRules (RuleKey TEXT NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL,"
                                  " Element TEXT NOT NULL, UNIQUE (RuleKey, RuleName, Category));"
                                  "CREATE TABLE Fasteners (FastenerId INTEGER PRIMARY KEY, Type TEXT NOT NULL, Standard TEXT,"
                                  " Size TEXT NOT NULL, Pitch REAL, MinLength REAL, MaxLength REAL, Head TEXT, Drive TEXT, Material TEXT);"
                                  "CREATE TABLE Threads (ThreadId INTEGER PRIMARY KEY, Standard TEXT NOT NULL,"
                                  " Designation TEXT NOT NULL COLLATE NOCASE UNIQUE, MajorDiameter REAL NOT NULL,"
                                  " Pitch REAL NOT NULL, TapDrill REAL NOT NULL);"
                                  "CREATE TABLE MaterialProcesses (MaterialId INTEGER NOT NULL, Process TEXT NOT NULL,"
                                  " PRIMARY KEY (MaterialId, Process));"
                                  "INSERT INTO CustomMessages VALUES (0, 'Slot', 'Milling', 'slot message');"
                                  "INSERT INTO CustomMessages VALUES (0, 'Bend', 'Sheet Metal', 'bend message');"
                                  "INSERT INTO CustomMessages VALUES (20101, 'Module Rule', 'Milling', 'module message');";

TEST_F(DatabaseTest, StoredRulesAreNumberedByAMigrationThatAgreesAcrossMachines)
{
    // The same rules stored in two orders on two machines.
    const char* const orders[] = {
        "INSERT INTO UserRules VALUES ('SheetMetal', 'Bend', 'Sheet Metal', '<bend/>');"
        "INSERT INTO UserRules VALUES ('Mill', 'Slot', 'Milling', '<slot/>');"
        "INSERT INTO UserRules VALUES ('Mill', 'SLOT', 'Milling', '<SLOT/>');",
        "INSERT INTO UserRules VALUES ('Mill', 'SLOT', 'Milling', '<SLOT/>');"
        "INSERT INTO UserRules VALUES ('Mill', 'Slot', 'Milling', '<slot/>');"
        "INSERT INTO UserRules VALUES ('SheetMetal', 'Bend', 'Sheet Metal', '<bend/>');",
    };
    QList<QHash<QString, int32_t>> machines;
    for (const char* order : orders) {
        QDir(env.Path(QStringLiteral("database"))).removeRecursively();
        QDir().mkpath(env.Path(QStringLiteral("database")));
        const QString file = DatabaseFile(env);
        ASSERT_TRUE(ExecSql(file, (QByteArray(kVersionThreeRules) + order).constData()));
        auto db = module.Create();
        // The duplicates do not stop the file from opening, and both are kept.
        ASSERT_EQ(db->GetSchemaVersion(), kCurrentSchema);
        QHash<QString, int32_t> ids;
        for (const QString& key : { QStringLiteral("Mill"), QStringLiteral("SheetMetal") }) {
            QList<vtr_db::StoredUserRule> rules;
            ASSERT_TRUE(db->GetStoredUserRules(key, rules));
            for (const vtr_db::StoredUserRule& r : rules) {
                EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(r.helpId)) << qPrintable(r.element);
                ids.insert(r.element, r.helpId);
            }
        }
        ASSERT_EQ(ids.size(), 3);
        EXPECT_EQ(QSet<int32_t>(ids.cbegin(), ids.cend()).size(), 3) << "each rule its own help id";
        // The messages stored under 0 moved to their rules' ids; a module's stayed.
        QString message;
        EXPECT_TRUE(db->GetCustomMessage(ids.value("<slot/>"), QStringLiteral("Slot"), QStringLiteral("Milling"), message));
        EXPECT_EQ(message, QStringLiteral("slot message"));
        EXPECT_TRUE(db->GetCustomMessage(ids.value("<bend/>"), QStringLiteral("Bend"), QStringLiteral("Sheet Metal"), message));
        EXPECT_EQ(message, QStringLiteral("bend message"));
        EXPECT_FALSE(db->GetCustomMessage(0, QStringLiteral("Slot"), QStringLiteral("Milling"), message));
        EXPECT_TRUE(db->GetCustomMessage(20101, QStringLiteral("Module Rule"), QStringLiteral("Milling"), message));

        // The name both duplicates hold is taken; storing it again replaces one
        // and the next rule gets an id after every migrated one.
        EXPECT_EQ(db->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("slot"), QStringLiteral("milling"),
                      QStringLiteral("<x/>")),
            1);
        ASSERT_EQ(db->CreateUserRule(QStringLiteral("Mill"), QStringLiteral("Pocket"), QStringLiteral("Milling"),
                      QStringLiteral("<pocket/>")),
            0);
        QList<vtr_db::StoredUserRule> rules;
        ASSERT_TRUE(db->GetStoredUserRules(QStringLiteral("Mill"), rules));
        ASSERT_FALSE(rules.isEmpty());
        for (const int32_t id : ids)
            EXPECT_GT(rules.last().helpId, id);
        db->Release();
        EXPECT_EQ(Query(file, "PRAGMA integrity_check"), QStringList { QStringLiteral("ok") });
        machines.append(ids);
    }
    EXPECT_EQ(machines[0], machines[1]);
}

// ---------------------------------------------------------------- two processes

constexpr int kMessagesPerWriter = 150;

// Runs only as a child of ConcurrentWritersLoseNothing: adds its messages
// through its own collector while the other child does the same.
TEST(DatabaseWriterChild, AddMessages)
{
    const QString prefix = qEnvironmentVariable("VTRPRO_TEST_DB_WRITER");
    if (prefix.isEmpty())
        GTEST_SKIP() << "runs only as a writer process of ConcurrentWritersLoseNothing";
    DatabaseModule module;
    ASSERT_TRUE(module.IsLoaded());
    auto db = module.Create();
    int failed = 0;
    for (int i = 0; i < kMessagesPerWriter; ++i) {
        if (db->AddCustomMessage(i, prefix + QString::number(i), QStringLiteral("General"),
                QStringLiteral("message %1 of %2").arg(i).arg(prefix))
            != 0)
            ++failed;
        // Reads between writes, as the rule list does while another copy imports.
        QString message;
        db->GetCustomMessage(i, prefix + QString::number(i), QStringLiteral("General"), message);
    }
    EXPECT_EQ(failed, 0);
}

pid_t SpawnWriter(const char* self)
{
    char filter[] = "--gtest_filter=DatabaseWriterChild.AddMessages";
    char* argv[] = { const_cast<char*>(self), filter, nullptr };
    pid_t pid = -1;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0)
        return -1;
    return pid;
}

int WaitExitCode(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(DatabaseTest, ConcurrentWritersLoseNothing)
{
    const QByteArray self = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    // Both start on a missing file, so creating the schema races too.
    env.Set("VTRPRO_TEST_DB_WRITER", QStringLiteral("first-"));
    const pid_t first = SpawnWriter(self.constData());
    env.Set("VTRPRO_TEST_DB_WRITER", QStringLiteral("second-"));
    const pid_t second = SpawnWriter(self.constData());
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExitCode(first), 0);
    EXPECT_EQ(WaitExitCode(second), 0);

    auto db = module.Create();
    for (const QString& prefix : { QStringLiteral("first-"), QStringLiteral("second-") })
        for (int i = 0; i < kMessagesPerWriter; ++i) {
            QString message;
            ASSERT_TRUE(db->GetCustomMessage(i, prefix + QString::number(i), QStringLiteral("General"), message))
                << qPrintable(prefix) << i;
            EXPECT_EQ(message, QStringLiteral("message %1 of %2").arg(i).arg(prefix));
        }
    db->Release();
    EXPECT_EQ(Query(DatabaseFile(env), "SELECT count(*) FROM CustomMessages"),
        QStringList { QString::number(2 * kMessagesPerWriter) });
    EXPECT_EQ(Query(DatabaseFile(env), "SELECT count(*) FROM SchemaVersion"), QStringList { QStringLiteral("1") });
}

// The value of one column of the first row a query gives, as text.
QString One(const QString& file, const char* sql)
{
    return Query(file, sql).value(0);
}

TEST_F(DatabaseTest, FirstUseSeedsPlausibleProductData)
{
    auto db = module.Create();
    ASSERT_EQ(db->Initialize(), 0);
    EXPECT_EQ(db->GetMaterialDataFlag(), 1);
    db->Release();
    const QString file = DatabaseFile(env);
    struct Fact
    {
        const char* sql;
        const char* expected;
    };
    const Fact facts[] = {
        { "SELECT TapDrill FROM Threads WHERE Designation = 'M6x1'", "5.0" },
        { "SELECT Pitch FROM Threads WHERE Designation = 'm8x1.25'", "1.25" },
        { "SELECT MajorDiameter FROM Threads WHERE Designation = '1/4-20 UNC'", "6.35" },
        { "SELECT Standard FROM Threads WHERE Designation = '1/4-20 UNC'", "Unified" },
        { "SELECT Density FROM Materials WHERE Name = 'Structural steel S235'", "7850.0" },
        { "SELECT count(*) FROM MaterialProcesses p JOIN Materials m USING (MaterialId)"
          " WHERE m.Name = 'ABS' AND p.Process = 'Injection Molding'",
            "1" },
        { "SELECT count(*) > 20 FROM Threads", "1" },
        { "SELECT count(*) > 20 FROM Materials", "1" },
        { "SELECT count(*) > 20 FROM Fasteners", "1" },
        { "SELECT count(DISTINCT Process) FROM MaterialProcesses", "12" },
    };
    for (const Fact& f : facts)
        EXPECT_EQ(One(file, f.sql), QString::fromUtf8(f.expected)) << f.sql;

    // Every seeded row passes the checks an editor applies to typed rows.
    auto reader = module.Create();
    for (auto table :
        { vtr_db::ProductTable::Fasteners, vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials }) {
        QList<vtr_db::ProductRow> rows;
        QString error;
        ASSERT_TRUE(reader->ReadProductTable(table, rows, error)) << qPrintable(error);
        for (const vtr_db::ProductRow& row : rows)
            EXPECT_EQ(vtr_db::CheckProductRow(table, row), QString()) << vtr_db::ProductSqlTable(table) << row.id;
    }
}

TEST_F(DatabaseTest, VersionTwoFileKeepsItsMaterialsThroughTheProductMigration)
{
    QDir().mkpath(env.Path(QStringLiteral("database")));
    const QString file = DatabaseFile(env);
    ASSERT_TRUE(ExecSql(file,
        "CREATE TABLE SchemaVersion (Version INTEGER NOT NULL);"
        "INSERT INTO SchemaVersion VALUES (2);"
        "CREATE TABLE CustomMessages (HelpId INTEGER NOT NULL, RuleName TEXT NOT NULL,"
        " Category TEXT NOT NULL, Message TEXT NOT NULL, PRIMARY KEY (HelpId, RuleName, Category));"
        "CREATE TABLE Materials (MaterialId INTEGER PRIMARY KEY, Name TEXT NOT NULL UNIQUE,"
        " Process TEXT NOT NULL DEFAULT '', Properties TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE UserRules (RuleKey TEXT NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL,"
        " Element TEXT NOT NULL, UNIQUE (RuleKey, RuleName, Category));"
        "INSERT INTO Materials (Name, Process, Properties) VALUES ('House alloy', 'Turn', 'old notes');"
        "INSERT INTO Materials (Name, Process) VALUES ('ABS', 'Composite');"));
    auto db = module.Create();
    EXPECT_EQ(db->GetSchemaVersion(), kCurrentSchema);
    EXPECT_EQ(db->GetMaterialDataFlag(), 1);

    QList<vtr_db::ProductRow> rows;
    QString error;
    ASSERT_TRUE(db->ReadProductTable(vtr_db::ProductTable::Materials, rows, error)) << qPrintable(error);
    const int name = vtr_db::ProductColumnIndex(vtr_db::ProductTable::Materials, "Name");
    const int processes = vtr_db::ProductColumnIndex(vtr_db::ProductTable::Materials, "Processes");
    QHash<QString, QStringList> byName;
    for (const vtr_db::ProductRow& row : rows)
        byName.insert(row.values[name].toString(), row.values[processes].toStringList());
    // The user's materials keep their process; a seeded name does not take over theirs.
    EXPECT_EQ(byName.value(QStringLiteral("House alloy")), QStringList { QStringLiteral("Turn") });
    EXPECT_EQ(byName.value(QStringLiteral("ABS")), QStringList { QStringLiteral("Composite") });
    EXPECT_TRUE(byName.contains(QStringLiteral("Aluminium 6061-T6")));
    db->Release();
    EXPECT_EQ(One(file, "SELECT Properties FROM Materials WHERE Name = 'House alloy'"), QStringLiteral("old notes"));
}

TEST_F(DatabaseTest, MaterialFlagFollowsWhetherMaterialsExist)
{
    auto db = module.Create();
    ASSERT_EQ(db->GetMaterialDataFlag(), 1);
    db->Release();
    ASSERT_TRUE(ExecSql(DatabaseFile(env), "DELETE FROM Materials"));
    EXPECT_EQ(db->GetMaterialDataFlag(), 0);
}

TEST_F(DatabaseTest, ProductChangesAreWrittenAllOrNothing)
{
    using vtr_db::ProductTable;
    auto db = module.Create();
    QList<vtr_db::ProductRow> rows;
    QString error;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Materials, rows, error)) << qPrintable(error);
    const int name = vtr_db::ProductColumnIndex(ProductTable::Materials, "Name");
    const int density = vtr_db::ProductColumnIndex(ProductTable::Materials, "Density");
    const int processes = vtr_db::ProductColumnIndex(ProductTable::Materials, "Processes");
    const qsizetype before = rows.size();

    vtr_db::ProductRow changed = rows[0];
    changed.values[density] = 1234.0;
    changed.values[processes] = QStringList { QStringLiteral("Casting") };
    vtr_db::ProductRow added;
    added.values.resize(rows[0].values.size());
    added.values[name] = QStringLiteral("New polymer");
    added.values[processes] = QStringList { QStringLiteral("Injection Molding"), QStringLiteral("Composite") };
    // Takes a name another row has: the whole change must fail.
    vtr_db::ProductRow clash = added;
    clash.values[name] = rows[1].values[name];

    vtr_db::ProductChanges changes;
    changes.table = ProductTable::Materials;
    changes.rows = { changed, added, clash };
    changes.removed = { rows[2].id };
    EXPECT_FALSE(db->WriteProductChanges(changes, error));
    EXPECT_FALSE(error.isEmpty());
    QList<vtr_db::ProductRow> after;
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Materials, after, error));
    EXPECT_EQ(after.size(), before);
    EXPECT_EQ(after[0].values, rows[0].values);

    // A row that fails its checks is refused before anything is written.
    vtr_db::ProductRow invalid = changed;
    invalid.values[density] = -5.0;
    changes.rows = { invalid };
    EXPECT_FALSE(db->WriteProductChanges(changes, error));
    EXPECT_TRUE(error.contains(QStringLiteral("Density"))) << qPrintable(error);

    changes.rows = { changed, added };
    ASSERT_TRUE(db->WriteProductChanges(changes, error)) << qPrintable(error);
    db->Release();
    ASSERT_TRUE(db->ReadProductTable(ProductTable::Materials, after, error));
    EXPECT_EQ(after.size(), before); // one added, one removed
    EXPECT_EQ(after[0].values[density].toDouble(), 1234.0);
    EXPECT_EQ(after[0].values[processes].toStringList(), QStringList { QStringLiteral("Casting") });
    EXPECT_EQ(after.last().values[name].toString(), QStringLiteral("New polymer"));
    EXPECT_EQ(after.last().values[processes].toStringList(), added.values[processes].toStringList());
    EXPECT_EQ(One(DatabaseFile(env),
                  QStringLiteral("SELECT count(*) FROM MaterialProcesses WHERE MaterialId = %1")
                      .arg(rows[2].id)
                      .toUtf8()
                      .constData()),
        QStringLiteral("0"));
}

} // namespace
