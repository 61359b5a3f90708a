// vtrpro-rules messages export / import, and the custom message in
// rules --format json.

#include "TestSupport.h"

#include "custommsg/SpreadsheetHelper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

class MessagesCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(env.Path(QStringLiteral("tmp")));
        env.Set("TMPDIR", env.Path(QStringLiteral("tmp")));
    }
    ToolRun Run(const QStringList& args) { return RunTool(args, env.DataSettings()); }
    QJsonArray Rules()
    {
        const ToolRun run = Run({ QStringLiteral("rules"), QStringLiteral("--format"), QStringLiteral("json") });
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).array();
    }
    QString Sheet(const QString& name, const QList<QStringList>& rows)
    {
        const QString path = env.Path(name);
        const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
        EXPECT_TRUE(written.ok) << written.error.toStdString();
        return path;
    }
    static QStringList Row(const QJsonObject& rule, const QString& message)
    {
        return { QString::number(rule[QStringLiteral("helpId")].toInt()), rule[QStringLiteral("name")].toString(),
            rule[QStringLiteral("category")].toString(), message };
    }
    const QStringList kHeader { "Help ID", "Rule Name", "Rule Category", "Custom Message" };

    ScopedTestEnv env;
};

} // namespace

TEST_F(MessagesCommandTest, ExportWritesEveryOfferedRuleInListOrder)
{
    const QJsonArray rules = Rules();
    ASSERT_GT(rules.size(), 10);
    const QString path = env.Path(QStringLiteral("all.xlsx"));
    const ToolRun run = Run({ QStringLiteral("messages"), QStringLiteral("export"), path });
    ASSERT_EQ(run.code, 0) << run.err.toStdString();

    QList<QStringList> table;
    ASSERT_TRUE(SpreadsheetHelper::Read(path, table).ok);
    ASSERT_EQ(table.size(), 4);
    ASSERT_EQ(table[0].size(), rules.size() + 1);
    EXPECT_EQ(table[0][0], QStringLiteral("Help ID"));
    for (int i = 0; i < rules.size(); ++i) {
        const QJsonObject rule = rules[i].toObject();
        ASSERT_EQ(table[0][i + 1], QString::number(rule[QStringLiteral("helpId")].toInt())) << i;
        ASSERT_EQ(table[1][i + 1], rule[QStringLiteral("displayName")].toString()) << i;
        ASSERT_EQ(table[2][i + 1], rule[QStringLiteral("category")].toString()) << i;
    }

    // The ".xls" way (LibreOffice converts) holds the same cells.
    const QString xls = env.Path(QStringLiteral("all.xls"));
    const ToolRun old = Run({ QStringLiteral("messages"), QStringLiteral("export"), xls });
    ASSERT_EQ(old.code, 0) << old.err.toStdString();
    QList<QStringList> again;
    const SpreadsheetOutcome read = SpreadsheetHelper::Read(xls, again);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(again, table);
}

TEST_F(MessagesCommandTest, ImportStoresAndRulesShowsTheMessage)
{
    const QJsonObject rule = Rules().first().toObject();
    const QString sheet = Sheet(QStringLiteral("one.xlsx"), { kHeader, Row(rule, QStringLiteral("Deburr all edges")) });
    const ToolRun run = Run({ QStringLiteral("messages"), QStringLiteral("import"), sheet });
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Custom Message gets added in to centralized VTRPro database.")));
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();

    const QJsonObject after = Rules().first().toObject();
    EXPECT_EQ(after[QStringLiteral("customMessage")].toString(), QStringLiteral("Deburr all edges"));
    EXPECT_EQ(Rules()[1].toObject()[QStringLiteral("customMessage")].toString(), QString());

    // The same file exported again carries the message.
    const QString out = env.Path(QStringLiteral("again.xlsx"));
    ASSERT_EQ(Run({ QStringLiteral("messages"), QStringLiteral("export"), out }).code, 0);
    QList<QStringList> table;
    ASSERT_TRUE(SpreadsheetHelper::Read(out, table).ok);
    EXPECT_EQ(table[3].value(1), QStringLiteral("Deburr all edges"));
}

