// vtrpro-rules as a script meets it: one table of command, file, exit code
// and whether the file is left byte for byte as it was. Each case starts in a
// folder of its own.

#include "TestSupport.h"

#include "VtrLibrary.h"

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace {

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

constexpr char kHole[] = "SM - Minimum Hole Diameter";
constexpr char kFlange[] = "SM - Minimum Flange Width";
// A user who may not write root's files.
constexpr int kOtherUid = 65534;

QString NewFile(const ScopedTestEnv& env, const QString& name, const QStringList& rules)
{
    const QString path = env.Path(name);
    QStringList args { "new", path };
    for (const QString& rule : rules)
        args << "--rule" << rule;
    const ToolRun r = RunTool(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return path;
}

// A colleague's file: besides two sheet-metal rules, a welding rule whose
// module is not registered here.
QString Unoffered(const ScopedTestEnv& env)
{
    const QString path = NewFile(env, QStringLiteral("colleague.vtr"), { kHole, kFlange });
    QByteArray text = Read(path);
    const qsizetype end = text.lastIndexOf("</VTRExpress>");
    EXPECT_GT(end, 0);
    text.insert(end,
        "\t<Rule Name=\"WD - Minimum Weld Length\" RuleCategory=\"Welding\" RuleModule=\"Welding Rules\" "
        "Selected=\"1\"/>\n");
    Write(path, text);
    return path;
}

// "ConfigModule.ini" with the default modules, as a first start writes it.
QString DefaultIni(const ScopedTestEnv& env)
{
    EXPECT_EQ(RunTool({ "modules" }).code, 0);
    return env.DataSettings() + QStringLiteral("ConfigModule.ini");
}

QString Shipped(const char* name)
{
    return BinDir() + QLatin1Char('/') + QLatin1String(name) + QLatin1String(VtrLibrary::kSuffix);
}

// Lets another user write the test's folders and the file.
void OpenToEveryone(const ScopedTestEnv& env)
{
    const QString database = env.Path(QStringLiteral("database"));
    for (const QString& folder : { env.Root(), env.DataSettings(), env.AppData(), database }) {
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), 0777);
    }
    for (const QString& folder : { env.DataSettings(), database })
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            ::chmod(QFile::encodeName(f.filePath()).constData(), 0666);
}

// Runs the tool as another user, with every folder in the test's own.
ToolRun RunAs(int uid, const ScopedTestEnv& env, const QStringList& args)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("HOME"), env.Root());
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env.Path(QStringLiteral("config")));
    e.insert(QStringLiteral("XDG_DATA_HOME"), env.Path(QStringLiteral("data")));
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), env.Path(QStringLiteral("run")));
    QProcess p;
    p.setProcessEnvironment(e);
    p.start(QStringLiteral("setpriv"),
        QStringList { QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
            QStringLiteral("--clear-groups"), BinDir() + QStringLiteral("/vtrpro-rules") }
            + args);
    EXPECT_TRUE(p.waitForFinished(300000));
    ToolRun run;
    run.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

bool CanActAsAnotherUser()
{
    return ::geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty();
}

struct Case
{
    const char* what;
    // Makes the case's files; returns the file to watch, which FILE stands for.
    std::function<QString(ScopedTestEnv&)> prepare;
    QStringList args;
    int code;
    // Each is on standard error.
    QStringList says;
    // Whether the watched file must be byte for byte as it was.
    bool untouched;
    // On a change: what the file must hold, and must no longer hold.
    QByteArray holds = {};
    QByteArray lost = {};
    // Run as this user (-1: as the test).
    int uid = -1;
};

// FILE stands for the watched file, ROOT for the case's folder.
QStringList Filled(QStringList args, const QString& file, const QString& root)
{
    for (QString& a : args)
        a.replace(QStringLiteral("FILE"), file).replace(QStringLiteral("ROOT"), root);
    return args;
}

