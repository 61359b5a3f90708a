// What every database module's collector must do with custom messages and
// stored rules, written once and run for each module: a module is an entry
// of Modules() (how to make its collector and how to check its data is
// whole), and each test runs for every entry.

#include "DatabaseModule.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <algorithm>
#include <csignal>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

extern char** environ;

namespace {

using Collector = DatabaseModule::Collector;
using vtr_db::CustomMessageRecord;

// A database module as these tests see it.
struct CollectorModule
{
    const char* name;
    // A new collector over the database of the test's environment.
    Collector (*create)();
    // Whether the stored data passes the module's own consistency check.
    bool (*whole)(QString& report);
};

Collector CreateSqlite()
{
    static DatabaseModule module;
    EXPECT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError());
    return module.Create();
}

bool SqliteWhole(QString& report)
{
    const QByteArray file
        = QFile::encodeName(qEnvironmentVariable("VTR_PRO_DATABASE_DIR") + QStringLiteral("/VTRProDatabase.sqlite"));
    sqlite3* db = nullptr;
    report.clear();
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                report += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return report == QLatin1String("ok");
}

// Every database module to hold to the contract.
const CollectorModule kModules[] = {
    { "sqlite", &CreateSqlite, &SqliteWhole },
};

const CollectorModule* ModuleNamed(const QString& name)
{
    for (const CollectorModule& m : kModules)
        if (name == QLatin1String(m.name))
            return &m;
    return nullptr;
}

const QString kGeneral = QStringLiteral("General");

// A sheet of n messages, each rule "Rule i" with help id 100 + i, the message "<tag> i".
QList<CustomMessageRecord> Sheet(const QString& tag, int n)
{
    QList<CustomMessageRecord> sheet;
    for (int i = 0; i < n; ++i)
        sheet.append({ 100 + i, QStringLiteral("Rule %1").arg(i), kGeneral, QStringLiteral("%1 %2").arg(tag).arg(i) });
    return sheet;
}

// The tag every message of the n rules carries ("" when a rule has none,
// "mixed" when they differ).
QString SheetTag(vtr_db::IDatabaseCollector& db, int n)
{
    QString tag;
    for (int i = 0; i < n; ++i) {
        QString message;
        db.GetCustomMessage(100 + i, QStringLiteral("Rule %1").arg(i), kGeneral, message);
        const QString mine = message.section(QLatin1Char(' '), 0, 0);
        if (message != QStringLiteral("%1 %2").arg(mine).arg(i))
            return QStringLiteral("mixed");
        if (i == 0)
            tag = mine;
        else if (mine != tag)
            return QStringLiteral("mixed");
    }
    return tag;
}

class CollectorContract : public ::testing::TestWithParam<const CollectorModule*>
{
protected:
    Collector Create() const { return GetParam()->create(); }
    void ExpectWhole() const
    {
        QString report;
        EXPECT_TRUE(GetParam()->whole(report)) << qPrintable(report);
    }

    ScopedTestEnv env;
};

// ------------------------------------------------------------ custom messages

