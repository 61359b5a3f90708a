// The tool's subcommands and options as declared, against what the bash
// completion offers and the manual describes: a declaration added without
// them fails here.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

namespace {

QString Source(const char* path)
{
    QFile f(QStringLiteral(VTRPRO_TEST_DATA_DIR "/../../") + QLatin1String(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(f.readAll());
}

TEST(Declarations, CompletionAndManualKnowEverySubcommandAndOption)
{
    const ToolRun r = RunTool({ "--list-declarations" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 15);

    const QString completion = Source("packaging/completion/vtrpro-rules");
    QString manual = Source("docs/man/vtrpro-rules.1");
    manual.remove(QLatin1Char('"')); // .BR "userrule list" names it as .BR userrule list does
    static const QRegularExpression commandList(QStringLiteral("local commands=\"([^\"]*)\""));
    const QStringList completed = commandList.match(completion).captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);

    for (const QString& line : lines) {
        SCOPED_TRACE(qPrintable(line));
        QStringList words = line.split(QLatin1Char(' '));
        QStringList path;
        while (!words.isEmpty() && !words.first().startsWith(QLatin1String("--")))
            path << words.takeFirst();
        ASSERT_FALSE(path.isEmpty());
        EXPECT_TRUE(completed.contains(path.first())) << "the completion does not offer " << qPrintable(path.first());
        // Subcommands of a subcommand are offered by name, and the manual
        // names every (sub)command in bold, whole or word by word.
        for (const QString& word : path)
            EXPECT_TRUE(completion.contains(word)) << "the completion does not know " << qPrintable(word);
        const QString whole = path.join(QLatin1Char(' '));
        bool named = false;
        for (const QString& bold : { QStringLiteral(".BI "), QStringLiteral(".BR "), QStringLiteral(".B "),
                 QStringLiteral("\\fB") })
            named = named || manual.contains(bold + whole) || manual.contains(bold + path.last());
        EXPECT_TRUE(named) << "the manual does not name " << qPrintable(whole);
        for (const QString& option : words) {
            EXPECT_TRUE(completion.contains(option)) << "the completion does not offer " << qPrintable(option);
            QString escaped = option;
            escaped.replace(QLatin1String("-"), QLatin1String("\\-"));
            EXPECT_TRUE(manual.contains(escaped)) << "the manual does not describe " << qPrintable(option);
        }
    }
}

TEST(Declarations, EveryUsageErrorIsWordedAndEndedAlike)
{
    ScopedTestEnv env;
    const struct
    {
        QStringList args;
        const char* says;
    } cases[] = {
        { { "new" }, "vtrpro-rules new: FILE is required" },
        { { "units", "a.vtr", "3,3", "--colour" }, "vtrpro-rules units: unknown option or argument: --colour" },
        { { "show", "a.vtr", "--format", "xml" }, "vtrpro-rules show: --format" },
        { { "userrule", "add", "--flavour", "other" }, "vtrpro-rules userrule add: --flavour" },
        { { "modules", "add" }, "vtrpro-rules modules add: PATH is required" },
        { { "diff", "a.vtr", "--category", "Drilling" }, "vtrpro-rules diff: --category follows the --rule" },
        { { "nonsense" }, "vtrpro-rules: unknown command \"nonsense\"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.args.join(QLatin1Char(' '))));
        const ToolRun r = RunTool(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith(QLatin1String(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("--help\""))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // Help is asked for, not an error.
    for (const QStringList& args : { QStringList { "--help" }, QStringList { "configure", "--help" },
             QStringList { "userrule", "add", "--help" } }) {
        const ToolRun r = RunTool(args);
        EXPECT_EQ(r.code, 0) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.out.contains(QLatin1String("Usage: vtrpro-rules"))) << r.out.toStdString();
    }
}

} // namespace
