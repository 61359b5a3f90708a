// What a database collector makes of every state its file can be found in:
// a table of states, each run in a child process (as another user where the
// state needs one) under a watchdog, so that a hang fails its row instead of
// stopping the run. It goes through the module's exports only, so any
// database module can run it.

#include "DatabaseModule.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <csignal>
#include <functional>
#include <grp.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

const char* const kName = "Seeded";
const char* const kCategory = "General";

QString DatabaseFile(const ScopedTestEnv& env)
{
    return env.Path(QStringLiteral("database/VTRProDatabase.sqlite"));
}

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

// Who a child runs as: root (the test's own user) or an unprivileged one.
struct Identity
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// What a collector did with the file, as the child saw it.
struct Outcome
{
    bool finished = false; // false: the child hung (watchdog) or crashed
    int initialize = -2;
    bool found = false; // the seeded message was read
    QString message;
    QString readProblem;
    bool added = false;
    QString writeProblem;
};

// Seconds a child may spend reading, and then writing. Reading is bounded
// well below the 10 s a collector may wait for another copy's write lock,
// so a read that waits for a writer fails here; the write bound only
// catches a hang.
constexpr unsigned kReadSeconds = 5;
constexpr unsigned kWriteSeconds = 40;

void WriteField(int fd, const QString& text)
{
    const QByteArray line = text.toUtf8().replace('\n', ' ') + '\n';
    [[maybe_unused]] const ssize_t n = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
}

// Runs the collector's calls in a child as who, and reads what it saw. The
// child ends itself with SIGKILL when leaveOpen (as a reader killed while it
// had the database open), so that its connection is never closed.
Outcome RunCollector(const DatabaseModule& module, const Identity& who, bool write, bool leaveOpen = false)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (who.uid != 0
            && (::setgroups(who.groups.size(), who.groups.data()) != 0 || ::setresgid(who.gid, who.gid, who.gid) != 0
                || ::setresuid(who.uid, who.uid, who.uid) != 0))
            ::_exit(3);
        ::umask(022);
        const int out = pipeFds[1];
        ::alarm(kReadSeconds); // the watchdog: SIGALRM ends a child that waits
        auto db = module.Create();
        WriteField(out, QString::number(db->Initialize()));
        QString message;
        const bool found = db->GetCustomMessage(7, QLatin1String(kName), QLatin1String(kCategory), message);
        QStringList rules;
        db->GetUserRules(QStringLiteral("Mill"), rules);
        WriteField(out, found ? QStringLiteral("1") : QStringLiteral("0"));
        WriteField(out, message);
        WriteField(out, db->ReadProblem());
        ::alarm(kWriteSeconds);
        const bool added = write
            && db->AddCustomMessage(8, QStringLiteral("Added"), QLatin1String(kCategory), QStringLiteral("new")) == 0;
        WriteField(out, added ? QStringLiteral("1") : QStringLiteral("0"));
        WriteField(out, db->WriteProblem());
        if (leaveOpen)
            ::kill(::getpid(), SIGKILL);
        db.reset();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome o;
    const QStringList fields = QString::fromUtf8(text).split(QLatin1Char('\n'));
    const bool killedOnPurpose = leaveOpen && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    o.finished = fields.size() >= 7 && ((WIFEXITED(status) && WEXITSTATUS(status) == 0) || killedOnPurpose);
    if (fields.size() >= 7) {
        o.initialize = fields[0].toInt();
        o.found = fields[1] == QLatin1String("1");
        o.message = fields[2];
        o.readProblem = fields[3];
        o.added = fields[4] == QLatin1String("1");
        o.writeProblem = fields[5];
    }
    return o;
}

// Another process that has the database open (its "-shm" made) and, with
// writeLock, holds the write lock, until Stop. A process of its own: an SQLite
// connection must not be open in a process that forks the children above.
class Holder
{
public:
    Holder(const QString& file, bool writeLock)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_stop) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(m_stop[1]);
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            bool ok = sqlite3_exec(db, "SELECT count(*) FROM CustomMessages", nullptr, nullptr, nullptr) == SQLITE_OK;
            if (writeLock)
                ok = ok && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
            const char answer = ok ? '1' : '0';
            [[maybe_unused]] ssize_t n = ::write(ready[1], &answer, 1);
            char c;
            n = ::read(m_stop[0], &c, 1); // returns when the parent closes its end
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(m_stop[0]);
        char answer = '0';
        m_ready = ::read(ready[0], &answer, 1) == 1 && answer == '1';
        ::close(ready[0]);
    }
    ~Holder() { Stop(); }
    bool IsHolding() const { return m_ready; }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::close(m_stop[1]);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_stop[2] = { -1, -1 };
    bool m_ready = false;
};