TEST(ToolRefusalsTest, EachCommandGivesItsCodeAndLeavesTheFileAsTheCodeSays)
{
    const auto small = [](ScopedTestEnv& env) { return NewFile(env, QStringLiteral("small.vtr"), { kHole }); };
    const auto bend = [](ScopedTestEnv& env) {
        return NewFile(env, QStringLiteral("bend.vtr"), { QStringLiteral("Minimum Bend Radius") });
    };
    const auto manual = [](ScopedTestEnv& env) {
        return NewFile(env, QStringLiteral("manual.vtr"), { QStringLiteral("Material Specification Confirmed") });
    };
    const auto readOnlyFile = [](ScopedTestEnv& env) {
        const QString path = NewFile(env, QStringLiteral("locked.vtr"), { kHole });
        OpenToEveryone(env);
        ::chmod(QFile::encodeName(path).constData(), 0444);
        return path;
    };
    const auto readOnlyFolder = [](ScopedTestEnv& env) {
        QDir().mkpath(env.Path(QStringLiteral("shared")));
        const QString path = NewFile(env, QStringLiteral("shared/theirs.vtr"), { kHole });
        OpenToEveryone(env);
        ::chmod(QFile::encodeName(path).constData(), 0666);
        ::chmod(QFile::encodeName(env.Path(QStringLiteral("shared"))).constData(), 0555);
        return path;
    };
    const auto noEnvironment = [](ScopedTestEnv& env) {
        env.Set("VTRPRO_MACHINE_ENVIRONMENT_FILE", env.Path(QStringLiteral("no-such-folder/environment")));
        const QString ini = DefaultIni(env);
        // The first look stores the default script-rule folder.
        EXPECT_EQ(RunTool({ "dirs" }).code, 0);
        return ini;
    };
    const auto tubingRemoved = [](ScopedTestEnv& env) {
        const QString ini = DefaultIni(env);
        const ToolRun r = RunTool({ "modules", "remove", Shipped("VTRTubingRulesu") });
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_FALSE(Read(ini).contains("VTRTubingRulesu")) << Read(ini).toStdString();
        return ini;
    };
    const auto missingModule = [](ScopedTestEnv& env) {
        const QString ini = DefaultIni(env);
        QByteArray text = Read(ini);
        const qsizetype at = text.indexOf(" module16=");
        EXPECT_GE(at, 0) << text.toStdString();
        text.insert(at, " module16=" + env.Path(QStringLiteral("gone/Gone.so")).toLocal8Bit() + "\n");
        text.replace(" module16=" + BinDir().toLocal8Bit(), " module17=" + BinDir().toLocal8Bit());
        Write(ini, text);
        QDir().mkpath(env.Path(QStringLiteral("libs")));
        QFile::copy(Shipped("VtrTestModuleu"), env.Path(QStringLiteral("libs/Shop.so")));
        return ini;
    };

    const QString weld = QStringLiteral("\"WD - Minimum Weld Length\" (Welding, module \"Welding Rules\")");
    const Case cases[] = {
        // A rule no loaded module offers: every command that saves refuses, naming it.
        { "select, unoffered rule", Unoffered, { "select", "FILE", "--rule", kFlange }, 2,
            { weld, "--drop-unoffered", "nothing was changed" }, true },
        { "deselect, unoffered rule", Unoffered, { "deselect", "FILE", "--rule", kHole }, 2, { weld }, true },
        { "units, unoffered rule", Unoffered, { "units", "FILE", "3,3" }, 2, { weld }, true },
        { "configure, unoffered rule", Unoffered,
            { "configure", "FILE", "--rule", kHole, "--set", "Minimum hole diameter=2" }, 2, { weld }, true },
        { "reset, unoffered rule", Unoffered, { "reset", "FILE", "--all" }, 2, { weld }, true },
        { "configure, unoffered rule dropped as asked", Unoffered,
            { "configure", "FILE", "--rule", kHole, "--set", "Minimum hole diameter=2", "--drop-unoffered" }, 0,
            { "saving drops 1 rule(s)", weld }, false, "<Value>2</Value>", "Welding" },
        { "select, unoffered rule dropped as asked", Unoffered,
            { "select", "FILE", "--drop-unoffered", "--rule", "Minimum Bend Radius" }, 0, {}, false,
            "Minimum Bend Radius", "Welding" },

        // A constraint's parameter holds "=" in its name.
        { "configure, parameter under a constraint", bend,
            { "configure", "FILE", "--rule", "Minimum Bend Radius", "--set",
                "Minimum inside bend radius [Material = Aluminium 6061-T6]=4" },
            0, {}, false, "<Value>4</Value>" },
        { "configure, unknown constraint", bend,
            { "configure", "FILE", "--rule", "Minimum Bend Radius", "--set",
                "Minimum inside bend radius [Material = Titanium]=4" },
            2, { "no parameter named \"Minimum inside bend radius [Material = Titanium]\"" }, true },

        // A control character XML forbids is refused where it is typed.
        { "configure, control character in a text", manual,
            { "configure", "FILE", "--rule", "Material Specification Confirmed", "--set",
                QStringLiteral("Check instruction=Grade stated\x01") },
            2, { "control character U+0001" }, true },
        { "configure, tab in a text", manual,
            { "configure", "FILE", "--rule", "Material Specification Confirmed", "--set",
                QStringLiteral("Check instruction=Grade\tstated") },
            0, {}, false, "Grade\tstated" },

        // A file this user may not write is no file another copy holds.
        { "select, read-only file", readOnlyFile, { "select", "FILE", "--rule", kFlange }, 2, { "cannot be written" },
            true, {}, {}, kOtherUid },
        { "units, read-only file", readOnlyFile, { "units", "FILE", "3,3" }, 2, { "cannot be written" }, true, {}, {},
            kOtherUid },
        { "configure, file in a read-only folder", readOnlyFolder,
            { "configure", "FILE", "--rule", kHole, "--criticality", "Low" }, 2, { "cannot be written" }, true, {}, {},
            kOtherUid },

        // A rule the file does not hold has no settings to compare or reset.
        { "diff, rule not in the file", small, { "diff", "FILE", "--rule", kFlange }, 2, { "is not in" }, true },
        { "reset, rule not in the file", small, { "reset", "FILE", "--rule", kFlange }, 2, { "is not in" }, true },

        // dirs: all or nothing.
        { "dirs, machine environment not writable", noEnvironment,
            { "dirs", "--script", "ROOT/scripts", "--database", "ROOT/db", "--create" }, 2,
            { "Administrator Rights", "nothing was changed" }, true },

        // modules add: a shipped module comes back; a configured library that
        // does not load is named as it leaves.
        { "modules add, shipped module removed before", tubingRemoved, { "modules", "add", Shipped("VTRTubingRulesu") },
            0, {}, false, "VTRTubingRulesu" },
        { "modules add, a configured library does not load", missingModule, { "modules", "add", "ROOT/libs/Shop.so" },
            0, { "gone/Gone.so is configured but does not load" }, false, "Shop.so", "Gone.so" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.uid >= 0 && !CanActAsAnotherUser()) {
            std::printf("[  SKIPPED ] %s: needs root and setpriv to act as another user\n", c.what);
            continue;
        }
        ScopedTestEnv env;
        const QString file = c.prepare(env);
        ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        const QByteArray before = Read(file);
        const QStringList args = Filled(c.args, file, env.Root());
        const ToolRun r = c.uid >= 0 ? RunAs(c.uid, env, args) : RunTool(args);
        EXPECT_EQ(r.code, c.code) << r.out.toStdString() << r.err.toStdString();
        for (const QString& text : c.says)
            EXPECT_TRUE(r.err.contains(text)) << text.toStdString() << " not in: " << r.err.toStdString();
        const QByteArray after = Read(file);
        if (c.untouched) {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_NE(after, before);
            if (!c.holds.isEmpty()) {
                EXPECT_TRUE(after.contains(c.holds)) << after.toStdString();
            }
            if (!c.lost.isEmpty()) {
                EXPECT_FALSE(after.contains(c.lost)) << after.toStdString();
            }
        }
        if (c.uid >= 0) {
            // It is not the lock of another copy that kept the file.
            EXPECT_FALSE(r.err.contains(QStringLiteral("elsewhere"))) << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("you may not write this file or its folder")))
                << r.err.toStdString();
            ::chmod(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), 0777);
        }
    }
}

