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
} // namespace