TEST_P(CollectorContract, ASheetOfMessagesIsStoredWholeOrNotAtAll)
{
    const CustomMessageRecord a { 1, QStringLiteral("A"), kGeneral, QStringLiteral("a") };
    const CustomMessageRecord b { 2, QStringLiteral("B"), kGeneral, QStringLiteral("b") };
    const struct
    {
        const char* label;
        QList<CustomMessageRecord> before;
        QList<CustomMessageRecord> sheet;
        int32_t result;
        QList<CustomMessageRecord> after; // an empty message: the rule has none
    } cases[] = {
        { "a sheet stores each row", {}, { a, b }, 0, { a, b } },
        { "a sheet replaces messages and an empty one removes",
            { a, b }, { { 1, QStringLiteral("A"), kGeneral, QStringLiteral("a2") }, { 2, QStringLiteral("B"), kGeneral, {} } },
            0, { { 1, QStringLiteral("A"), kGeneral, QStringLiteral("a2") }, { 2, QStringLiteral("B"), kGeneral, {} } } },
        { "a row without a rule name refuses the sheet",
            { a }, { { 1, QStringLiteral("A"), kGeneral, QStringLiteral("new") }, { 2, QString(), kGeneral, QStringLiteral("x") } },
            -1, { a } },
        { "a row without a category refuses the sheet",
            { a }, { { 1, QStringLiteral("A"), kGeneral, QStringLiteral("new") }, { 2, QStringLiteral("B"), QString(), QStringLiteral("x") } },
            -1, { a } },
        { "an empty sheet stores nothing", { a }, {}, 0, { a } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        QDir(env.Path(QStringLiteral("database"))).removeRecursively();
        {
            auto db = Create();
            ASSERT_EQ(db->AddCustomMessages(c.before), 0);
            EXPECT_EQ(db->AddCustomMessages(c.sheet), c.result);
            // The writer's own view and a fresh one agree.
            const Collector fresh = Create();
            for (vtr_db::IDatabaseCollector* view : { db.get(), fresh.get() }) {
                for (const CustomMessageRecord& r : c.after) {
                    QString message;
                    EXPECT_EQ(view->GetCustomMessage(r.helpId, r.ruleName, r.category, message), !r.message.isEmpty())
                        << qPrintable(r.ruleName);
                    EXPECT_EQ(message, r.message) << qPrintable(r.ruleName);
                }
            }
        }
        ExpectWhole();
    }
}

// -------------------------------------------------------------- stored rules

TEST_P(CollectorContract, StoredRulesAreKeyedByFoldedNameAndCategoryAndNumbered)
{
    enum Op { OpAdd, OpCreate, OpRemove };
    const QString mill = QStringLiteral("Mill");
    const QString turn = QStringLiteral("Turn");
    const struct Step
    {
        const char* label;
        Op op;
        QString key, name, category, element;
        int32_t result;
    } steps[] = {
        { "a new name is created", OpCreate, mill, "Slot", "Milling", "<slot/>", 0 },
        { "the same name is taken", OpCreate, mill, "Slot", "Milling", "<again/>", 1 },
        { "a name differing only in case is taken", OpCreate, mill, "SLOT", "milling", "<upper/>", 1 },
        { "a name with a letter beyond ASCII is created", OpCreate, mill, "\u00d6lbohrung", "Milling", "<oil/>", 0 },
        { "... and taken in the other case of that letter", OpCreate, mill, "\u00f6LBOHRUNG", "Milling", "<OIL/>", 1 },
        { "the same name under another key is taken", OpCreate, turn, "slot", "Milling", "<t/>", 1 },
        { "the same name in another category is free", OpCreate, mill, "Slot", "Drilling", "<drill/>", 0 },
        { "adding replaces the rule of that identity", OpAdd, mill, "slot", "MILLING", "<edited/>", 0 },
        { "a rule is removed by its stored texts", OpRemove, mill, "slot", "MILLING", "", 1 },
        { "after removal the name is free again", OpCreate, mill, "Slot", "Milling", "<new/>", 0 },
        { "an empty name is refused", OpCreate, mill, "", "Milling", "<x/>", -1 },
        { "an empty element is refused", OpAdd, mill, "X", "Milling", "", -1 },
    };
    auto db = Create();
    QHash<QString, int32_t> idOfElement;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        int32_t result = 0;
        switch (s.op) {
        case OpAdd:
            result = db->AddUserRule(s.key, s.name, s.category, s.element);
            break;
        case OpCreate:
            result = db->CreateUserRule(s.key, s.name, s.category, s.element);
            break;
        case OpRemove:
            result = db->RemoveUserRule(s.key, s.name, s.category);
            break;
        }
        EXPECT_EQ(result, s.result);
        // Each stored rule has a help id of its own, in the stored rules' range.
        std::set<int32_t> now;
        for (const QString& key : { mill, turn }) {
            QList<vtr_db::StoredUserRule> rules;
            ASSERT_TRUE(db->GetStoredUserRules(key, rules));
            for (const vtr_db::StoredUserRule& r : rules) {
                EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(r.helpId)) << r.helpId;
                EXPECT_TRUE(now.insert(r.helpId).second) << "help id given twice: " << r.helpId;
                idOfElement.insert(r.element, r.helpId);
            }
        }
    }
    QList<vtr_db::StoredUserRule> rules;
    ASSERT_TRUE(db->GetStoredUserRules(mill, rules));
    QStringList elements;
    for (const vtr_db::StoredUserRule& r : rules)
        elements << r.element;
    EXPECT_EQ(elements, (QStringList { "<oil/>", "<drill/>", "<new/>" }));
    EXPECT_TRUE(db->GetStoredUserRules(turn, rules));
    EXPECT_TRUE(rules.isEmpty());
    // An edit keeps the id of the rule it replaces; a rule made after a
    // removal never gets an id that was given before.
    EXPECT_EQ(idOfElement.value(QStringLiteral("<edited/>")), idOfElement.value(QStringLiteral("<slot/>")));
    for (const char* before : { "<slot/>", "<oil/>", "<drill/>" })
        EXPECT_NE(idOfElement.value(QStringLiteral("<new/>")), idOfElement.value(QString::fromUtf8(before))) << before;

    // The ids are stored, not made up when listed: a fresh collector sees the same.
    QList<vtr_db::StoredUserRule> again;
    ASSERT_TRUE(Create()->GetStoredUserRules(mill, again));
    ASSERT_EQ(again.size(), 3);
    for (qsizetype i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].helpId, idOfElement.value(again[i].element));
    db.reset();
    ExpectWhole();
}

