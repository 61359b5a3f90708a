// Values the tool must refuse (negative sizes, values some unit cannot
// hold, conversions that overflow) and conversions that must come back to
// the texts they started from.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

class ValueChecksCommandTest : public ::testing::Test
{
protected:
    using Result = ToolRun;
    static Result Run(const QStringList& args) { return RunTool(args); }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A new file with a length, an area and an angle rule in the given units.
    QString NewFile(const QString& name, const QString& units)
    {
        const QString path = m_env.Path(name);
        const Result r = Run({ "new", path, "--rule", "SM - Minimum Hole Diameter", "--rule", "Minimum Face Area",
            "--rule", "Minimum Draft Angle", "--category", "Casting", "--units", units });
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return path;
    }
    void SetUp() override { ASSERT_TRUE(QFileInfo::exists(BinDir() + QStringLiteral("/vtrpro-rules"))); }

    ScopedTestEnv m_env;
};

TEST_F(ValueChecksCommandTest, RefusedValuesAndConversionsLeaveTheFileUntouched)
{
    const QString inches = NewFile(QStringLiteral("inches.vtr"), QStringLiteral("3,0"));
    // A file whose hole diameter was set by hand to a value that fits
    // millimetres but not angstroms.
    const QString huge = NewFile(QStringLiteral("huge.vtr"), QStringLiteral("0,0"));
    {
        QByteArray text = Read(huge);
        const qsizetype rule = text.indexOf("Name=\"SM - Minimum Hole Diameter\"");
        const qsizetype open = text.indexOf("<Value>", rule) + 7;
        const qsizetype close = text.indexOf("</Value>", open);
        ASSERT_TRUE(rule >= 0 && open > rule && close > open);
        text.replace(open, close - open, "1e308");
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    const struct
    {
        const char* what;
        QStringList args;
        const QString& file;
        int code;
        const char* message;
    } cases[] = {
        { "negative length", { "configure", inches, "--rule", "SM - Minimum Hole Diameter", "--set",
                                 "Minimum hole diameter=-5" },
            inches, 2, "\"Minimum hole diameter\" is a size in inches and cannot be negative: -5" },
        { "negative area", { "configure", inches, "--rule", "Minimum Face Area", "--set", "Minimum face area=-0.01" },
            inches, 2, "\"Minimum face area\" is a size in square inches and cannot be negative" },
        { "a length no unit can hold", { "configure", inches, "--rule", "SM - Minimum Hole Diameter", "--set",
                                           "Minimum hole diameter=1e308" },
            inches, 2, "\"Minimum hole diameter\" is too large: 1e308 inches" },
        { "not finite", { "configure", inches, "--rule", "SM - Minimum Hole Diameter", "--set",
                            "Minimum hole diameter=inf" },
            inches, 2, "needs a number, not \"inf\"" },
        { "a conversion that overflows", { "units", huge, "angstroms,degrees" }, huge, 2,
            "\"Minimum hole diameter\" of rule \"SM - Minimum Hole Diameter\" is too large for 6 (angstroms)" },
        // A negative angle is no size; it is accepted.
        { "negative angle", { "configure", inches, "--rule", "Minimum Draft Angle", "--category", "Casting", "--set",
                                "Minimum draft angle=-1" },
            inches, 0, "" },
        // The same file converts to units that hold its value.
        { "a conversion that fits", { "units", huge, "inches,degrees" }, huge, 0, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray before = Read(c.file);
        const Result r = Run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        if (c.code == 2) {
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
            EXPECT_EQ(Read(c.file), before) << "the file is untouched";
        } else {
            EXPECT_NE(Read(c.file), before);
        }
    }
    EXPECT_FALSE(Read(huge).contains("inf"));
}

TEST_F(ValueChecksCommandTest, UnitsAndBackRestoreTheTextsAndDiffSeesNoChange)
{
    const QString path = NewFile(QStringLiteral("trip.vtr"), QStringLiteral("0,0"));
    ASSERT_EQ(Run({ "configure", path, "--rule", "SM - Minimum Hole Diameter", "--set", "Minimum hole diameter=3" }).code,
        0);
    ASSERT_EQ(Run({ "configure", path, "--rule", "Minimum Draft Angle", "--category", "Casting", "--set",
                  "Minimum draft angle=118" })
                  .code,
        0);
    const QByteArray start = Read(path);
    const Result first = Run({ "diff", path });
    ASSERT_EQ(first.code, 1) << first.out.toStdString();

    const char* const trips[][2] = { { "3,3", "0,0" }, { "9,1", "0,0" }, { "6,3", "0,0" } };
    for (const auto& trip : trips) {
        SCOPED_TRACE(trip[0]);
        ASSERT_EQ(Run({ "units", path, trip[0] }).code, 0);
        ASSERT_EQ(Run({ "units", path, trip[1] }).code, 0);
        const QByteArray text = Read(path);
        for (const char* value : { "<Value>3</Value>", "<Value>118</Value>", "<Recom>", "<Alert>" })
            EXPECT_EQ(text.count(value), start.count(value)) << value;
    }
    // Only what configure changed differs: the conversions added nothing.
    const Result after = Run({ "diff", path });
    EXPECT_EQ(after.out, first.out);

    // Reset the two rules, convert there and back: every rule is at its default.
    ASSERT_EQ(Run({ "reset", path, "--all" }).code, 0);
    ASSERT_EQ(Run({ "units", path, "3,3" }).code, 0);
    ASSERT_EQ(Run({ "units", path, "0,0" }).code, 0);
    const Result clean = Run({ "diff", path });
    EXPECT_EQ(clean.code, 0) << clean.out.toStdString();
}

} // namespace
