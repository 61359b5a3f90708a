// Rule files under review: compare two files by rule and setting, and the
// canonical listing that text diffs read.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr char kHole[] = "SM - Minimum Hole Diameter";
constexpr char kFlange[] = "SM - Minimum Flange Width";

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

QString NewFile(const ScopedTestEnv& env, const QString& name, const QStringList& rules)
{
    const QString path = env.Path(name);
    QStringList args { "new", path };
    for (const QString& rule : rules)
        args << "--rule" << rule;
    const ToolRun r = RunTool(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return path;
}

void Tool(const QStringList& args)
{
    const ToolRun r = RunTool(args);
    ASSERT_EQ(r.code, 0) << qPrintable(args.join(' ')) << ": " << r.err.toStdString();
}

// The same rules with the two rule elements in the other order.
void SwapRules(const QString& path)
{
    const QByteArray text = Read(path);
    const qsizetype first = text.indexOf("\t<Rule ");
    const qsizetype second = text.indexOf("\t<Rule ", first + 1);
    const qsizetype end = text.lastIndexOf("</VTRExpress>");
    ASSERT_TRUE(first > 0 && second > first && end > second);
    Write(path, text.left(first) + text.mid(second, end - second) + text.mid(first, second - first) + text.mid(end));
}

TEST(CompareCommand, PairsRulesAndSettingsNotText)
{
    const struct
    {
        const char* label;
        std::function<void(const ScopedTestEnv&, const QString& b)> change;
        int code;
        QStringList onlyInB; // rules
        QStringList settings; // "rule|setting|a|b"
    } cases[] = {
        { "a copy", [](const ScopedTestEnv&, const QString&) {}, 0, {}, {} },
        { "saved again in inches, values converted",
            [](const ScopedTestEnv&, const QString& b) { Tool({ "units", b, "2,0" }); }, 0, {}, {} },
        { "the rules in the other order", [](const ScopedTestEnv&, const QString& b) { SwapRules(b); }, 0, {}, {} },
        { "one value changed, in the other file's units",
            [](const ScopedTestEnv&, const QString& b) {
                Tool({ "units", b, "1,0" });
                Tool({ "configure", b, "--rule", kHole, "--set", "Minimum hole diameter=0.25" });
            },
            1, {}, { "Sheet Metal/SM - Minimum Hole Diameter|Parameter[Minimum hole diameter].Value|1.5|2.5" } },
        { "a rule unticked",
            [](const ScopedTestEnv&, const QString& b) { Tool({ "deselect", b, "--rule", kFlange }); }, 1, {},
            { "Sheet Metal/SM - Minimum Flange Width|ticked|1|0" } },
        { "criticality changed",
            [](const ScopedTestEnv&, const QString& b) {
                Tool({ "configure", b, "--rule", kFlange, "--criticality", "Low" });
            },
            1, {}, { "Sheet Metal/SM - Minimum Flange Width|criticality|2|4" } },
        { "a rule only in B",
            [](const ScopedTestEnv& env, const QString& b) {
                QFile::remove(b);
                QFile::copy(NewFile(env, "three.vtr", { kHole, kFlange, "SM - Minimum Distance between Holes" }), b);
            },
            1, { "Sheet Metal/SM - Minimum Distance between Holes" }, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedTestEnv env;
        const QString a = NewFile(env, "a.vtr", { kHole, kFlange });
        const QString b = env.Path("b.vtr");
        ASSERT_TRUE(QFile::copy(a, b));
        c.change(env, b);
        const ToolRun r = RunTool({ "compare", a, b, "--format", "json" });
        EXPECT_EQ(r.code, c.code) << r.out.toStdString() << r.err.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(o.value("same").toBool(), c.code == 0);
        EXPECT_TRUE(o.value("onlyInA").toArray().isEmpty());
        QStringList onlyInB;
        for (const QJsonValue& v : o.value("onlyInB").toArray())
            onlyInB << v.toString();
        EXPECT_EQ(onlyInB.join(QLatin1Char(10)).toStdString(), c.onlyInB.join(QLatin1Char(10)).toStdString());
        QStringList settings;
        for (const QJsonValue& v : o.value("settings").toArray()) {
            const QJsonObject s = v.toObject();
            settings << QStringList { s.value("rule").toString(), s.value("setting").toString(),
                s.value("a").toString(QStringLiteral("(none)")), s.value("b").toString(QStringLiteral("(none)")) }
                            .join('|');
        }
        EXPECT_EQ(settings.join(QLatin1Char(10)).toStdString(), c.settings.join(QLatin1Char(10)).toStdString());
    }
}

TEST(CompareCommand, RefusesWhatItCannotRead)
{
    ScopedTestEnv env;
    const QString a = NewFile(env, "a.vtr", { kHole });
    Write(env.Path("broken.vtr"), "<VTRExpress><Rule Name=\"x\"");
    for (const QStringList& args : { QStringList { "compare", a, env.Path("missing.vtr") },
             QStringList { "compare", a, env.Path("broken.vtr") }, QStringList { "compare", env.Path("broken.vtr"), a },
             QStringList { "compare", a }, QStringList { "compare", a, a, "--format", "xml" } }) {
        SCOPED_TRACE(qPrintable(args.join(' ')));
        const ToolRun r = RunTool(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST(ShowCanonical, OneLinePerSettingWhateverTheOrderOrTheSave)
{
    ScopedTestEnv env;
    const QString a = NewFile(env, "a.vtr", { kHole, kFlange });
    const QString b = env.Path("b.vtr");
    ASSERT_TRUE(QFile::copy(a, b));
    SwapRules(b);
    Tool({ "configure", b, "--rule", kHole, "--set", "Minimum hole diameter=3" });

    const ToolRun ra = RunTool({ "show", a, "--canonical" });
    const ToolRun rb = RunTool({ "show", b, "--canonical" });
    ASSERT_EQ(ra.code, 0) << ra.err.toStdString();
    ASSERT_EQ(rb.code, 0) << rb.err.toStdString();
    const QStringList la = ra.out.split('\n');
    const QStringList lb = rb.out.split('\n');
    // The save record (path, writer, time) is not a setting.
    EXPECT_FALSE(ra.out.contains("CreatedOn"));
    EXPECT_FALSE(ra.out.contains(a));
    ASSERT_EQ(la.size(), lb.size());
    QStringList differing;
    for (qsizetype i = 0; i < la.size(); ++i)
        if (la[i] != lb[i])
            differing << la[i] + QStringLiteral(" -> ") + lb[i];
    EXPECT_EQ(differing,
        QStringList { "Sheet Metal/SM - Minimum Hole Diameter Parameter[Minimum hole diameter].Value = 1.5 -> "
                      "Sheet Metal/SM - Minimum Hole Diameter Parameter[Minimum hole diameter].Value = 3" });
    EXPECT_EQ(RunTool({ "show", env.Path("missing.vtr"), "--canonical" }).code, 2);
}

} // namespace