// ------------------------------------------------------ several processes
// A child is this test program run again with VTRPRO_TEST_COLLECTOR_CHILD set
// to "module;role;argument"; it waits for a "go" file when told to, so that
// two children start their writes together.

constexpr int kSheetRows = 2000;

QString ChildFile(const QString& name)
{
    // Beside the database folder, which need not exist yet.
    return QDir::cleanPath(qEnvironmentVariable("VTR_PRO_DATABASE_DIR") + QStringLiteral("/../") + name);
}

void WaitForFile(const QString& path)
{
    for (int i = 0; i < 3000 && !QFile::exists(path); ++i)
        QThread::msleep(5);
}

TEST(CollectorContractChild, Run)
{
    const QStringList job = qEnvironmentVariable("VTRPRO_TEST_COLLECTOR_CHILD").split(QLatin1Char(';'));
    if (job.size() != 3)
        GTEST_SKIP() << "runs only as a child process of the collector contract tests";
    const CollectorModule* module = ModuleNamed(job[0]);
    ASSERT_NE(module, nullptr);
    auto db = module->create();
    ASSERT_EQ(db->Initialize(), 0);
    const QString role = job[1];
    const QString arg = job[2];
    QFile ready(ChildFile(QStringLiteral("ready-") + arg));
    ASSERT_TRUE(ready.open(QIODevice::WriteOnly));
    ready.close();
    if (role == QLatin1String("import-forever")) {
        // Until killed: the other sheet over the one stored, again and again.
        for (int round = 0;; ++round)
            db->AddCustomMessages(Sheet(round % 2 ? QStringLiteral("A") : QStringLiteral("B"), kSheetRows));
    }
    WaitForFile(ChildFile(QStringLiteral("go")));
    int32_t result = -2;
    if (role == QLatin1String("import"))
        result = db->AddCustomMessages(Sheet(arg, kSheetRows));
    else if (role == QLatin1String("create"))
        result = db->CreateUserRule(QStringLiteral("Mill"), arg, QStringLiteral("Milling"), QStringLiteral("<%1/>").arg(arg));
    QFile out(ChildFile(QStringLiteral("result-") + arg));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray::number(result));
}

class Children
{
public:
    explicit Children(const char* module)
        : m_module(module)
        , m_self(QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))))
    { }
    ~Children()
    {
        for (pid_t pid : m_pids)
            Kill(pid);
    }
    pid_t Start(ScopedTestEnv& env, const QString& role, const QString& arg)
    {
        env.Set("VTRPRO_TEST_COLLECTOR_CHILD", QStringLiteral("%1;%2;%3").arg(QLatin1String(m_module), role, arg));
        char filter[] = "--gtest_filter=CollectorContractChild.Run";
        char* argv[] = { m_self.data(), filter, nullptr };
        pid_t pid = -1;
        if (posix_spawn(&pid, m_self.constData(), nullptr, nullptr, argv, environ) != 0)
            return -1;
        m_pids.push_back(pid);
        return pid;
    }
    // Ends a child at once, as a crash or a power cut would.
    void Kill(pid_t pid)
    {
        if (std::erase(m_pids, pid) == 0)
            return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    int Wait(pid_t pid)
    {
        std::erase(m_pids, pid);
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

private:
    const char* m_module;
    QByteArray m_self;
    std::vector<pid_t> m_pids;
};

QString ReadResult(const QString& arg)
{
    QFile in(ChildFile(QStringLiteral("result-") + arg));
    return in.open(QIODevice::ReadOnly) ? QString::fromLatin1(in.readAll()) : QStringLiteral("none");
}

TEST_P(CollectorContract, AnImportKilledAnywhereLeavesOneSheetWhole)
{
    // Kills fall anywhere within a few sheets' time, however fast the machine.
    qint64 sheetMs = 0;
    {
        auto db = Create();
        ASSERT_EQ(db->AddCustomMessages(Sheet(QStringLiteral("A"), kSheetRows)), 0);
        // Timed on a sheet that changes every message: one that changes
        // nothing stores nothing and takes a fraction of the time.
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(db->AddCustomMessages(Sheet(QStringLiteral("B"), kSheetRows)), 0);
        sheetMs = std::max<qint64>(timer.elapsed(), 1);
        ASSERT_EQ(db->AddCustomMessages(Sheet(QStringLiteral("A"), kSheetRows)), 0);
    }
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> after(0, static_cast<int>(4 * sheetMs));
    Children children(GetParam()->name);
    QHash<QString, int> seen;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const QString arg = QString::number(round);
        const pid_t pid = children.Start(env, QStringLiteral("import-forever"), arg);
        ASSERT_GT(pid, 0);
        WaitForFile(ChildFile(QStringLiteral("ready-") + arg));
        QThread::msleep(static_cast<unsigned long>(after(random)));
        children.Kill(pid);

        auto db = Create();
        const QString tag = SheetTag(*db, kSheetRows);
        EXPECT_TRUE(tag == QLatin1String("A") || tag == QLatin1String("B")) << "the database holds " << qPrintable(tag);
        ++seen[tag];
        db.reset();
        ExpectWhole();
        if (HasFailure())
            break;
    }
    // Both sheets were met: the kills fell between writes, not only before them.
    EXPECT_GT(seen.value(QStringLiteral("B")), 0);
}

