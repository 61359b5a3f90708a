// The machine environment file: a variable written or removed with every
// other line kept, the running process following at once, and files that
// cannot be used refused without being touched.

#include "TestSupport.h"

#include "settings/MachineEnvironment.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {
QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

class MachineEnvironmentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Restored by env when the test ends, whatever the test sets.
        env.Set("VTRPRO_MANUAL_CHECKS", QStringLiteral("/before"));
        file = env.Path(QStringLiteral("environment"));
    }
    ScopedTestEnv env;
    QString file;
};

const QByteArray kOtherLines = "# machine-wide variables\n"
                               "PATH=\"/usr/local/bin:/usr/bin\"\n"
                               "\n"
                               "LANG=C.UTF-8\r\n";

TEST_F(MachineEnvironmentTest, ReplacesTheVariableAndKeepsEveryOtherLine)
{
    Write(file,
        kOtherLines + "export VTRPRO_MANUAL_CHECKS='/old'\nVTRPRO_MANUAL_CHECKS_X=1\nVTRPRO_MANUAL_CHECKS=/older\n");
    QString why;
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/srv/checks"), &why))
        << why.toStdString();
    // The first definition takes the value; a later one would have overridden it.
    EXPECT_EQ(Read(file), kOtherLines + "VTRPRO_MANUAL_CHECKS=\"/srv/checks\"\nVTRPRO_MANUAL_CHECKS_X=1\n");
    EXPECT_EQ(qEnvironmentVariable("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/srv/checks"));
    EXPECT_EQ(MachineEnvironment::Value(QStringLiteral("VTRPRO_MANUAL_CHECKS")), QStringLiteral("/srv/checks"));
    EXPECT_EQ(MachineEnvironment::Value(QStringLiteral("LANG")), QStringLiteral("C.UTF-8"));
}

TEST_F(MachineEnvironmentTest, AppendsANewVariableAndCreatesAMissingFile)
{
    Write(file, "LANG=C"); // no final line break
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTR_PRO_DATABASE_DIR"), QStringLiteral("/data/db ü")));
    EXPECT_EQ(Read(file), QByteArray("LANG=C\nVTR_PRO_DATABASE_DIR=\"/data/db \xc3\xbc\"\n"));
    EXPECT_EQ(qEnvironmentVariable("VTR_PRO_DATABASE_DIR"), QStringLiteral("/data/db ü"));

    QFile::remove(file);
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/c")));
    EXPECT_EQ(Read(file), QByteArray("VTRPRO_MANUAL_CHECKS=\"/c\"\n"));
}

TEST_F(MachineEnvironmentTest, AnEmptyValueRemovesTheVariableFromTheFileAndTheProcess)
{
    Write(file, kOtherLines + "VTRPRO_MANUAL_CHECKS=\"/old\"\n");
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), QString()));
    EXPECT_EQ(Read(file), kOtherLines);
    EXPECT_FALSE(qEnvironmentVariableIsSet("VTRPRO_MANUAL_CHECKS"));
    EXPECT_EQ(MachineEnvironment::Value(QStringLiteral("VTRPRO_MANUAL_CHECKS")), std::nullopt);

    // Nothing to remove from a file that is not there: no file appears.
    QFile::remove(file);
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), QString()));
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(MachineEnvironmentTest, KeepsTheFilesPermissionsAndALinkToIt)
{
    const QString target = env.Path(QStringLiteral("real-environment"));
    Write(target, "LANG=C\n");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(target, file));
    ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/c")));
    EXPECT_TRUE(QFileInfo(file).isSymLink());
    EXPECT_EQ(Read(target), QByteArray("LANG=C\nVTRPRO_MANUAL_CHECKS=\"/c\"\n"));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Files and values that cannot be used: false with a reason, the file and
