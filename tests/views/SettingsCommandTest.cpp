// vtrpro-rules diff and reset: the settings report and Reset to Default from
// the command line, over the shipped rule modules.

#include "TestSupport.h"

#include "document/DocumentLock.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr char kRule[] = "Hole Depth to Diameter Ratio";

class SettingsCommandTest : public ::testing::Test
{
protected:
    using Result = ToolRun;
    static Result Run(const QStringList& args) { return RunTool(args); }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Write(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // A new file holding the rule with its default settings.
    QString NewFile(const QString& name, const QStringList& extra = {})
    {
        const QString path = m_env.Path(name);
        const Result r = Run(QStringList { "new", path, "--rule", kRule, "--category", "Drilling" } + extra);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return path;
    }
    // Changes the text of the rule's first "Value" element.
    static QByteArray ChangeFirstValue(const QByteArray& text, QByteArray& before)
    {
        const qsizetype rule = text.indexOf(QByteArray("Name=\"") + kRule + "\"");
        const qsizetype start = text.indexOf("<Value", rule);
        const qsizetype open = text.indexOf('>', start) + 1;
        const qsizetype close = text.indexOf("</Value>", open);
        EXPECT_TRUE(rule >= 0 && start > rule && close > open) << text.toStdString();
        before = text.mid(open, close - open);
        QByteArray changed = text;
        changed.replace(open, close - open, "42");
        return changed;
    }
    void SetUp() override { ASSERT_TRUE(QFileInfo::exists(BinDir() + QStringLiteral("/vtrpro-rules"))); }

    ScopedTestEnv m_env;
};

TEST_F(SettingsCommandTest, DiffFindsAChangedValueAndResetRestoresTheDefault)
{
    const QString file = NewFile(QStringLiteral("one.vtr"));
    Result r = Run({ "diff", file });
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    r = Run({ "diff", file, "--rule", QString::fromLatin1(kRule).toLower() });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("same"));

    QByteArray oldValue;
    Write(file, ChangeFirstValue(Read(file), oldValue));
    r = Run({ "diff", file, "--rule", kRule });
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("differs"));

    r = Run({ "diff", file, "--format", "json" });
    ASSERT_EQ(r.code, 1) << r.err.toStdString();
    const QJsonArray rules = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rules.size(), 1) << r.out.toStdString();
    EXPECT_EQ(rules[0].toObject()[QStringLiteral("rule")].toString(), QLatin1String(kRule));
    const QJsonArray diffs = rules[0].toObject()[QStringLiteral("differences")].toArray();
    ASSERT_EQ(diffs.size(), 1) << r.out.toStdString();
    EXPECT_EQ(diffs[0].toObject()[QStringLiteral("key")].toString(), QStringLiteral("Value"));
    EXPECT_EQ(diffs[0].toObject()[QStringLiteral("file")].toString(), QStringLiteral("42"));
    EXPECT_EQ(diffs[0].toObject()[QStringLiteral("default")].toString(), QString::fromUtf8(oldValue));

    r = Run({ "diff", file });
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Value: \"42\", default \"%1\"").arg(QString::fromUtf8(oldValue))))
        << r.out.toStdString();

    r = Run({ "reset", file, "--rule", kRule });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String(kRule))) << r.out.toStdString();
    EXPECT_EQ(Run({ "diff", file }).code, 0);
    EXPECT_TRUE(Read(file).contains(QByteArray("Name=\"") + kRule + "\"")) << "the rule stays in the file";

    // Nothing left to reset: the file is not written again.
    const QByteArray before = Read(file);
    r = Run({ "reset", file, "--all" });
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Read(file), before);
}

TEST_F(SettingsCommandTest, RefusalsLeaveTheFileUntouched)
{
    const QString file = NewFile(QStringLiteral("refuse.vtr"));
    QByteArray oldValue;
    Write(file, ChangeFirstValue(Read(file), oldValue));
    const QByteArray before = Read(file);
    const QString broken = m_env.Path(QStringLiteral("broken.vtr"));
    Write(broken, "<VTRExpress><Rule Name=");
    const struct
    {
        QStringList args;
        int code;
    } cases[] = {
        { { "diff", m_env.Path(QStringLiteral("missing.vtr")) }, 2 },
        { { "diff", broken }, 2 },
        { { "diff", m_env.Root() }, 2 },
        { { "diff", file, "--rule", "No Such Rule" }, 2 },
        { { "diff", file, "--rule", kRule, "--category", "Sheet Metal" }, 2 },
        { { "diff", file, "--format", "xml" }, 2 },
        { { "reset", file }, 2 },
        { { "reset", file, "--all", "--rule", kRule }, 2 },
        { { "reset", file, "--rule", "No Such Rule" }, 2 },
        { { "reset", broken, "--all" }, 2 },
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(Read(file), before);

    DocumentLock other;
    ASSERT_EQ(other.Acquire(file), FileErrorCause::None);
    EXPECT_EQ(Run({ "reset", file, "--all" }).code, 4);
    EXPECT_EQ(Run({ "diff", file }).code, 1) << "reading needs no lock";
    other.Release();
    EXPECT_EQ(Read(file), before);
}

TEST_F(SettingsCommandTest, AProtectedFileIsResetOnlyWithItsPassword)
{
    const QString file = NewFile(QStringLiteral("protected.vtr"), { "--password", "Secret" });
    // Changed through the program: a change by hand would break the
    // fingerprint, and such a file is refused.
    const Result changed = Run({ "configure", file, "--rule", kRule, "--category", "Drilling", "--set",
        "Maximum depth to diameter ratio=42", "--password", "Secret" });
    ASSERT_EQ(changed.code, 0) << changed.err.toStdString();
    ASSERT_EQ(Run({ "diff", file }).code, 1);
    const QByteArray before = Read(file);
    const struct
    {
        QStringList extra;
        int code;
    } cases[] = { { {}, 2 }, { { "--password", "secret" }, 2 }, { { "--password", "Secret" }, 0 } };
    for (const auto& c : cases) {
        const Result r = Run(QStringList { "reset", file, "--all" } + c.extra);
        EXPECT_EQ(r.code, c.code) << c.extra.join(' ').toStdString() << r.err.toStdString();
        if (c.code != 0) {
            EXPECT_EQ(Read(file), before);
        }
    }
    EXPECT_EQ(Run({ "diff", file }).code, 0);
    EXPECT_EQ(Run({ "verify", file }).code, 0) << "saved with a fresh fingerprint";
}

} // namespace
