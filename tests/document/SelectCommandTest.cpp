// vtrpro-rules select and deselect: the rule list's check boxes from the
// command line, with the document's lock and password rules.

#include "TestSupport.h"

#include "document/DocumentLock.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

class SelectCommandTest : public ::testing::Test
{
protected:
    using Result = ToolRun;
    static Result Run(const QStringList& args) { return RunTool(args); }
    QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The "Selected" attribute of a rule in a file, or -1.
    int SelectedFlag(const QString& path, const QByteArray& rule)
    {
        const QByteArray text = Read(path);
        const qsizetype at = text.indexOf("Name=\"" + rule + "\"");
        if (at < 0)
            return -1;
        const qsizetype end = text.indexOf('>', at);
        const qsizetype flag = text.indexOf("Selected=\"", at);
        return flag < 0 || flag > end ? -1 : text.at(flag + 10) - '0';
    }
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(BinDir() + QStringLiteral("/vtrpro-rules")));
        m_file = m_env.Path(QStringLiteral("cli.vtr"));
        const Result r = Run({ "new", m_file, "--rule", "SM - Minimum Hole Diameter" });
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }

    ScopedTestEnv m_env;
    QString m_file;
};

TEST_F(SelectCommandTest, SelectAndDeselectChangeTheFileAsCheckBoxesDo)
{
    Result r = Run({ "select", m_file, "--rule", "sm - minimum flange width" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(SelectedFlag(m_file, "SM - Minimum Flange Width"), 1);
    EXPECT_EQ(SelectedFlag(m_file, "SM - Minimum Hole Diameter"), 1);

    r = Run({ "deselect", m_file, "--rule", "SM - Minimum Hole Diameter" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(SelectedFlag(m_file, "SM - Minimum Hole Diameter"), 0) << "kept, marked not selected";
    EXPECT_EQ(SelectedFlag(m_file, "SM - Minimum Flange Width"), 1);

    const QByteArray before = Read(m_file);
    r = Run({ "select", m_file, "--rule", "No Such Rule" });
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No Such Rule")));
    EXPECT_EQ(Read(m_file), before);
}

TEST_F(SelectCommandTest, AFileHeldByAnotherCopyIsRefusedWithExitCode4)
{
    DocumentLock other;
    ASSERT_EQ(other.Acquire(m_file), FileErrorCause::None);
    const QByteArray before = Read(m_file);
    const Result r = Run({ "select", m_file, "--rule", "SM - Minimum Flange Width" });
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("open for writing elsewhere"))) << r.err.toStdString();
    EXPECT_EQ(Read(m_file), before);
    other.Release();
    EXPECT_EQ(Run({ "select", m_file, "--rule", "SM - Minimum Flange Width" }).code, 0);
}

TEST_F(SelectCommandTest, AProtectedFileNeedsItsPassword)
{
    const QString file = m_env.Path(QStringLiteral("protected.vtr"));
    ASSERT_EQ(Run({ "new", file, "--rule", "SM - Minimum Hole Diameter", "--password", "Secret" }).code, 0);
    const QByteArray before = Read(file);
    const struct
    {
        QStringList extra;
        int code;
    } cases[] = { { {}, 2 }, { { "--password", "secret" }, 2 }, { { "--password", "Secret" }, 0 } };
    for (const auto& c : cases) {
        const Result r = Run(QStringList { "select", file, "--rule", "SM - Minimum Flange Width" } + c.extra);
        EXPECT_EQ(r.code, c.code) << c.extra.join(' ').toStdString() << r.err.toStdString();
        if (c.code != 0) {
            EXPECT_EQ(Read(file), before);
        }
    }
    EXPECT_EQ(SelectedFlag(file, "SM - Minimum Flange Width"), 1);
    const Result verify = Run({ "verify", file });
    EXPECT_EQ(verify.code, 0) << verify.out.toStdString() << verify.err.toStdString();
}

} // namespace
