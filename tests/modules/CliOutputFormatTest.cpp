// vtrpro-rules as scripts use it: --version and the JSON forms of modules and
// show, which carry the same fields as the text.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

namespace {
QJsonDocument ParseJson(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString()) << "\n" << qPrintable(text);
    return doc;
}
} // namespace

TEST(CliOutputFormatTest, VersionOfBothProgramsIsTheProjectVersion)
{
    ScopedTestEnv env;
    const ToolRun tool = RunTool({ QStringLiteral("--version") }, env.DataSettings());
    EXPECT_EQ(tool.code, 0);
    EXPECT_EQ(tool.out.toStdString(), "vtrpro-rules " VTRPRO_VERSION "\n");

    // No display is needed to ask the window program.
    QProcess gui;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("QT_QPA_PLATFORM"));
    e.remove(QStringLiteral("DISPLAY"));
    e.remove(QStringLiteral("WAYLAND_DISPLAY"));
    gui.setProcessEnvironment(e);
    gui.start(BinDir() + QStringLiteral("/VtrProRuleBuilderu"), { QStringLiteral("--version") });
    ASSERT_TRUE(gui.waitForFinished(60000));
    EXPECT_EQ(gui.exitCode(), 0);
    EXPECT_EQ(gui.readAllStandardOutput().toStdString(), "VtrProRuleBuilderu " VTRPRO_VERSION "\n");
}

TEST(CliOutputFormatTest, ModulesAsJsonOneObjectPerConfiguredModule)
{
    ScopedTestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("libs")));
    const QString full = env.Path(QStringLiteral("libs/Full.so"));
    const QString db = env.Path(QStringLiteral("libs/Db.so"));
    const QString missing = env.Path(QStringLiteral("libs/Missing.so"));
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), full));
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), db));
    QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write((" [RULE_CONFIGURATION_MODULES]\n module1=" + full + "\n module2=" + missing
        + "\n [RULE_DATABASE_MODULES]\n module1=" + db + "\n")
                  .toLocal8Bit());
    ini.close();

    for (const QStringList& form : { QStringList { QStringLiteral("--format"), QStringLiteral("json") },
             QStringList { QStringLiteral("--format=json") } }) {
        const ToolRun r = RunTool(QStringList { QStringLiteral("modules") } + form, env.DataSettings());
        ASSERT_EQ(r.code, 0) << qPrintable(r.err);
        const QJsonObject root = ParseJson(r.out).object();
        EXPECT_EQ(root.value(QStringLiteral("configModuleIni")).toString(),
            env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        const QJsonArray modules = root.value(QStringLiteral("modules")).toArray();
        ASSERT_EQ(modules.size(), 3);
        const QJsonObject expected[] = {
            { { QStringLiteral("section"), QStringLiteral("RULE_CONFIGURATION_MODULES") },
                { QStringLiteral("path"), full }, { QStringLiteral("loaded"), true },
                { QStringLiteral("name"), QStringLiteral("Test Rules") }, { QStringLiteral("rules"), 3 } },
            { { QStringLiteral("section"), QStringLiteral("RULE_CONFIGURATION_MODULES") },
                { QStringLiteral("path"), missing }, { QStringLiteral("loaded"), false } },
            { { QStringLiteral("section"), QStringLiteral("RULE_DATABASE_MODULES") }, { QStringLiteral("path"), db },
                { QStringLiteral("loaded"), true } },
        };
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(modules[i].toObject(), expected[i]) << i << "\n" << qPrintable(r.out);
    }
}

TEST(CliOutputFormatTest, ShowAsJsonCarriesTheFieldsOfTheText)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("plain.vtr"));
    ASSERT_EQ(RunTool({ QStringLiteral("new"), path, QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole"),
                          QStringLiteral("--units"), QStringLiteral("3,0") },
                  env.DataSettings())
                  .code,
        0);
    const ToolRun text = RunTool({ QStringLiteral("show"), path }, env.DataSettings());
    const ToolRun json = RunTool(
        { QStringLiteral("show"), path, QStringLiteral("--format"), QStringLiteral("json") }, env.DataSettings());
    ASSERT_EQ(json.code, 0) << qPrintable(json.err);
    const QJsonObject o = ParseJson(json.out).object();
    EXPECT_EQ(o.value(QStringLiteral("file")).toString(), path);
    EXPECT_EQ(o.value(QStringLiteral("linearUnit")).toInt(), 3);
    EXPECT_EQ(o.value(QStringLiteral("angularUnit")).toInt(), 0);
    EXPECT_EQ(o.value(QStringLiteral("protected")).toBool(true), false);
    // The text's lines, rebuilt from the JSON, are the text.
    QString rebuilt
        = QStringLiteral("File: %1\nVersion: %2\nUnits: %3\nProtected: no\n")
              .arg(path, o.value(QStringLiteral("version")).toString(), o.value(QStringLiteral("units")).toString());
    const QJsonArray rules = o.value(QStringLiteral("rules")).toArray();
    rebuilt += QStringLiteral("Rules: %1\n").arg(rules.size());
    for (const QJsonValue& v : rules) {
        const QJsonObject r = v.toObject();
        rebuilt += QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(r.value(QStringLiteral("sequence")).toInt())
                       .arg(r.value(QStringLiteral("name")).toString(), r.value(QStringLiteral("category")).toString(),
                           r.value(QStringLiteral("module")).toString());
    }
    EXPECT_EQ(rebuilt.toStdString(), text.out.toStdString());
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Flat Bottom Hole"));

    // "--format text" is the text itself.
    EXPECT_EQ(
        RunTool({ QStringLiteral("show"), QStringLiteral("--format=text"), path }, env.DataSettings()).out, text.out);
}

TEST(CliOutputFormatTest, BadFormatRequestsAreRefused)
{
    ScopedTestEnv env;
    const QStringList cases[] = {
        { QStringLiteral("modules"), QStringLiteral("--format"), QStringLiteral("xml") },
        { QStringLiteral("modules"), QStringLiteral("--format") },
        { QStringLiteral("modules"), QStringLiteral("extra") },
        { QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("yaml"), env.Path("a.vtr") },
        { QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("json") },
        { QStringLiteral("show"), QStringLiteral("--format=json"), env.Path("missing.vtr") },
    };
    for (const QStringList& args : cases) {
        const ToolRun r = RunTool(args, env.DataSettings());
        EXPECT_EQ(r.code, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.out.isEmpty()) << qPrintable(args.join(' ')) << qPrintable(r.out);
        EXPECT_FALSE(r.err.isEmpty()) << qPrintable(args.join(' '));
    }
}