// A database as this program makes it, holding one message, with its
// write-ahead log folded in and closed.
void Seed(const DatabaseModule& module, const QString& file)
{
    auto db = module.Create();
    ASSERT_EQ(db->AddCustomMessage(7, QLatin1String(kName), QLatin1String(kCategory), QStringLiteral("kept")), 0);
    db->Release();
    ASSERT_TRUE(QFileInfo::exists(file));
    ASSERT_TRUE(ExecSql(file, "PRAGMA wal_checkpoint(TRUNCATE)"));
}

void WriteBytes(const QString& file, const QByteArray& bytes, qint64 at = 0)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(at));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One row of the table.
struct State
{
    const char* name;
    // Puts the state in place; may hold something (a lock) until the returned
    // function is called after the run.
    std::function<std::function<void()>(const DatabaseModule&, ScopedTestEnv&)> make;
    int initialize; // what Initialize returns
    bool found; // the seeded message is read
    const char* readProblem; // a word of ReadProblem; empty: none
    int added; // 1 stored, 0 refused, -1 either
    const char* writeProblem; // a word of WriteProblem; empty: none
    bool isDatabase; // afterwards the file passes integrity_check
};

std::function<void()> Nothing()
{
    return [] {};
}

class DatabaseStatesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError()); }

    void Run(const State& s, const Identity& who = {})
    {
        SCOPED_TRACE(s.name);
        QDir().mkpath(env.Path(QStringLiteral("database")));
        const QString file = DatabaseFile(env);
        std::function<void()> release = s.make(module, env);
        if (HasFatalFailure())
            return;
        const QByteArray before = QFileInfo(file).isFile() ? ReadBytes(file) : QByteArray();
        const Outcome o = RunCollector(module, who, true);
        release();
        ASSERT_TRUE(o.finished) << "the collector hung or crashed";
        EXPECT_EQ(o.initialize, s.initialize);
        EXPECT_EQ(o.found, s.found);
        if (s.found) {
            EXPECT_EQ(o.message, QStringLiteral("kept"));
        }
        if (*s.readProblem) {
            EXPECT_TRUE(o.readProblem.contains(QLatin1String(s.readProblem), Qt::CaseInsensitive))
                << qPrintable(o.readProblem);
        } else {
            EXPECT_TRUE(o.readProblem.isEmpty()) << qPrintable(o.readProblem);
        }
        if (s.added >= 0) {
            EXPECT_EQ(o.added, s.added == 1) << qPrintable(o.writeProblem);
        }
        if (*s.writeProblem) {
            EXPECT_TRUE(o.writeProblem.contains(QLatin1String(s.writeProblem), Qt::CaseInsensitive))
                << qPrintable(o.writeProblem);
        } else if (s.added == 1) {
            EXPECT_TRUE(o.writeProblem.isEmpty()) << qPrintable(o.writeProblem);
        }
        if (s.isDatabase) {
            EXPECT_EQ(QueryOne(file, "PRAGMA integrity_check"), QStringLiteral("ok"));
        } else if (!before.isEmpty()) {
            EXPECT_EQ(ReadBytes(file), before) << "a file that is no database was changed";
        }
    }

    ScopedTestEnv env;
    DatabaseModule module;
};

