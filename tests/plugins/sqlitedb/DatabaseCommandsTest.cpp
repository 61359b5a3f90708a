// The commands of vtrpro-rules that read or write the product database,
// against each state its file can be found in: exit code, what is said, and
// the file whole afterwards. Every run has a watchdog: a command that hangs
// is killed and fails its row.

#include "TestSupport.h"

#include "custommsg/SpreadsheetHelper.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

QString QueryOne(const QString& file, const char* sql)
{
    QString value;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return value;
}

bool ExecSql(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
            == SQLITE_OK
        && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// A run of the tool that is killed when it has not ended in time: a hang
// costs the row, not the whole test run. The bound is far above what a
// command takes (a change waits at most 10 s for another copy's lock).
ToolRun RunWatched(const QStringList& args)
{
    QProcess process;
    process.start(BinDir() + QStringLiteral("/vtrpro-rules"), args);
    ToolRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "vtrpro-rules " << qPrintable(args.join(QLatin1Char(' '))) << " hung";
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Another process holding the database's write lock until destroyed.
class LockHolder
{
public:
    explicit LockHolder(const QString& file)
    {
        // A child of the test binary, so that no sqlite3 shell is needed.
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_stop) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(m_stop[1]);
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            const char ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK ? '1' : '0';
            [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
            char c;
            n = ::read(m_stop[0], &c, 1);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(m_stop[0]);
        char ok = '0';
        m_holding = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~LockHolder()
    {
        if (m_pid > 0) {
            ::close(m_stop[1]);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool IsHolding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_stop[2] = { -1, -1 };
    bool m_holding = false;
};

// The commands of a row, in this order.
enum Command { Rules, RulesJson, UserRuleList, UserRuleAdd, MessagesExport, MessagesImport, CommandCount };
const char* const kCommandNames[CommandCount]
    = { "rules", "rules --format json", "userrule list", "userrule add", "messages export", "messages import" };

struct State
{
    const char* name;
    // Puts the state in place; what it returns is kept until the row ends.
    std::function<std::shared_ptr<void>(const QString& file, ScopedTestEnv& env)> make;
    int codes[CommandCount];
    // A word every refusal (exit 2) says.
    const char* reason;
    bool isDatabase; // passes integrity_check afterwards
};

std::shared_ptr<void> Nothing()
{
    return {};
}

class DatabaseCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* library : { "VtrMillRulesu.so", "PLQRuleConfiguratoru.so", "VtrSqliteDatabaseu.so" })
            if (!QFileInfo::exists(BinDir() + QLatin1Char('/') + QLatin1String(library)))
                GTEST_SKIP() << library << " is not built";
        QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n module1=%1/VtrMillRulesu.so\n"
                                 " [RULE_DATABASE_MODULES]\n module1=%1/VtrSqliteDatabaseu.so\n")
                      .arg(BinDir())
                      .toUtf8());
        ini.close();
        QDir().mkpath(env.Path(QStringLiteral("tmp")));
        env.Set("TMPDIR", env.Path(QStringLiteral("tmp")));
    }

    QString File() const { return env.Path(QStringLiteral("database/VTRProDatabase.sqlite")); }

    // A database made by the tool itself, holding one custom rule and the
    // message sheet to import.
    void Seed()
    {
        QDir().mkpath(env.Path(QStringLiteral("database")));
        const ToolRun added = RunWatched(Add(QStringLiteral("Seeded Rule")));
        ASSERT_EQ(added.code, 0) << qPrintable(added.err);
        ASSERT_EQ(RunWatched({ QStringLiteral("messages"), QStringLiteral("export"), Sheet() }).code, 0);
        // The sheet to import gives the first rule a message, so that an
        // import has something to store.
        QList<QStringList> columns;
        ASSERT_TRUE(SpreadsheetHelper::Read(Sheet(), columns).ok);
        ASSERT_EQ(columns.size(), 4);
        ASSERT_GT(columns[0].size(), 1);
        QList<QStringList> rows;
        for (qsizetype r = 0; r < columns[0].size(); ++r)
            rows.append({ columns[0][r], columns[1].value(r), columns[2].value(r),
                r == 1 ? QStringLiteral("imported") : columns[3].value(r) });
        ASSERT_TRUE(SpreadsheetHelper::Export(Sheet(), rows).ok);
        ASSERT_TRUE(ExecSql(File(), "PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QString Sheet() const { return env.Path(QStringLiteral("messages.xlsx")); }
    static QStringList Add(const QString& name)
    {
        return { "userrule", "add", "--flavour", "custom", "--name", name, "--category", "Milling", "--criticality",
            "Low", "--param", "Minimum Width;>=;length;0.25" };
    }
    QStringList Args(Command c) const
    {
        switch (c) {
        case Rules:
            return { QStringLiteral("rules") };
        case RulesJson:
            return { QStringLiteral("rules"), QStringLiteral("--format"), QStringLiteral("json") };
        case UserRuleList:
            return { QStringLiteral("userrule"), QStringLiteral("list") };
        case UserRuleAdd:
            return Add(QStringLiteral("Added Rule"));
        case MessagesExport:
            return { QStringLiteral("messages"), QStringLiteral("export"), env.Path(QStringLiteral("out.xlsx")) };
        case MessagesImport:
        case CommandCount:
            break;
        }
        return { QStringLiteral("messages"), QStringLiteral("import"), Sheet() };
    }

    ScopedTestEnv env;
};

const State kStates[] = {
    { "a healthy database", [](const QString&, ScopedTestEnv&) { return Nothing(); }, { 0, 0, 0, 0, 0, 0 }, "",
        true },
    { "a FIFO",
        [](const QString& file, ScopedTestEnv&) {
            QFile::remove(file);
            EXPECT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0666), 0);
            return Nothing();
        },
        { 2, 2, 2, 2, 2, 2 }, "FIFO", false },
    { "a folder",
        [](const QString& file, ScopedTestEnv&) {
            QFile::remove(file);
            EXPECT_TRUE(QDir().mkpath(file));
            return Nothing();
        },
        { 2, 2, 2, 2, 2, 2 }, "folder", false },
    { "a dangling link",
        [](const QString& file, ScopedTestEnv& env) {
            QFile::remove(file);
            EXPECT_TRUE(QFile::link(env.Path(QStringLiteral("gone.sqlite")), file));
            return Nothing();
        },
        { 2, 2, 2, 2, 2, 2 }, "does not exist", false },
    { "random bytes",
        [](const QString& file, ScopedTestEnv&) {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QByteArray bytes(8192, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
            f.write(bytes);
            return Nothing();
        },
        { 2, 2, 2, 2, 2, 2 }, "damaged", false },
    { "its message table damaged",
        [](const QString& file, ScopedTestEnv&) {
            const int page = QueryOne(file, "PRAGMA page_size").toInt();
            const int root = QueryOne(file, "SELECT rootpage FROM sqlite_master WHERE name = 'CustomMessages'").toInt();
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::ReadWrite));
            f.seek(static_cast<qint64>(root - 1) * page);
            f.write(QByteArray(page, '\xA5'));
            return Nothing();
        },
        // The rules themselves are whole: listing and adding them works.
        { 0, 2, 0, 0, 2, 2 }, "damaged", false },
    { "zero length: set up as a new database",
        [](const QString& file, ScopedTestEnv&) {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            return Nothing();
        },
        { 0, 0, 0, 0, 0, 0 }, "", true },
    { "made by a newer program",
        [](const QString& file, ScopedTestEnv&) {
            EXPECT_TRUE(ExecSql(file, "UPDATE SchemaVersion SET Version = 99"));
            return Nothing();
        },
        { 0, 0, 0, 2, 0, 2 }, "newer", true },
    { "read-only",
        [](const QString&, ScopedTestEnv& env) {
            env.Set("VTRPRO_DATABASE_READONLY", QStringLiteral("1"));
            return Nothing();
        },
        { 0, 0, 0, 2, 0, 2 }, "read-only", true },
    { "another program holding the write lock",
        [](const QString& file, ScopedTestEnv&) -> std::shared_ptr<void> {
            auto holder = std::make_shared<LockHolder>(file);
            EXPECT_TRUE(holder->IsHolding());
            return holder;
        },
        { 0, 0, 0, 2, 0, 2 }, "locked", true },
};

