// Every vtrpro-rules command that saves a rule file refuses the same files
// with the same exit code and leaves them untouched.

#include "TestSupport.h"

#include "document/DocumentLock.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

constexpr char kRule[] = "SM - Minimum Hole Diameter";

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// The arguments of one saving command after FILE; each has something to do
// on the file the test makes, so a refusal is the only reason to leave it.
struct Command
{
    const char* name;
    QStringList args;
};

const Command kCommands[] = {
    { "select", { "--rule", "SM - Minimum Flange Width" } },
    { "deselect", { "--rule", kRule } },
    { "units", { "3,3" } },
    { "configure", { "--rule", kRule, "--criticality", "Insignificant" } },
    { "reset", { "--all" } },
};

QStringList Arguments(const Command& c, const QString& file, const QStringList& extra)
{
    return QStringList { QString::fromLatin1(c.name), file } + c.args + extra;
}

TEST(SavingCommandsTest, EachRefusesTheSameFilesWithTheSameCode)
{
    ScopedTestEnv env;
    const QStringList password { "--password", "Secret" };
    for (const Command& c : kCommands) {
        SCOPED_TRACE(c.name);
        const QString file = env.Path(QString::fromLatin1(c.name) + QStringLiteral(".vtr"));
        // Protected, with one rule whose settings differ from its defaults.
        ToolRun r = RunTool({ "new", file, "--rule", kRule, "--password", "Secret" });
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        r = RunTool(
            QStringList { "configure", file, "--rule", kRule, "--set", "Minimum hole diameter=7.5" } + password);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();

        r = RunTool(Arguments(c, env.Path(QStringLiteral("missing.vtr")), password));
        EXPECT_EQ(r.code, 2) << "missing file: " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("does not exist"))) << r.err.toStdString();

        QByteArray before = Read(file);
        r = RunTool(Arguments(c, file, { "--password", "secret" }));
        EXPECT_EQ(r.code, 2) << "wrong password: " << r.err.toStdString();
        EXPECT_EQ(Read(file), before) << "wrong password";

        {
            DocumentLock other; // this process is the other copy
            ASSERT_EQ(other.Acquire(file), FileErrorCause::None);
            r = RunTool(Arguments(c, file, password));
            EXPECT_EQ(r.code, 4) << "held: " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("open for writing elsewhere"))) << r.err.toStdString();
            EXPECT_EQ(Read(file), before) << "held";
        }

        // With the right password the same command changes the file, so the
        // refusals above are what kept it as it was.
        r = RunTool(Arguments(c, file, password));
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_NE(Read(file), before);
        EXPECT_EQ(RunTool({ "verify", file }).code, 0);

        // A rule's value edited by hand: the fingerprint no longer matches.
        QByteArray text = Read(file);
        const qsizetype value = text.indexOf("<Value>");
        ASSERT_GE(value, 0) << text.toStdString();
        text.insert(value + 7, "9");
        Write(file, text);
        ASSERT_EQ(RunTool({ "verify", file }).code, 3) << "the edit must break the fingerprint";
        r = RunTool(Arguments(c, file, password));
        EXPECT_EQ(r.code, 3) << "fingerprint: " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("fingerprint does not match"))) << r.err.toStdString();
        EXPECT_EQ(Read(file), text) << "fingerprint";
    }
}

} // namespace
