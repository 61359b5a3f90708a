#include "TestSupport.h"
#include "VtrLibrary.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {
TEST(CliModulesTest, PrintsConfiguredModulesInOrderMarkedLoadedOrNot)
{
    ScopedTestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("libs")));
    const QString full = env.Path(QStringLiteral("libs/Full.so"));
    const QString bare = env.Path(QStringLiteral("libs/Bare.so"));
    const QString db = env.Path(QStringLiteral("libs/Db.so"));
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), full));
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleNoDbListu.so"), bare));
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), db));
    const QString missing = env.Path(QStringLiteral("libs/Missing.so"));
    QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write((" [RULE_CONFIGURATION_MODULES]\n module1=" + bare + "\n module2=" + missing + "\n module3=" + full
        + "\n [RULE_DATABASE_MODULES]\n module1=" + db + "\n module2=" + missing + "\n")
                  .toLocal8Bit());
    ini.close();

    const ToolRun r = RunTool({ QStringLiteral("modules") }, env.DataSettings());
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    const QString expected = QStringLiteral("ConfigModule.ini: %1ConfigModule.ini\n"
                                            "RULE_CONFIGURATION_MODULES\n"
                                            "  loaded      %2  \"Bare.so\"  3 rules\n"
                                            "  not loaded  %3\n"
                                            "  loaded      %4  \"Test Rules\"  3 rules\n"
                                            "RULE_DATABASE_MODULES\n"
                                            "  loaded      %5\n"
                                            "  not loaded  %3\n")
                                 .arg(env.DataSettings(), bare, missing, full, db);
    EXPECT_EQ(r.out.toStdString(), expected.toStdString());
}

TEST(CliModulesTest, FirstRunWritesTheDefaultConfiguration)
{
    ScopedTestEnv env;
    const QString folder = env.Path(QStringLiteral("fresh/settings/"));
    const ToolRun r = RunTool({ QStringLiteral("modules") }, folder);
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    QFile ini(folder + QStringLiteral("ConfigModule.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.startsWith(" [RULE_CONFIGURATION_MODULES]\n module1=")) << text.constData();
    EXPECT_TRUE(text.contains(" module16=")) << text.constData();
    // 16 rule modules, the database module, two section lines.
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1 + 1 + 16 + 1 + 1);
}

TEST(CliModulesTest, UnusableSettingsFolderFailsWithAMessage)
{
    ScopedTestEnv env;
    QFile blocker(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& folder :
        { env.Path(QStringLiteral("blocker/settings/")), env.Path(QStringLiteral("blocker")) }) {
        const ToolRun r = RunTool({ QStringLiteral("modules") }, folder);
        EXPECT_EQ(r.code, 2) << qPrintable(folder);
        EXPECT_TRUE(r.err.contains(QStringLiteral("data-settings folder cannot be used"))) << qPrintable(r.err);
        EXPECT_TRUE(r.out.isEmpty());
    }
    const ToolRun extra = RunTool({ QStringLiteral("modules"), QStringLiteral("surplus") }, env.DataSettings());
    EXPECT_EQ(extra.code, 2);
}
// A data-settings folder whose "ConfigModule.ini" lists copies of the test
// module; the copies live beside it.
struct RegisteredSetup
{
    ScopedTestEnv env;
    QString first;
    QString second;
    QString database;
    QByteArray original;

    RegisteredSetup()
    {
        QDir().mkpath(env.Path(QStringLiteral("libs")));
        first = Copy("VtrTestModuleu", QStringLiteral("First.so"));
        second = Copy("VtrTestModuleu", QStringLiteral("Second.so"));
        database = Copy("VtrSqliteDatabaseu", QStringLiteral("Db.so"));
        original = (" [RULE_CONFIGURATION_MODULES]\n module1=" + first
            + "\n [RULE_DATABASE_MODULES]\n module1=" + database + "\n [RULE_SCRIPT_LOCATION]\n directory=/scripts\n")
                       .toLocal8Bit();
        QFile ini(Ini());
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(original);
    }
    QString Copy(const char* built, const QString& name) const
    {
        const QString target = env.Path(QStringLiteral("libs/") + name);
        EXPECT_TRUE(QFile::copy(
            BinDir() + QLatin1Char('/') + QLatin1String(built) + QLatin1String(VtrLibrary::kSuffix), target));
        return target;
    }
    QString Ini() const { return env.DataSettings() + QStringLiteral("ConfigModule.ini"); }
    QByteArray IniBytes() const
    {
        QFile ini(Ini());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    }
    ToolRun Run(const QStringList& args) const
    {
        return RunTool(QStringList { QStringLiteral("modules") } + args, env.DataSettings());
    }
};

TEST(CliModulesTest, RefusedChangesExitTwoAndLeaveTheFileByteForByte)
{
    RegisteredSetup setup;
    const QString framework = BinDir() + QStringLiteral("/VtrProFrameWorku") + QLatin1String(VtrLibrary::kSuffix);
    const QString bare = setup.Copy("VtrTestModuleNoDbListu", QStringLiteral("Bare.so"));
    const struct
    {
        QStringList args;
        QString message;
    } cases[] = {
        { { QStringLiteral("add"), framework }, QStringLiteral("\"%1\" is not a valid module name.").arg(framework) },
        { { QStringLiteral("add"), bare }, QStringLiteral("\"%1\" is not a valid module name.").arg(bare) },
        { { QStringLiteral("add"), setup.second, QStringLiteral("--database") },
            QStringLiteral("\"%1\" is not a valid module name.").arg(setup.second) },
        { { QStringLiteral("add"), setup.env.Path(QStringLiteral("libs/notes.txt")) },
            QStringLiteral("File \"%1\" is not a valid Rule Module.")
                .arg(setup.env.Path(QStringLiteral("libs/notes.txt"))) },
        { { QStringLiteral("add"), setup.first },
            QStringLiteral("Rule Module %1 is already configured.").arg(setup.first) },
        { { QStringLiteral("remove"), setup.second }, QStringLiteral("is not a configured rule module") },
        { { QStringLiteral("remove"), setup.first }, QStringLiteral("no rule module would be left") },
        { { QStringLiteral("remove"), setup.database, QStringLiteral("--database") },
            QStringLiteral("no database module would be left") },
        { { QStringLiteral("add") }, QStringLiteral("usage") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.args.join(QLatin1Char(' '))));
        const ToolRun r = setup.Run(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.message)) << qPrintable(r.err);
        EXPECT_EQ(setup.IniBytes(), setup.original);
    }
}