TEST_F(DatabaseCommandsTest, EachCommandOnEachStateExitsWithItsCodeAndSaysWhy)
{
    for (const State& s : kStates) {
        SCOPED_TRACE(s.name);
        QDir(env.Path(QStringLiteral("database"))).removeRecursively();
        QFile::remove(env.Path(QStringLiteral("gone.sqlite")));
        env.Set("VTRPRO_DATABASE_READONLY", QString());
        Seed();
        if (HasFatalFailure())
            return;
        {
            const std::shared_ptr<void> held = s.make(File(), env);
            for (int c = 0; c < CommandCount; ++c) {
                SCOPED_TRACE(kCommandNames[c]);
                const ToolRun run = RunWatched(Args(static_cast<Command>(c)));
                EXPECT_EQ(run.code, s.codes[c]) << qPrintable(run.err);
                if (run.code == 2) {
                    EXPECT_TRUE(run.err.contains(QLatin1String(s.reason), Qt::CaseInsensitive)) << qPrintable(run.err);
                }
            }
        }
        env.Set("VTRPRO_DATABASE_READONLY", QString());
        if (s.isDatabase) {
            EXPECT_EQ(QueryOne(File(), "PRAGMA integrity_check"), QStringLiteral("ok"));
        }
        EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("gone.sqlite")))) << "a link was followed";
    }
}

} // namespace
