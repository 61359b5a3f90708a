// vtrpro-rules userrule add / list / remove, and a rule stored that way going
// through rules, new and show like any other rule.

#include "TestSupport.h"

#include "settings/RuleUnitSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class UserRuleCliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* library : { "VtrMillRulesu.so", "VtrSqliteDatabaseu.so", "PLQRuleConfiguratoru.so" })
            if (!QFile::exists(BinDir() + QLatin1Char('/') + QLatin1String(library)))
                GTEST_SKIP() << library << " is not built";
        ASSERT_TRUE(QDir().mkpath(env.DataSettings()));
        QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n module1=%1/VtrMillRulesu.so\n"
                                 " [RULE_DATABASE_MODULES]\n module1=%1/VtrSqliteDatabaseu.so\n")
                      .arg(BinDir())
                      .toUtf8());
    }

    static ToolRun Add(const QStringList& more)
    {
        return RunTool(QStringList { QStringLiteral("userrule"), QStringLiteral("add") } + more);
    }

    static QJsonArray List()
    {
        const ToolRun run = RunTool(
            { QStringLiteral("userrule"), QStringLiteral("list"), QStringLiteral("--format"), QStringLiteral("json") });
        EXPECT_EQ(run.code, 0) << qPrintable(run.err);
        return QJsonDocument::fromJson(run.out.toUtf8()).array();
    }

    ScopedTestEnv env;
};

const QStringList kSlot { "--flavour", "custom", "--name", "Shop Slot Width", "--category", "milling", "--criticality",
    "high", "--summary", "Slots take the shop's cutters.", "--param", "Minimum Width;>=;length;0.25", "--param",
    "Deburr;=;boolean;yes" };

TEST_F(UserRuleCliTest, AnAddedRuleIsListedWrittenAndReadBack)
{
    SaveDefaultRuleUnits({ 3, 0 }); // values are entered in inches
    const ToolRun added = Add(kSlot);
    ASSERT_EQ(added.code, 0) << qPrintable(added.err);

    const QJsonArray stored = List();
    ASSERT_EQ(stored.size(), 1);
    const QJsonObject rule = stored[0].toObject();
    EXPECT_EQ(rule.value(QStringLiteral("name")).toString(), QStringLiteral("Shop Slot Width"));
    EXPECT_EQ(rule.value(QStringLiteral("category")).toString(), QStringLiteral("Milling"));
    EXPECT_EQ(rule.value(QStringLiteral("key")).toString(), QStringLiteral("Mill"));
    EXPECT_EQ(rule.value(QStringLiteral("module")).toString(), QStringLiteral("Custom Rules"));
    EXPECT_EQ(rule.value(QStringLiteral("criticality")).toString(), QStringLiteral("High"));
    const QJsonArray parameters = rule.value(QStringLiteral("parameters")).toArray();
    ASSERT_EQ(parameters.size(), 2);
    EXPECT_EQ(parameters[0].toObject().value(QStringLiteral("value")).toString(), QStringLiteral("6.35"));
    EXPECT_EQ(parameters[1].toObject().value(QStringLiteral("value")).toString(), QStringLiteral("1"));

    const ToolRun rules = RunTool({ QStringLiteral("rules") });
    ASSERT_EQ(rules.code, 0);
    EXPECT_TRUE(rules.out.contains(QStringLiteral("Shop Slot Width\tMilling\tCustom Rules\tHigh")))
        << qPrintable(rules.out);

    // Written in millimetres, then converted to inches by units: the value comes back.
    const QString file = env.Path(QStringLiteral("shop.vtr"));
    const ToolRun written = RunTool({ QStringLiteral("new"), file, QStringLiteral("--rule"),
        QStringLiteral("shop slot width"), QStringLiteral("--category"), QStringLiteral("Milling") });
    ASSERT_EQ(written.code, 0) << qPrintable(written.err);
    ASSERT_EQ(RunTool({ QStringLiteral("units"), file, QStringLiteral("3,0") }).code, 0);
    const ToolRun shown = RunTool({ QStringLiteral("show"), file, QStringLiteral("--format"), QStringLiteral("json") });
    ASSERT_EQ(shown.code, 0) << qPrintable(shown.err);
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Shop Slot Width"))) << qPrintable(shown.out);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(saved.readAll());
    EXPECT_TRUE(xml.contains(QStringLiteral("Severity=\"2\""))) << qPrintable(xml);
    EXPECT_TRUE(xml.contains(QStringLiteral("<Value>0.25</Value>"))) << qPrintable(xml);
    const qsizetype deburr = xml.indexOf(QStringLiteral("Name=\"Deburr\""));
    ASSERT_GE(deburr, 0) << qPrintable(xml);
    const QString boolean = xml.mid(deburr, xml.indexOf(QStringLiteral("</Parameter>"), deburr) - deburr);
    EXPECT_TRUE(boolean.contains(QStringLiteral("<ParameterType>Boolean</ParameterType>"))) << qPrintable(boolean);
    EXPECT_TRUE(boolean.contains(QStringLiteral("<Value>1</Value>"))) << qPrintable(boolean);
}