TEST(CliModulesTest, AddRemoveAndResetRewriteTheirSectionOnly)
{
    RegisteredSetup setup;
    ToolRun r = setup.Run({ QStringLiteral("add"), setup.second });
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("module1=%1\nmodule2=%2\n").arg(setup.first, setup.second));
    const QString text = QString::fromLocal8Bit(setup.IniBytes());
    EXPECT_TRUE(text.contains(
        QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n module1=%1\n module2=%2\n").arg(setup.first, setup.second)))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral(" [RULE_DATABASE_MODULES]\n module1=%1\n").arg(setup.database)))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral(" [RULE_SCRIPT_LOCATION]\n directory=/scripts\n"))) << qPrintable(text);

    r = setup.Run({ QStringLiteral("remove"), setup.first });
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("module1=%1\n").arg(setup.second));

    r = setup.Run({ QStringLiteral("reset") });
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    QStringList expected;
    int n = 0;
    for (const char* name : { "VtrMillRulesu", "VtrGenericRulesu", "VtrTurnRulesu", "VTRAssemblyRulesu", "VtrRPRulesu",
             "VTRCastingRulesu", "VtrSMRulesu", "VTRIMRulesu", "VTRDieCastRulesu", "VTRTubingRulesu",
             "VTRSandCastingRulesu", "VTRInvestmentCastRulesu", "VTRCompositeRulesu", "VTRFormRulesu",
             "VtrToleranceRulesu", "VTRManualCheckRulesu" })
        expected << QStringLiteral("module%1=%2/%3%4")
                        .arg(++n)
                        .arg(BinDir(), QLatin1String(name), QLatin1String(VtrLibrary::kSuffix));
    EXPECT_EQ(r.out, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    // The database section: back to the program's own database module.
    const QString programDb = BinDir() + QStringLiteral("/VtrSqliteDatabaseu") + QLatin1String(VtrLibrary::kSuffix);
    r = setup.Run({ QStringLiteral("reset"), QStringLiteral("--database") });
    ASSERT_EQ(r.code, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("module1=%1\n").arg(programDb));
    const QString after = QString::fromLocal8Bit(setup.IniBytes());
    EXPECT_TRUE(after.contains(QStringLiteral(" [RULE_DATABASE_MODULES]\n module1=%1\n").arg(programDb)))
        << qPrintable(after);
    EXPECT_TRUE(after.contains(QStringLiteral(" [RULE_SCRIPT_LOCATION]\n directory=/scripts\n")));
}
} // namespace