TEST_F(MessagesCommandTest, ARowSpelledOtherwiseIsStoredForItsRuleAndManualChecksAreRefused)
{
    const QJsonArray rules = Rules();
    const QJsonObject rule = rules.first().toObject();
    QJsonObject manual;
    for (const QJsonValue& r : rules)
        if (r.toObject()[QStringLiteral("module")].toString() == QLatin1String("Manual Check Rules"))
            manual = r.toObject();
    ASSERT_FALSE(manual.isEmpty()) << "no manual-check rule is offered";

    // The rule's name and category in other letter case with spaces around.
    QStringList spelled = Row(rule, QStringLiteral("Deburr all edges"));
    spelled[1] = QStringLiteral("  ") + spelled[1].toUpper() + QStringLiteral(" ");
    spelled[2] = spelled[2].toLower() + QStringLiteral("  ");
    const QString sheet = Sheet(QStringLiteral("spelled.xlsx"),
        { kHeader, spelled, Row(manual, QStringLiteral("Not for manual checks")) });
    const ToolRun run = Run({ QStringLiteral("messages"), QStringLiteral("import"), sheet });
    EXPECT_EQ(run.code, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("\n\nCustom Message is not supported for Manual Check Rule.\n")
        + Row(manual, QString())[0] + QStringLiteral("\t : ") + manual[QStringLiteral("name")].toString()))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("Rows not imported: 1 of 2\n"))) << run.out.toStdString();

    // The list looks messages up by the rule's own name and category.
    const QJsonArray after = Rules();
    EXPECT_EQ(after.first().toObject()[QStringLiteral("customMessage")].toString(), QStringLiteral("Deburr all edges"));
    const QString manualName = manual[QStringLiteral("name")].toString();
    for (const QJsonValue& r : after) {
        if (r.toObject()[QStringLiteral("name")].toString() == manualName) {
            EXPECT_EQ(r.toObject()[QStringLiteral("customMessage")].toString(), QString());
        }
    }
}

TEST_F(MessagesCommandTest, ARowAtTheLastRowOfASheetIsOneRow)
{
    // A 1.6 KB sheet whose one data row is row 1,048,576: one line in the
    // log, not a million empty ones.
    const ToolRun run = Run({ QStringLiteral("messages"), QStringLiteral("import"), TestData("spreadsheet/last-row.xlsx") });
    EXPECT_EQ(run.code, 1) << run.err.toStdString();
    EXPECT_EQ(run.out,
        QStringLiteral("\n\nWrong And Missing Help ID List\n999999\t : Far Down\n\n\nRows not imported: 1 of 1\n"));
}

TEST_F(MessagesCommandTest, ExitCodesSayWhatTheImportFound)
{
    const QJsonObject rule = Rules().first().toObject();
    const QString longMessage(257, QLatin1Char('m'));
    const struct
    {
        const char* what;
        QString path;
        int code;
        const char* out; // part of standard output
    } cases[] = {
        { "flagged", Sheet("flag.xlsx", { kHeader, Row(rule, "a"), Row(rule, "b"), Row(rule, longMessage) }), 1,
            "Duplicate Help ID List\n" },
        { "bad header", Sheet("header.xlsx", { { "Id", "Rule Name", "Rule Category", "Custom Message" } }), 2, "" },
        { "counts", Sheet("counts.xlsx", { kHeader, { "1", "", "x", "y" } }), 2, "" },
        { "missing file", env.Path("missing.xlsx"), 2, "" },
        { "not a zip", TestData("spreadsheet/not-a-zip.xlsx"), 2, "" },
    };
    for (const auto& c : cases) {
        const ToolRun run = Run({ QStringLiteral("messages"), QStringLiteral("import"), c.path });
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(c.out))) << c.what << ": " << run.out.toStdString();
        if (c.code == 2)
            EXPECT_FALSE(run.err.isEmpty()) << c.what;
    }
    // Only the flagged sheet stored, and its first row won, cut messages or not.
    EXPECT_EQ(Rules().first().toObject()[QStringLiteral("customMessage")].toString(), QStringLiteral("a"));
}

TEST_F(MessagesCommandTest, RefusedArgumentsAndNames)
{
    const struct
    {
        QStringList args;
    } cases[] = {
        { { "messages" } },
        { { "messages", "export" } },
        { { "messages", "send", env.Path("x.xlsx") } },
        { { "messages", "export", env.Path("x.txt") } },
        { { "messages", "export", env.Path("x.xlsx"), "extra" } },
    };
    for (const auto& c : cases) {
        const ToolRun run = Run(c.args);
        EXPECT_EQ(run.code, 2) << c.args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(env.Path("x.txt")));
    EXPECT_TRUE(Run({ "messages", "export", env.Path("x.txt") }).err.contains(QStringLiteral("Wrong file selection.")));
}