TEST_F(UserRuleCliTest, RefusalsStoreNothing)
{
    ASSERT_EQ(Add(kSlot).code, 0);
    struct Case
    {
        const char* what;
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        { "a taken name in another case",
            { "--flavour", "custom", "--name", "SHOP SLOT WIDTH", "--category", "Drilling", "--criticality", "Low",
                "--param", "Width;>=;length;1" },
            "already has a rule named" },
        { "a shipped product rule's name",
            { "--flavour", "product", "--name", "Product - Maximum Pocket Depth", "--category", "Milling",
                "--criticality", "Low", "--param", "Depth;<=;length;1" },
            "Product Rules already has" },
        { "a word for a length",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Width;>=;length;wide" },
            "needs a number" },
        { "a key the category is not of",
            { "--flavour", "product", "--name", "Rib", "--category", "Milling", "--module", "Turn", "--criticality",
                "Low", "--param", "Width;>=;length;1" },
            "does not belong" },
        { "an unknown flavour",
            { "--flavour", "shop", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Width;>=;length;1" },
            "--flavour" },
        { "an unknown criticality",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Severe", "--param",
                "Width;>=;length;1" },
            "--criticality" },
        { "an order on a yes/no value",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Deburr;>=;boolean;1" },
            "takes only =" },
        { "an angle unit on a length",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Width;>=;length;5 deg" },
            "\"deg\" is not a unit of lengths" },
        { "an unknown unit",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Width;>=;length;5 furlongs" },
            "\"furlongs\" is not a unit" },
        { "a unit on a plain number",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Count;>=;number;5 mm" },
            "needs a number, not \"5 mm\"" },
        { "a parameter without a value",
            { "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low", "--param",
                "Width;>=;length" },
            "NAME;OPERATOR;TYPE;VALUE" },
    };
    for (const Case& c : cases) {
        const ToolRun run = Add(c.args);
        EXPECT_EQ(run.code, 2) << c.what;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << c.what << ": " << qPrintable(run.err);
    }
    EXPECT_EQ(List().size(), 1);
}

TEST_F(UserRuleCliTest, ValuesMayCarryTheirUnitAndBareNumbersSayWhichUnitsTheyWereReadIn)
{
    SaveDefaultRuleUnits({ 1, 3 }); // the window last chose centimetres and radians
    const ToolRun added = Add({ "--flavour", "custom", "--name", "Rib", "--category", "Milling", "--criticality", "Low",
        "--param", "With mm;>=;length;30 mm", "--param", "With in;>=;length;1.2 in", "--param",
        "Bare length;>=;length;30", "--param", "With deg;<=;angle;5 deg", "--param", "Bare angle;<=;angle;0.5",
        "--param", "Count;>=;number;4" });
    ASSERT_EQ(added.code, 0) << qPrintable(added.err);
    // Only the bare lengths and angles are named, with the units they were read in.
    EXPECT_TRUE(added.out.contains(QStringLiteral("\"Bare length\" 30 has no unit: read in centimeters (cm)")))
        << qPrintable(added.out);
    EXPECT_TRUE(added.out.contains(QStringLiteral("\"Bare angle\" 0.5 has no unit: read in radians (rad)")))
        << qPrintable(added.out);
    for (const char* named : { "With mm", "With in", "With deg", "Count" })
        EXPECT_FALSE(added.out.contains(QString::fromUtf8(named))) << named << ": " << qPrintable(added.out);

    const QJsonArray stored = List();
    ASSERT_EQ(stored.size(), 1);
    QStringList values;
    for (const QJsonValue& p : stored[0].toObject().value(QStringLiteral("parameters")).toArray())
        values << p.toObject().value(QStringLiteral("value")).toString();
    // Millimetres and degrees, as stored.
    EXPECT_EQ(values, (QStringList { "30", "30.48", "300", "5", "28.6478897565", "4" }));
}

TEST_F(UserRuleCliTest, RemoveTakesTheRuleAwayOnce)
{
    ASSERT_EQ(Add(kSlot).code, 0);
    const QStringList remove { "userrule", "remove", "--name", "shop slot width", "--category", "MILLING" };
    const ToolRun first = RunTool(remove);
    EXPECT_EQ(first.code, 0) << qPrintable(first.err);
    EXPECT_TRUE(List().isEmpty());
    const ToolRun second = RunTool(remove);
    EXPECT_EQ(second.code, 2);
    EXPECT_TRUE(second.err.contains(QStringLiteral("no stored custom or product rule"))) << qPrintable(second.err);
    EXPECT_EQ(RunTool({ "userrule", "remove", "--name", "x" }).code, 2);
    EXPECT_EQ(RunTool({ "userrule" }).code, 2);
}

} // namespace