// the process as they were.
TEST_F(MachineEnvironmentTest, RefusesWhatItCannotUseAndChangesNothing)
{
    const QString blocker = env.Path(QStringLiteral("blocker"));
    Write(blocker, "not a folder");
    const QString fifo = env.Path(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = env.Path(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString dangling = env.Path(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(env.Path(QStringLiteral("nowhere/environment")), dangling));
    const QString big = env.Path(QStringLiteral("big"));
    Write(big, QByteArray(2 * 1024 * 1024, '#'));

    struct Case
    {
        const char* what;
        QString path;
        QString name;
        QString value;
    };
    const Case cases[] = {
        { "file inside a file", blocker + QStringLiteral("/environment"), "VTRPRO_MANUAL_CHECKS", "/c" },
        { "removal inside a missing folder", env.Path(QStringLiteral("gone/environment")), "VTRPRO_MANUAL_CHECKS", "" },
        { "FIFO", fifo, "VTRPRO_MANUAL_CHECKS", "/c" },
        { "folder", folder, "VTRPRO_MANUAL_CHECKS", "/c" },
        { "broken link", dangling, "VTRPRO_MANUAL_CHECKS", "/c" },
        { "oversized file", big, "VTRPRO_MANUAL_CHECKS", "/c" },
        { "line break in the value", file, "VTRPRO_MANUAL_CHECKS", "/c\nPATH=/evil" },
        { "bad name", file, "VTRPRO MANUAL", "/c" },
    };
    Write(file, kOtherLines);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env.Set("VTRPRO_MACHINE_ENVIRONMENT_FILE", c.path);
        const QByteArray before = Read(c.path == fifo ? file : c.path);
        QString why;
        EXPECT_FALSE(SetMachineEnvironmentValue(c.name, c.value, &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(qEnvironmentVariable("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/before"));
        if (c.path != fifo) {
            EXPECT_EQ(Read(c.path), before);
        }
    }
    EXPECT_EQ(Read(file), kOtherLines);
    EXPECT_EQ(QFileInfo(big).size(), 2 * 1024 * 1024);
}

// Values a shell treats specially inside double quotes are written escaped,
// so that the file, read by us or by a shell, gives back what was stored.
TEST_F(MachineEnvironmentTest, ValuesReadBackExactlyHoweverTheyAreSpelled)
{
    const struct
    {
        QString value;
        QByteArray line;
    } cases[] = {
        { QStringLiteral("/srv/plain"), "VTRPRO_MANUAL_CHECKS=\"/srv/plain\"\n" },
        { QStringLiteral("/srv/\"quoted\""), "VTRPRO_MANUAL_CHECKS=\"/srv/\\\"quoted\\\"\"\n" },
        { QStringLiteral("/srv/$HOME/x"), "VTRPRO_MANUAL_CHECKS=\"/srv/\\$HOME/x\"\n" },
        { QStringLiteral("/srv/back\\slash\\"), "VTRPRO_MANUAL_CHECKS=\"/srv/back\\\\slash\\\\\"\n" },
        { QStringLiteral("/srv/`tick`"), "VTRPRO_MANUAL_CHECKS=\"/srv/\\`tick\\`\"\n" },
        { QStringLiteral("/srv/it's \\n"), "VTRPRO_MANUAL_CHECKS=\"/srv/it's \\\\n\"\n" },
    };
    const bool shell = !QStandardPaths::findExecutable(QStringLiteral("sh")).isEmpty();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        Write(file, "LANG=C\n");
        QString why;
        ASSERT_TRUE(SetMachineEnvironmentValue(QStringLiteral("VTRPRO_MANUAL_CHECKS"), c.value, &why))
            << why.toStdString();
        EXPECT_EQ(Read(file), "LANG=C\n" + c.line);
        EXPECT_EQ(MachineEnvironment::Value(QStringLiteral("VTRPRO_MANUAL_CHECKS")), c.value);
        EXPECT_EQ(qEnvironmentVariable("VTRPRO_MANUAL_CHECKS"), c.value);
        if (shell) {
            QProcess sh;
            sh.start(QStringLiteral("sh"),
                { QStringLiteral("-c"), QStringLiteral(". \"$0\"; printf '%s' \"$VTRPRO_MANUAL_CHECKS\""), file });
            ASSERT_TRUE(sh.waitForFinished(10000));
            EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()), c.value);
        }
    }
}

// Several variables go into one replacement of the file: both or neither.
TEST_F(MachineEnvironmentTest, SeveralVariablesAreStoredTogetherOrNotAtAll)
{
    Write(file, kOtherLines + "VTR_PRO_DATABASE_DIR=\"/old/db\"\n");
    QString why;
    ASSERT_TRUE(MachineEnvironment::CanWrite(&why)) << why.toStdString();
    ASSERT_TRUE(SetMachineEnvironmentValues({ { QStringLiteral("VTR_PRO_DATABASE_DIR"), QStringLiteral("/new/db") },
                                                { QStringLiteral("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/checks") } },
        &why))
        << why.toStdString();
    EXPECT_EQ(Read(file), kOtherLines + "VTR_PRO_DATABASE_DIR=\"/new/db\"\nVTRPRO_MANUAL_CHECKS=\"/checks\"\n");

    // The second cannot be stored: the first is not stored either.
    const QByteArray before = Read(file);
    EXPECT_FALSE(
        SetMachineEnvironmentValues({ { QStringLiteral("VTR_PRO_DATABASE_DIR"), QStringLiteral("/newer") },
                                        { QStringLiteral("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/a\nB=1") } },
            &why));
    EXPECT_EQ(Read(file), before);
    EXPECT_EQ(qEnvironmentVariable("VTRPRO_MANUAL_CHECKS"), QStringLiteral("/checks"));

    // A file in a folder that is not there cannot be written.
    env.Set("VTRPRO_MACHINE_ENVIRONMENT_FILE", env.Path(QStringLiteral("gone/environment")));
    EXPECT_FALSE(MachineEnvironment::CanWrite(&why));
    EXPECT_FALSE(why.isEmpty());
}
} // namespace