// Control characters that reached a rule file's texts are left out when it
// is saved, so that any XML reader takes the file.
TEST(ToolRefusalsTest, ASavedFileHoldsNoControlCharacterXmlForbids)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        GTEST_SKIP() << "needs xmllint";
    ScopedTestEnv env;
    const QString file = NewFile(env, QStringLiteral("control.vtr"), { kHole });
    QByteArray text = Read(file);
    const QByteArray start = QByteArray("<Rule Name=\"") + kHole + "\"";
    ASSERT_TRUE(text.contains(start)) << text.toStdString();
    text.replace(start, "<Rule Note=\"Deburr&#01; all&#31; edges&#9;now\" Name=\"" + QByteArray(kHole) + "\"");
    const qsizetype value = text.indexOf("</Value>");
    ASSERT_GT(value, 0);
    text.insert(value, "&#02;");
    Write(file, text);

    const ToolRun r = RunTool({ "select", file, "--rule", kFlange });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QByteArray saved = Read(file);
    for (const char* reference : { "&#01;", "&#02;", "&#31;", "\x01", "\x02", "\x1f" })
        EXPECT_FALSE(saved.contains(reference)) << reference << " in " << saved.toStdString();
    EXPECT_TRUE(saved.contains("Note=\"Deburr all edges&#09;now\"")) << saved.toStdString();
    EXPECT_TRUE(saved.contains(kFlange));

    QProcess lint;
    lint.start(QStringLiteral("xmllint"), { QStringLiteral("--noout"), file });
    ASSERT_TRUE(lint.waitForFinished(60000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

// diff lists the lines that differ, and no line the file and the defaults
// share, however far apart the differing lines are.
TEST(ToolRefusalsTest, DiffShowsOnlyTheLinesThatDiffer)
{
    ScopedTestEnv env;
    const QString file = NewFile(env, QStringLiteral("bend.vtr"), { QStringLiteral("Minimum Bend Radius") });
    const ToolRun set = RunTool({ "configure", file, "--rule", "Minimum Bend Radius", "--set",
        "Minimum inside bend radius [Material = Aluminium 6061-T6]=4", "--set", "Minimum inside bend radius=2" });
    ASSERT_EQ(set.code, 0) << set.err.toStdString();

    const ToolRun diff = RunTool({ "diff", file, "--format", "json" });
    ASSERT_EQ(diff.code, 1) << diff.err.toStdString();
    const QJsonArray rules = QJsonDocument::fromJson(diff.out.toUtf8()).array();
    ASSERT_EQ(rules.size(), 1) << diff.out.toStdString();
    const QJsonArray differences = rules[0].toObject().value(QStringLiteral("differences")).toArray();
    QStringList seen;
    for (const QJsonValue& d : differences) {
        const QJsonObject o = d.toObject();
        EXPECT_NE(o.value(QStringLiteral("file")), o.value(QStringLiteral("default"))) << diff.out.toStdString();
        seen << o.value(QStringLiteral("key")).toString() + QLatin1Char('=')
                + o.value(QStringLiteral("file")).toString();
    }
    EXPECT_EQ(seen, (QStringList { QStringLiteral("Value=4"), QStringLiteral("Value=2") })) << diff.out.toStdString();
}

} // namespace