const State kStates[] = {
    { "missing: made on first use",
        [](const DatabaseModule&, ScopedTestEnv&) { return Nothing(); }, 0, false, "", 1, "", true },
    { "a FIFO",
        [](const DatabaseModule&, ScopedTestEnv& env) {
            EXPECT_EQ(::mkfifo(QFile::encodeName(DatabaseFile(env)).constData(), 0666), 0);
            return Nothing();
        },
        -1, false, "FIFO", 0, "FIFO", false },
    { "a folder",
        [](const DatabaseModule&, ScopedTestEnv& env) {
            EXPECT_TRUE(QDir().mkpath(DatabaseFile(env)));
            return Nothing();
        },
        -1, false, "folder", 0, "folder", false },
    { "a dangling link",
        [](const DatabaseModule&, ScopedTestEnv& env) {
            EXPECT_TRUE(QFile::link(env.Path(QStringLiteral("gone.sqlite")), DatabaseFile(env)));
            return Nothing();
        },
        -1, false, "does not exist", 0, "does not exist", false },
    { "random bytes",
        [](const DatabaseModule&, ScopedTestEnv& env) {
            QByteArray bytes(8192, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
            WriteBytes(DatabaseFile(env), bytes);
            return Nothing();
        },
        -1, false, "damaged", 0, "damaged", false },
    { "a database whose message table is damaged",
        [](const DatabaseModule& module, ScopedTestEnv& env) {
            const QString file = DatabaseFile(env);
            Seed(module, file);
            const int page = QueryOne(file, "PRAGMA page_size").toInt();
            const int root = QueryOne(file, "SELECT rootpage FROM sqlite_master WHERE name = 'CustomMessages'").toInt();
            EXPECT_GT(root, 1);
            WriteBytes(file, QByteArray(page, '\xA5'), static_cast<qint64>(root - 1) * page);
            return Nothing();
        },
        0, false, "damaged", -1, "", false },
    { "zero length: an empty database, set up on first use",
        [](const DatabaseModule&, ScopedTestEnv& env) {
            WriteBytes(DatabaseFile(env), QByteArray());
            return Nothing();
        },
        0, false, "", 1, "", true },
    { "made by a newer program: read, not changed",
        [](const DatabaseModule& module, ScopedTestEnv& env) {
            Seed(module, DatabaseFile(env));
            EXPECT_TRUE(ExecSql(DatabaseFile(env), "UPDATE SchemaVersion SET Version = 99"));
            return Nothing();
        },
        0, true, "", 0, "newer", true },
    { "read-only: read, not changed",
        [](const DatabaseModule& module, ScopedTestEnv& env) {
            Seed(module, DatabaseFile(env));
            env.Set("VTRPRO_DATABASE_READONLY", QStringLiteral("1"));
            return Nothing();
        },
        0, true, "", 0, "read-only", true },
    { "another program holds the write lock: read at once, change refused as locked",
        [](const DatabaseModule& module, ScopedTestEnv& env) -> std::function<void()> {
            Seed(module, DatabaseFile(env));
            auto holder = std::make_shared<Holder>(DatabaseFile(env), true);
            EXPECT_TRUE(holder->IsHolding());
            return [holder] { holder->Stop(); };
        },
        0, true, "", 0, "locked", true },
};

TEST_F(DatabaseStatesTest, EveryStateIsReadRefusedOrSaidWithoutHanging)
{
    for (const State& s : kStates) {
        Run(s);
        // Each row starts from an empty folder and its own environment.
        QDir(env.Path(QStringLiteral("database"))).removeRecursively();
        QFile::remove(env.Path(QStringLiteral("gone.sqlite")));
        env.Set("VTRPRO_DATABASE_READONLY", QString());
    }
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("gone.sqlite")))) << "a link was followed to make a file";
}

TEST_F(DatabaseStatesTest, AMovedDatabaseFolderIsUsedAtOnceWithoutARelease)
{
    QDir().mkpath(env.Path(QStringLiteral("database")));
    const QString oldFile = DatabaseFile(env);
    Seed(module, oldFile);
    auto db = module.Create();
    QString message;
    ASSERT_TRUE(db->GetCustomMessage(7, QLatin1String(kName), QLatin1String(kCategory), message));

    // Application Directories (or dirs --database) moves the folder.
    env.Set("VTR_PRO_DATABASE_DIR", env.Path(QStringLiteral("moved")));
    EXPECT_FALSE(db->GetCustomMessage(7, QLatin1String(kName), QLatin1String(kCategory), message))
        << "read from the old database";
    EXPECT_EQ(db->AddCustomMessage(8, QStringLiteral("Added"), QLatin1String(kCategory), QStringLiteral("new")), 0);
    QStringList rules;
    EXPECT_TRUE(db->GetUserRules(QStringLiteral("Mill"), rules));
    db->Release();
    const QString newFile = env.Path(QStringLiteral("moved/VTRProDatabase.sqlite"));
    EXPECT_EQ(QueryOne(newFile, "SELECT Message FROM CustomMessages WHERE HelpId = 8"), QStringLiteral("new"));
    EXPECT_EQ(QueryOne(oldFile, "SELECT count(*) FROM CustomMessages WHERE HelpId = 8"), QStringLiteral("0"));
}

