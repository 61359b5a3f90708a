// vtrpro-rules configure: a rule's parameters and criticality set from the
// command line, saved through the document, refused with the file untouched.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

class ConfigureCommandTest : public ::testing::Test
{
protected:
    using Result = ToolRun;
    static Result Run(const QStringList& args) { return RunTool(args); }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The text of one rule's element in a file.
    static QString RuleElement(const QString& path, const QString& name)
    {
        const QString text = QString::fromUtf8(Read(path));
        const qsizetype at = text.indexOf(QStringLiteral("<Rule Name=\"") + name + QLatin1Char('"'));
        if (at < 0)
            return {};
        return text.mid(at, text.indexOf(QStringLiteral("</Rule>"), at) - at);
    }
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(BinDir() + QStringLiteral("/vtrpro-rules")));
        m_file = m_env.Path(QStringLiteral("inches.vtr"));
        const Result r = Run({ "new", m_file, "--rule", "SM - Minimum Hole Diameter", "--units", "3,0" });
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }

    ScopedTestEnv m_env;
    QString m_file;
};

TEST_F(ConfigureCommandTest, ValuesAreTakenInTheFilesUnitsAndSaved)
{
    const Result r = Run({ "configure", m_file, "--rule", "sm - minimum hole diameter", "--category", "SHEET METAL",
        "--set", "MINIMUM HOLE DIAMETER=0.125", "--set", "Hole diameter to thickness ratio= 1.25", "--criticality",
        "critical" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Minimum hole diameter = 0.125 inches"))) << r.out.toStdString();
    const QString rule = RuleElement(m_file, QStringLiteral("SM - Minimum Hole Diameter"));
    EXPECT_TRUE(rule.contains(QStringLiteral("LinearUnit=\"3\""))) << rule.toStdString();
    EXPECT_TRUE(rule.contains(QStringLiteral("Severity=\"1\"")));
    EXPECT_TRUE(rule.contains(QRegularExpression(
        QStringLiteral("Minimum hole diameter.*<Value>0.125</Value>"), QRegularExpression::DotMatchesEverythingOption)))
        << rule.toStdString();
    EXPECT_TRUE(rule.contains(QStringLiteral("<Value>1.25</Value>")));
    const Result show = Run({ "show", m_file });
    EXPECT_EQ(show.code, 0) << show.err.toStdString();
}

TEST_F(ConfigureCommandTest, RefusalsLeaveTheFileByteForByteAsItWas)
{
    const QString protectedFile = m_env.Path(QStringLiteral("protected.vtr"));
    ASSERT_EQ(Run({ "new", protectedFile, "--rule", "SM - Minimum Hole Diameter", "--password", "Secret" }).code, 0);
    const struct
    {
        const char* what;
        bool useProtected;
        QStringList args;
        const char* message;
    } cases[] = {
        { "unknown rule", false, { "--rule", "No Such Rule", "--set", "x=1" }, "no rule named \"No Such Rule\"" },
        { "unknown category", false,
            { "--rule", "SM - Minimum Hole Diameter", "--category", "Milling", "--criticality", "High" },
            "in category \"Milling\"" },
        { "rule not in the file", false, { "--rule", "SM - Minimum Flange Width", "--criticality", "High" },
            "add it with select first" },
        { "unknown parameter", false, { "--rule", "SM - Minimum Hole Diameter", "--set", "Colour=1" },
            "no parameter named \"Colour\"" },
        { "not a number", false, { "--rule", "SM - Minimum Hole Diameter", "--set", "Minimum hole diameter=big" },
            "needs a number, not \"big\"" },
        { "no value", false, { "--rule", "SM - Minimum Hole Diameter", "--set", "Minimum hole diameter" },
            "PARAMETER=VALUE" },
        { "unknown criticality", false, { "--rule", "SM - Minimum Hole Diameter", "--criticality", "urgent" },
            "\"urgent\" is not a criticality" },
        { "nothing to change", false, { "--rule", "SM - Minimum Hole Diameter" }, "nothing to change" },
        { "no password", true, { "--rule", "SM - Minimum Hole Diameter", "--criticality", "High" }, "give --password" },
        { "wrong password", true,
            { "--rule", "SM - Minimum Hole Diameter", "--criticality", "High", "--password", "secret" },
            "Wrong Password" },
    };
    for (const auto& c : cases) {
        const QString file = c.useProtected ? protectedFile : m_file;
        const QByteArray before = Read(file);
        const Result r = Run(QStringList { "configure", file } + c.args);
        EXPECT_EQ(r.code, 2) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << c.what << ": " << r.err.toStdString();
        EXPECT_EQ(Read(file), before) << c.what;
    }

    const Result ok = Run({ "configure", protectedFile, "--rule", "SM - Minimum Hole Diameter", "--criticality", "Low",
        "--password", "Secret" });
    EXPECT_EQ(ok.code, 0) << ok.err.toStdString();
    EXPECT_TRUE(RuleElement(protectedFile, QStringLiteral("SM - Minimum Hole Diameter"))
                    .contains(QStringLiteral("Severity=\"4\"")));
    const Result verify = Run({ "verify", protectedFile });
    EXPECT_EQ(verify.code, 0) << verify.out.toStdString() << verify.err.toStdString();
}

} // namespace
