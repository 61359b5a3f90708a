// The new, show and verify commands of vtrpro-rules, run against the real modules.

#include "HostileFiles.h"
#include "TestSupport.h"
#include "document/RulePassword.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
void WriteFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(RuleFileCommands, NewWritesWhatASaveWritesAndVerifyCatchesEdits)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("made.vtr"));
    const ToolRun made = RunTool({ QStringLiteral("new"), path, QStringLiteral("--rule"),
        QStringLiteral("flat bottom hole"), QStringLiteral("--rule"), QStringLiteral("Minimum Slot Width"),
        QStringLiteral("--category"), QStringLiteral("Sheet Metal"), QStringLiteral("--units"), QStringLiteral("3,0"),
        QStringLiteral("--password"), QStringLiteral("abc") });
    ASSERT_EQ(made.code, 0) << made.err.toStdString();

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.toLocal8Bit().constData()));
    const pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.name(), "VTRExpress");
    std::vector<std::string> names;
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
        names.push_back(a.name());
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "Name", "Createdby", "CreatedOn", "Unit", "AngularUnit", "Version", "Password", "RulesData" }));
    EXPECT_EQ(QString::fromUtf8(root.attribute("Name").value()), QFileInfo(path).absoluteFilePath());
    EXPECT_STRNE(root.attribute("Createdby").value(), "");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                    .match(QString::fromUtf8(root.attribute("CreatedOn").value()))
                    .hasMatch());
    EXPECT_STREQ(root.attribute("Unit").value(), "3");
    EXPECT_STREQ(root.attribute("AngularUnit").value(), "0");
    EXPECT_STREQ(root.attribute("Version").value(), "v3.4");
    const QString expectedPassword
        = QString(QChar(0x5159)) + QChar(0x6942) + QChar(0x4741) + QChar(0x414D) + QChar(0x4141) + QChar(0x3D41);
    EXPECT_EQ(QString::fromUtf8(root.attribute("Password").value()), expectedPassword);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$"))
                    .match(QString::fromUtf8(root.attribute("RulesData").value()))
                    .hasMatch());
    std::vector<std::string> rules;
    for (pugi::xml_node rule = root.child("Rule"); rule; rule = rule.next_sibling("Rule")) {
        rules.push_back(std::string(rule.attribute("Name").value()) + "|" + rule.attribute("RuleCategory").value());
        EXPECT_STREQ(rule.attribute("Selected").value(), "1");
        EXPECT_STREQ(rule.attribute("LinearUnit").value(), "3");
    }
    EXPECT_EQ(rules, (std::vector<std::string> { "Flat Bottom Hole|Drilling", "Minimum Slot Width|Sheet Metal" }));

    const ToolRun verified = RunTool({ QStringLiteral("verify"), path });
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_EQ(verified.out.count(QLatin1Char('\n')), 1);

    // One attribute of one rule changed by hand.
    QByteArray text = ReadFile(path);
    const qsizetype at = text.indexOf("Severity=\"");
    ASSERT_GE(at, 0);
    text[at + 10] = text[at + 10] == '1' ? '2' : '1';
    WriteFile(path, text);
    const ToolRun modified = RunTool({ QStringLiteral("verify"), path });
    EXPECT_EQ(modified.code, 3);
    EXPECT_EQ(modified.out.count(QLatin1Char('\n')), 1);

    // The file still opens, with the warning.
    const ToolRun shown = RunTool({ QStringLiteral("show"), path });
    EXPECT_EQ(shown.code, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.err.contains(QStringLiteral("Rule File is modifed..."))) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Protected: yes")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Version: v3.4")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Units: 3 (inches), 0 (degrees)")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\n1\tFlat Bottom Hole\tDrilling\tPrismatic Mill Rules\n")))
        << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\n2\tMinimum Slot Width\tSheet Metal\t")))
        << shown.out.toStdString();
}