// The states that need a user whom file permissions bind.
class DatabaseUsersTest : public DatabaseStatesTest
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run parts as other users (CI runs as root)";
        DatabaseStatesTest::SetUp();
        // The users below must reach the folders; the temporary root is 0700.
        ::chmod(QFile::encodeName(env.Root()).constData(), 0755);
    }

    static constexpr gid_t kShared = 64000; // a group both users below belong to
    const Identity kNobody { 65534, 65534, { 65534 } };
    const Identity kOwner { 64001, 64001, { kShared } };
    const Identity kReader { 64002, 64002, { kShared } };
};

TEST_F(DatabaseUsersTest, AReaderOfAFolderItMayNotWriteReadsAndIsToldChangesCannotBeStored)
{
    const QString folder = env.Path(QStringLiteral("database"));
    const QString file = DatabaseFile(env);
    for (const bool ownerHasItOpen : { false, true }) {
        SCOPED_TRACE(ownerHasItOpen ? "while the owner has it open" : "while nobody has it open");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        Seed(module, file);
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
        std::optional<Holder> holder;
        if (ownerHasItOpen) {
            holder.emplace(file, false);
            ASSERT_TRUE(holder->IsHolding());
        }
        const Outcome o = RunCollector(module, kNobody, true);
        holder.reset();
        ASSERT_TRUE(o.finished) << "the collector hung or crashed";
        EXPECT_EQ(o.initialize, 0) << qPrintable(o.readProblem);
        EXPECT_TRUE(o.found) << qPrintable(o.readProblem);
        EXPECT_EQ(o.message, QStringLiteral("kept"));
        EXPECT_TRUE(o.readProblem.isEmpty()) << qPrintable(o.readProblem);
        EXPECT_FALSE(o.added);
        EXPECT_TRUE(o.writeProblem.contains(QLatin1String("read-only"))) << qPrintable(o.writeProblem);
        // The owner still writes, and the file is whole.
        auto owner = module.Create();
        EXPECT_EQ(owner->AddCustomMessage(9, QStringLiteral("Owner"), QLatin1String(kCategory), QStringLiteral("x")), 0);
        owner->Release();
        EXPECT_EQ(QueryOne(file, "PRAGMA integrity_check"), QStringLiteral("ok"));
    }
}

TEST_F(DatabaseUsersTest, FilesAReaderLeavesBesideASharedDatabaseDoNotLockItsOwnerOut)
{
    // A folder and a database the owner shares with a group, as an
    // administrator sets them up; the reader belongs to the group but has
    // another primary group.
    const QString folder = env.Path(QStringLiteral("database"));
    const QString file = DatabaseFile(env);
    QDir().mkpath(folder);
    Seed(module, file);
    for (const QString& path : { folder, file })
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kOwner.uid, kShared), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0775), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0664), 0);

    // The reader reads and is killed with the database open: its files stay.
    const Outcome read = RunCollector(module, kReader, false, true);
    ASSERT_TRUE(read.finished) << "the reader hung or crashed";
    EXPECT_TRUE(read.found) << qPrintable(read.readProblem);
    for (const char* suffix : { "-wal", "-shm" }) {
        struct stat st = {};
        const QByteArray companion = QFile::encodeName(file) + suffix;
        if (::stat(companion.constData(), &st) != 0)
            continue; // nothing left behind is fine too
        EXPECT_EQ(st.st_gid, kShared) << suffix;
        EXPECT_EQ(st.st_mode & 0777, 0664u) << suffix;
    }

    const Outcome wrote = RunCollector(module, kOwner, true);
    ASSERT_TRUE(wrote.finished) << "the owner hung or crashed";
    EXPECT_TRUE(wrote.found) << qPrintable(wrote.readProblem);
    EXPECT_TRUE(wrote.added) << qPrintable(wrote.writeProblem);
    EXPECT_EQ(QueryOne(file, "PRAGMA integrity_check"), QStringLiteral("ok"));
    EXPECT_EQ(QueryOne(file, "SELECT Message FROM CustomMessages WHERE HelpId = 8"), QStringLiteral("new"));
}

} // namespace
