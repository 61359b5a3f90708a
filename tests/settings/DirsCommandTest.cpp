// vtrpro-rules dirs: the three folders printed, and set through the checks
// of the directories dialog with the exit codes every command shares.

#include "TestSupport.h"

#include "modules/IniFile.h"
#include "settings/ApplicationDirectories.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

class DirsCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.Set("VTR_PRO_DATABASE_DIR", env.Path(QStringLiteral("database")));
        env.Set("VTRPRO_MANUAL_CHECKS", QString());
        qunsetenv("VTRPRO_MANUAL_CHECKS");
        QDir().mkpath(env.Path(QStringLiteral("database")));
        Write(Environment(), "LANG=C\n");
    }
    QString Environment() const { return env.Path(QStringLiteral("environment")); }
    QString Ini() const { return env.DataSettings() + QStringLiteral("ConfigModule.ini"); }
    QString StoredScript() const
    {
        return QString::fromStdString(CIniFile::GetValue("directory", "RULE_SCRIPT_LOCATION", Ini().toStdString()));
    }
    ScopedTestEnv env;
};

TEST_F(DirsCommandTest, PrintsTheThreeFoldersAsTextAndJson)
{
    const QString script = env.DataSettings() + QStringLiteral("ScriptDir");
    const ToolRun text = RunTool({ QStringLiteral("dirs") });
    EXPECT_EQ(text.code, 0) << text.err.toStdString();
    EXPECT_EQ(text.out,
        QStringLiteral("script: %1\ndatabase: %2\nmanual-checks: \n")
            .arg(script, env.Path(QStringLiteral("database"))));
    // First use stores and creates the script-rule folder.
    EXPECT_TRUE(QFileInfo(script).isDir());
    EXPECT_EQ(StoredScript(), script);

    const ToolRun json = RunTool({ QStringLiteral("dirs"), QStringLiteral("--format"), QStringLiteral("json") });
    EXPECT_EQ(json.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("script")).toString(), script);
    EXPECT_EQ(o.value(QStringLiteral("database")).toString(), env.Path(QStringLiteral("database")));
    EXPECT_TRUE(o.value(QStringLiteral("manualChecks")).isNull());
}

TEST_F(DirsCommandTest, AMissingFolderIsCreatedOnlyWithCreate)
{
    const QString script = env.Path(QStringLiteral("scripts"));
    const ToolRun refused = RunTool({ QStringLiteral("dirs"), QStringLiteral("--script"), script });
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(refused.err.contains(script + QStringLiteral(" does not exist. Do you want to create it?")))
        << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(script));
    EXPECT_NE(StoredScript(), script);

    const ToolRun created = RunTool({ QStringLiteral("dirs"), QStringLiteral("--script"), script, "--create" });
    EXPECT_EQ(created.code, 0) << created.err.toStdString();
    EXPECT_TRUE(QFileInfo(script).isDir());
    EXPECT_EQ(StoredScript(), script);
    EXPECT_TRUE(created.out.startsWith(QStringLiteral("script: ") + script + QLatin1Char('\n')));
}

TEST_F(DirsCommandTest, SetsAndRemovesTheMachineVariables)
{
    const QString database = env.Path(QStringLiteral("db2"));
    const QString checks = env.Path(QStringLiteral("checks"));
    QDir().mkpath(checks);
    const ToolRun set = RunTool({ QStringLiteral("dirs"), QStringLiteral("--database=") + database,
        QStringLiteral("--manual-checks"), checks, QStringLiteral("--create") });
    EXPECT_EQ(set.code, 0) << set.err.toStdString();
    EXPECT_EQ(Read(Environment()),
        "LANG=C\nVTR_PRO_DATABASE_DIR=\"" + database.toUtf8() + "\"\nVTRPRO_MANUAL_CHECKS=\"" + checks.toUtf8()
            + "\"\n");
    EXPECT_TRUE(set.out.contains(QStringLiteral("database: ") + database));

    // This process still has its old values: the file is what changed, and
    // setting the same values again is no change.
    const ToolRun again = RunTool({ QStringLiteral("dirs"), QStringLiteral("--database"), database });
    EXPECT_EQ(again.code, 0);
    const ToolRun print = RunTool({ QStringLiteral("dirs") });
    EXPECT_TRUE(print.err.contains(QStringLiteral("note: the machine environment"))) << print.err.toStdString();

    const ToolRun cleared = RunTool({ QStringLiteral("dirs"), QStringLiteral("--manual-checks"), QString() });
    EXPECT_EQ(cleared.code, 0) << cleared.err.toStdString();
    EXPECT_EQ(Read(Environment()), "LANG=C\nVTR_PRO_DATABASE_DIR=\"" + database.toUtf8() + "\"\n");
}

TEST_F(DirsCommandTest, RefusesInvalidPathsAndBadArgumentsWithNothingWritten)
{
    GetScriptDirectory(); // the first use's default, stored beforehand
    const QByteArray ini = Read(Ini());
    ASSERT_FALSE(ini.isEmpty());
    struct Case
    {
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        { { "dirs", "--database", "//server" }, QStringLiteral("//server is not a valid path") },
        { { "dirs", "--database", "" }, QStringLiteral(" is not a valid path") },
        { { "dirs", "--script", "relative", "--database", env.Path("db3"), "--create" },
            QStringLiteral("relative is not a valid path") },
        { { "dirs", "--script" }, QStringLiteral("--script: 1 required DIR missing") },
        { { "dirs", "--bogus" }, QStringLiteral("unknown option or argument: --bogus") },
        { { "dirs", "--create" }, QStringLiteral("--create goes with") },
        { { "dirs", "--database", "/x", "--format", "json" }, QStringLiteral("--format only goes with") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ToolRun run = RunTool(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_EQ(Read(Environment()), QByteArray("LANG=C\n"));
    }
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("db3"))));
    EXPECT_EQ(Read(Ini()), ini);
}

TEST_F(DirsCommandTest, WithoutTheMachineEnvironmentNothingIsSaved)
{
    Write(env.Path(QStringLiteral("blocker")), "a file");
    env.Set("VTRPRO_MACHINE_ENVIRONMENT_FILE", env.Path(QStringLiteral("blocker/environment")));
    ASSERT_EQ(RunTool({ QStringLiteral("dirs") }).code, 0); // writes the defaults
    const QByteArray ini = Read(Ini());
    const QString script = env.Path(QStringLiteral("database"));
    const ToolRun run = RunTool({ QStringLiteral("dirs"), QStringLiteral("--script"), script,
        QStringLiteral("--database"), env.Path(QStringLiteral("db4")), QStringLiteral("--create") });
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err.count(QStringLiteral("Administrator Rights are needed to set the database directory.")), 1)
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("nothing was changed"))) << run.err.toStdString();
    EXPECT_EQ(Read(Ini()), ini);
    EXPECT_NE(StoredScript(), script);
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("db4"))));
}
} // namespace