TEST(RuleFileCommands, ShowOfAnUnprotectedFileInDefaultUnits)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("plain.vtr"));
    ASSERT_EQ(
        RunTool({ QStringLiteral("new"), path, QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole") }).code, 0);
    const ToolRun shown = RunTool({ QStringLiteral("show"), path });
    EXPECT_EQ(shown.code, 0);
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Protected: no")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Units: 0 (millimeters), 0 (degrees)")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Rules: 1\n1\tFlat Bottom Hole\t"))) << shown.out.toStdString();
    EXPECT_TRUE(shown.err.isEmpty()) << shown.err.toStdString();
    EXPECT_EQ(RunTool({ QStringLiteral("verify"), path }).code, 0);
}

TEST(RuleFileCommands, ShowListsRulesThatNoLoadedModuleOffers)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("colleague.vtr"));
    ASSERT_EQ(
        RunTool({ QStringLiteral("new"), path, QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole") }).code, 0);
    // A colleague's file: two more rules of modules that are not registered here.
    QByteArray text = ReadFile(path);
    const qsizetype end = text.lastIndexOf("</VTRExpress>");
    ASSERT_GT(end, 0);
    text.insert(end,
        "<Rule Name=\"GR - Old Rule\" RuleCategory=\"General\" RuleModule=\"Gone Rules\" Selected=\"1\"/>\n"
        "<Rule Name=\"XR - Other Rule\" RuleCategory=\"Milling\" RuleModule=\"Other Rules\" Selected=\"1\"/>\n");
    WriteFile(path, text);

    const ToolRun shown = RunTool({ QStringLiteral("show"), path });
    EXPECT_EQ(shown.code, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Rules: 1\n1\tFlat Bottom Hole\t"))) << shown.out.toStdString();
    EXPECT_TRUE(
        shown.out.endsWith(QStringLiteral("Not offered by any loaded module: 2\n"
                                          "-\tGR - Old Rule\tGeneral\tGone Rules\tnot offered by any loaded module\n"
                                          "-\tXR - Other Rule\tMilling\tOther Rules\tnot offered by any loaded "
                                          "module\n")))
        << shown.out.toStdString();
    // Showing changes nothing.
    EXPECT_EQ(ReadFile(path), text);
}

TEST(RuleFileCommands, VerifyExitCodes)
{
    ScopedTestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("folder.vtr")));
    const struct
    {
        const char* name;
        QByteArray text; // null: do not write
        int code;
    } cases[] = {
        { "plain.vtr", "<VTRExpress Version=\"v3.4\"><Rule Name=\"a\"/></VTRExpress>", 0 },
        { "password-only.vtr", "<VTRExpress Password=\"x\"><Rule Name=\"a\"/></VTRExpress>", 0 },
        { "wrong-print.vtr",
            "<VTRExpress Password=\"x\" RulesData=\"00000000000000000000000000000000\"><Rule Name=\"a\"/></VTRExpress>",
            3 },
        { "broken.vtr", "<VTRExpress><Rule></VTRExpress>", 2 },
        { "empty.vtr", QByteArray(""), 2 },
        { "other-root.vtr", "<Rules Password=\"x\" RulesData=\"y\"/>", 2 },
        { "folder.vtr", QByteArray(), 2 },
        { "missing.vtr", QByteArray(), 2 },
    };
    for (const auto& c : cases) {
        const QString path = env.Path(QString::fromLatin1(c.name));
        if (!c.text.isNull())
            WriteFile(path, c.text);
        const ToolRun run = RunTool({ QStringLiteral("verify"), path });
        EXPECT_EQ(run.code, c.code) << c.name;
        EXPECT_EQ((run.out + run.err).count(QLatin1Char('\n')), 1) << c.name;
    }
}

TEST(RuleFileCommands, HostileFilesAreRefusedWithExitCode2)
{
    ScopedTestEnv env;
    const QString deep = env.Path(QStringLiteral("deep.vtr"));
    WriteFile(deep, DeeplyNestedRuleFile(60000));
    const QString fifo = env.Path(QStringLiteral("fifo.vtr"));
    ASSERT_TRUE(MakeFifo(fifo));
    const struct
    {
        const char* command;
        QString path;
        const char* says;
    } cases[] = {
        { "show", deep, "not a readable rule file" },
        { "verify", deep, "nested deeper than" },
        { "select", deep, "nested deeper than" },
        { "show", fifo, "not a regular file" },
        { "verify", fifo, "not a regular file" },
        { "select", fifo, "not a regular file" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.path.toStdString());
        QStringList args { QString::fromLatin1(c.command), c.path };
        if (QByteArray(c.command) == "select")
            args << QStringLiteral("--rule") << QStringLiteral("SM - Minimum Hole Diameter");
        FifoWatchdog watchdog(fifo);
        const ToolRun run = RunTool(args);
        EXPECT_FALSE(watchdog.Finish()) << "the FIFO was opened for reading";
        EXPECT_EQ(run.code, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
    }
    EXPECT_EQ(ReadFile(deep), DeeplyNestedRuleFile(60000));
}

TEST(RuleFileCommands, NewRefusesBadRequestsWithoutWriting)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("never.vtr"));
    const QStringList cases[] = {
        { QStringLiteral("--rule"), QStringLiteral("Minimum Slot Width") }, // in two categories
        { QStringLiteral("--rule"), QStringLiteral("No Such Rule") },
        { QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole"), QStringLiteral("--category"),
            QStringLiteral("Sheet Metal") },
        { QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole"), QStringLiteral("--units"),
            QStringLiteral("11,0") },
        { QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole"), QStringLiteral("--units"),
            QStringLiteral("a,b") },
        { QStringLiteral("--rule"), QStringLiteral("Flat Bottom Hole"), QStringLiteral("--password"),
            QString(191, QLatin1Char('p')) },
        { QStringLiteral("--rule") },
        {},
    };
    for (const QStringList& options : cases) {
        const ToolRun run = RunTool(QStringList { QStringLiteral("new"), path } + options);
        EXPECT_EQ(run.code, 2) << options.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_FALSE(QFile::exists(path));
    }
}
