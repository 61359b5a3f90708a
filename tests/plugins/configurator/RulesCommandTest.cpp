#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct RunResult
{
    int exitCode = -1;
    QByteArray output;
};

RunResult RunTool(const QString& arguments)
{
    RunResult result;
    const QByteArray command
        = QFile::encodeName(QStringLiteral("'%1/vtrpro-rules' %2 2>/dev/null").arg(BinDir(), arguments));
    FILE* pipe = ::popen(command.constData(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        result.output.append(buffer, static_cast<qsizetype>(n));
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class RulesCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* module : { "VtrMillRulesu.so", "VTRAssemblyRulesu.so", "VtrTestModuleu.so" })
            if (!QFile::exists(BinDir() + QLatin1Char('/') + QLatin1String(module)))
                GTEST_SKIP() << module << " is not built";
        // Two modules with product rules around one without a configurator key.
        QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n"
                                 " module1=%1/VtrMillRulesu.so\n"
                                 " module2=%1/VtrTestModuleu.so\n"
                                 " module3=%1/VTRAssemblyRulesu.so\n"
                                 " [RULE_DATABASE_MODULES]\n"
                                 " module1=%1/VtrSqliteDatabaseu.so\n")
                      .arg(BinDir())
                      .toUtf8());
    }

    ScopedTestEnv env;
};

// Module names of consecutive runs of rules, in output order.
QStringList ModuleRuns(const QJsonArray& rules)
{
    QStringList runs;
    for (const QJsonValue& v : rules) {
        const QString module = v.toObject().value(QStringLiteral("module")).toString();
        if (runs.isEmpty() || runs.last() != module)
            runs << module;
    }
    return runs;
}

TEST_F(RulesCommandTest, ListsModuleRulesEachFollowedByItsProductRules)
{
    const RunResult json = RunTool(QStringLiteral("rules --format json"));
    ASSERT_EQ(json.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.output, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString());
    ASSERT_TRUE(document.isArray());
    const QJsonArray rules = document.array();

    const QStringList runs = ModuleRuns(rules);
    ASSERT_EQ(runs.size(), 5) << qPrintable(runs.join(QLatin1String(" | ")));
    EXPECT_EQ(runs[1], QStringLiteral("Product Rules"));
    EXPECT_EQ(runs[4], QStringLiteral("Product Rules"));
    for (int i : { 0, 2, 3 })
        EXPECT_NE(runs[i], QStringLiteral("Product Rules"));

    QList<int> productIds;
    const char* const words[] = { "Medium", "Critical", "High", "Medium", "Low", "Insignificant" };
    for (const QJsonValue& v : rules) {
        const QJsonObject rule = v.toObject();
        const int severity = rule.value(QStringLiteral("severity")).toInt();
        EXPECT_EQ(rule.value(QStringLiteral("criticality")).toString(),
            QLatin1String(words[severity >= 1 && severity <= 5 ? severity : 0]));
        EXPECT_FALSE(rule.value(QStringLiteral("name")).toString().isEmpty());
        if (rule.value(QStringLiteral("module")).toString() == QLatin1String("Product Rules"))
            productIds << rule.value(QStringLiteral("helpId")).toInt();
    }
    EXPECT_EQ(productIds, (QList<int> { 900001, 900002, 900201 }));

    // The text form lists the same rules, one a line with five fields.
    const RunResult text = RunTool(QStringLiteral("rules"));
    ASSERT_EQ(text.exitCode, 0);
    const QList<QByteArray> lines = text.output.trimmed().split('\n');
    ASSERT_EQ(lines.size(), rules.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        ASSERT_EQ(fields.size(), 5) << lines[i].constData();
        const QJsonObject rule = rules[i].toObject();
        EXPECT_EQ(fields[0].toInt(), rule.value(QStringLiteral("helpId")).toInt());
        EXPECT_EQ(QString::fromUtf8(fields[1]), rule.value(QStringLiteral("name")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[2]), rule.value(QStringLiteral("category")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[3]), rule.value(QStringLiteral("module")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[4]), rule.value(QStringLiteral("criticality")).toString());
    }
}

TEST_F(RulesCommandTest, RejectsUnknownArguments)
{
    for (const char* arguments : { "rules --format xml", "rules --format", "rules --verbose" })
        EXPECT_EQ(RunTool(QString::fromUtf8(arguments)).exitCode, 2) << arguments;
    EXPECT_EQ(RunTool(QStringLiteral("rules --format=text")).exitCode, 0);
}

} // namespace
