// vtrpro-rules userrule add / list / remove, and a rule stored that way going
// through rules, new and show like any other rule.

#include "TestSupport.h"

#include "VTRDataHelper.h"
#include "custommsg/SpreadsheetHelper.h"
#include "settings/RuleUnitSettings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

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
    EXPECT_EQ(values, (QStringList { "30", "30.48", "300", "5", "28.6478897565412", "4" }));
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

const QStringList kPocket { "--flavour", "custom", "--name", "Shop Pocket Depth", "--category", "Milling", "--criticality",
    "low", "--param", "Maximum Depth;<=;length;40" };

// The rules of the rule list (rules --format json) by name.
QHash<QString, QJsonObject> ListedByName(const ToolRun& run)
{
    QHash<QString, QJsonObject> byName;
    for (const QJsonValue& v : QJsonDocument::fromJson(run.out.toUtf8()).array())
        byName.insert(v.toObject().value(QStringLiteral("name")).toString(), v.toObject());
    return byName;
}

TEST_F(UserRuleCliTest, EachStoredRuleKeepsItsOwnCustomMessageThroughASheet)
{
    ASSERT_EQ(Add(kSlot).code, 0);
    ASSERT_EQ(Add(kPocket).code, 0);
    const QStringList rulesJson { "rules", "--format", "json" };
    QHash<QString, QJsonObject> listed = ListedByName(RunTool(rulesJson));
    const QJsonObject slot = listed.value(QStringLiteral("Shop Slot Width"));
    const QJsonObject pocket = listed.value(QStringLiteral("Shop Pocket Depth"));
    const int slotId = slot.value(QStringLiteral("helpId")).toInt();
    const int pocketId = pocket.value(QStringLiteral("helpId")).toInt();
    EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(slotId)) << slotId;
    EXPECT_TRUE(vtr_db::IsStoredRuleHelpId(pocketId)) << pocketId;
    EXPECT_NE(slotId, pocketId);

    // A sheet giving each its own message stores each.
    const QString sheet = env.Path(QStringLiteral("own.xlsx"));
    ASSERT_TRUE(SpreadsheetHelper::Export(sheet,
        { { "Help ID", "Rule Name", "Rule Category", "Custom Message" },
            { QString::number(slotId), "Shop Slot Width", "Milling", "Slot message" },
            { QString::number(pocketId), "Shop Pocket Depth", "Milling", "Pocket message" } })
                    .ok);
    const ToolRun imported = RunTool({ "messages", "import", sheet });
    EXPECT_EQ(imported.code, 0) << qPrintable(imported.err) << qPrintable(imported.out);
    const auto expectOwnMessages = [&](const char* when) {
        const QHash<QString, QJsonObject> now = ListedByName(RunTool(rulesJson));
        EXPECT_EQ(now.value(QStringLiteral("Shop Slot Width")).value(QStringLiteral("customMessage")).toString(),
            QStringLiteral("Slot message"))
            << when;
        EXPECT_EQ(now.value(QStringLiteral("Shop Pocket Depth")).value(QStringLiteral("customMessage")).toString(),
            QStringLiteral("Pocket message"))
            << when;
    };
    expectOwnMessages("after importing a sheet of both");

    // Exported and imported unchanged, each message stays on its own rule.
    const QString exported = env.Path(QStringLiteral("all.xlsx"));
    const ToolRun out = RunTool({ "messages", "export", exported });
    ASSERT_EQ(out.code, 0) << qPrintable(out.err);
    const ToolRun back = RunTool({ "messages", "import", exported });
    EXPECT_EQ(back.code, 0) << qPrintable(back.err) << qPrintable(back.out);
    expectOwnMessages("after an export imported unchanged");
    // The ids are the database's: a later run lists the same.
    listed = ListedByName(RunTool(rulesJson));
    EXPECT_EQ(listed.value(QStringLiteral("Shop Slot Width")).value(QStringLiteral("helpId")).toInt(), slotId);
}

TEST_F(UserRuleCliTest, TwoCopiesAddingOneNameStoreOneRule)
{
    const QString tool = BinDir() + QStringLiteral("/vtrpro-rules");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // The second spells the name in capitals from round 1 on.
        QStringList second = kSlot;
        if (round > 0)
            second[3] = second[3].toUpper();
        QProcess a;
        QProcess b;
        a.start(tool, QStringList { "userrule", "add" } + kSlot);
        b.start(tool, QStringList { "userrule", "add" } + second);
        ASSERT_TRUE(a.waitForFinished(300000));
        ASSERT_TRUE(b.waitForFinished(300000));
        QList<int> codes { a.exitCode(), b.exitCode() };
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(codes, (QList<int> { 0, 2 }));
        const QString refusal = QString::fromUtf8((a.exitCode() == 2 ? a : b).readAllStandardError());
        // Refused by the name check when the other was stored before it
        // looked, by the database's key when both looked first.
        EXPECT_TRUE(refusal.contains(QStringLiteral("name taken")) || refusal.contains(QStringLiteral("already has a rule")))
            << qPrintable(refusal);
        EXPECT_EQ(List().size(), 1);
        ASSERT_EQ(RunTool({ "userrule", "remove", "--name", "Shop Slot Width", "--category", "Milling" }).code, 0);
    }
}

} // namespace