TEST_P(CollectorContract, TwoImportsAtOnceNeverMix)
{
    Children children(GetParam()->name);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(ChildFile(QStringLiteral("go")));
        const QString x = QStringLiteral("X%1").arg(round);
        const QString y = QStringLiteral("Y%1").arg(round);
        const pid_t first = children.Start(env, QStringLiteral("import"), x);
        const pid_t second = children.Start(env, QStringLiteral("import"), y);
        ASSERT_GT(first, 0);
        ASSERT_GT(second, 0);
        WaitForFile(ChildFile(QStringLiteral("ready-") + x));
        WaitForFile(ChildFile(QStringLiteral("ready-") + y));
        QFile go(ChildFile(QStringLiteral("go")));
        ASSERT_TRUE(go.open(QIODevice::WriteOnly));
        go.close();
        EXPECT_EQ(children.Wait(first), 0);
        EXPECT_EQ(children.Wait(second), 0);

        // Each waited for the other or was refused whole; the database holds
        // the sheet stored last, all of it.
        const QString rx = ReadResult(x);
        const QString ry = ReadResult(y);
        EXPECT_TRUE(rx == QLatin1String("0") || rx == QLatin1String("-1")) << qPrintable(rx);
        EXPECT_TRUE(ry == QLatin1String("0") || ry == QLatin1String("-1")) << qPrintable(ry);
        auto db = Create();
        const QString tag = SheetTag(*db, kSheetRows);
        EXPECT_TRUE((tag == x && rx == QLatin1String("0")) || (tag == y && ry == QLatin1String("0")))
            << "the database holds " << qPrintable(tag);
    }
    ExpectWhole();
}

TEST_P(CollectorContract, TwoCopiesCreatingOneNameStoreOneRule)
{
    Children children(GetParam()->name);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(ChildFile(QStringLiteral("go")));
        // The second spelling differs only in case from round 1 on.
        const QString first = QStringLiteral("Bore %1").arg(round);
        const QString second = round == 0 ? first + QStringLiteral(" ") : QStringLiteral("BORE %1").arg(round);
        const QString firstArg = first;
        const pid_t a = children.Start(env, QStringLiteral("create"), firstArg);
        const pid_t b = children.Start(env, QStringLiteral("create"), second);
        ASSERT_GT(a, 0);
        ASSERT_GT(b, 0);
        WaitForFile(ChildFile(QStringLiteral("ready-") + firstArg));
        WaitForFile(ChildFile(QStringLiteral("ready-") + second));
        QFile go(ChildFile(QStringLiteral("go")));
        ASSERT_TRUE(go.open(QIODevice::WriteOnly));
        go.close();
        EXPECT_EQ(children.Wait(a), 0);
        EXPECT_EQ(children.Wait(b), 0);
        const QStringList results { ReadResult(firstArg), ReadResult(second) };
        if (round == 0) {
            // Two different names: both stored.
            EXPECT_EQ(results, (QStringList { "0", "0" }));
            continue;
        }
        EXPECT_EQ(results.count(QStringLiteral("0")), 1) << qPrintable(results.join(QLatin1Char(',')));
        EXPECT_EQ(results.count(QStringLiteral("1")), 1) << qPrintable(results.join(QLatin1Char(',')));
    }
    QList<vtr_db::StoredUserRule> rules;
    ASSERT_TRUE(Create()->GetStoredUserRules(QStringLiteral("Mill"), rules));
    EXPECT_EQ(rules.size(), 6); // two in round 0, one in each other round
    ExpectWhole();
}

INSTANTIATE_TEST_SUITE_P(Modules, CollectorContract, ::testing::ValuesIn([] {
    std::vector<const CollectorModule*> all;
    for (const CollectorModule& m : kModules)
        all.push_back(&m);
    return all;
}()),
    [](const ::testing::TestParamInfo<const CollectorModule*>& info) { return std::string(info.param->name); });

} // namespace
