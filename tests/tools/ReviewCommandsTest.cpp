// Rule files under review: compare two files by rule and setting, and the
// canonical listing that text diffs read.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

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

// The 1-based line of the first occurrence of text in the file.
int LineOf(const QString& path, const QByteArray& text)
{
    const QByteArray all = Read(path);
    const qsizetype at = all.indexOf(text);
    return at < 0 ? -1 : static_cast<int>(all.left(at).count('\n')) + 1;
}

void Replace(const QString& path, const QByteArray& from, const QByteArray& to)
{
    QByteArray text = Read(path);
    const qsizetype at = text.indexOf(from);
    ASSERT_GE(at, 0) << from.constData();
    Write(path, text.replace(at, from.size(), to));
}

TEST(LintCommand, NamesEachPlantedFaultWithItsLine)
{
    const struct
    {
        const char* label;
        QByteArray from, to; // the fault planted: the first "from" becomes "to"
        const char* check; // the one finding expected, on the line of "to"
    } cases[] = {
        { "a value that is not a number", "<Value>4</Value>", "<Value>four</Value>", "bad-value" },
        { "a negative length", "<Alert>1</Alert>", "<Alert>-1</Alert>", "negative-size" },
        { "recommended below a minimum", "<Recom>1.2</Recom>", "<Recom>0.9</Recom>", "recommended-wrong-side" },
        { "alert above a minimum", "<Alert>1</Alert>", "<Alert>1.7</Alert>", "alert-wrong-side" },
        { "a setting the module does not know", "Name=\"Hole diameter to thickness ratio\"",
            "Name=\"Hole ratio (renamed)\"", "unknown-setting" },
        { "a rule in other units than the file", "LinearUnit=\"0\"", "LinearUnit=\"3\"", "units-disagree" },
        { "a rule no module offers", "Name=\"SM - Minimum Flange Width\"", "Name=\"SM - Made Up Rule\"",
            "unoffered-rule" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedTestEnv env;
        const QString file = NewFile(env, "a.vtr", { kHole, kFlange });
        const ToolRun clean = RunTool({ "lint", file });
        EXPECT_EQ(clean.code, 0) << clean.out.toStdString() << clean.err.toStdString();
        Replace(file, c.from, c.to);
        const ToolRun r = RunTool({ "lint", file, "--format", "json" });
        const QJsonArray findings = QJsonDocument::fromJson(r.out.toUtf8()).object().value("findings").toArray();
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        ASSERT_EQ(findings.size(), 1) << r.out.toStdString();
        const QJsonObject f = findings[0].toObject();
        EXPECT_EQ(f.value("check").toString(), QLatin1String(c.check));
        EXPECT_EQ(f.value("line").toInt(), LineOf(file, c.to));
        EXPECT_TRUE(f.value("rule").toString().startsWith("Sheet Metal/SM - ")) << r.out.toStdString();
        EXPECT_FALSE(f.value("message").toString().isEmpty());
    }
}

TEST(LintCommand, FileFaultsDuplicatesAndFingerprints)
{
    ScopedTestEnv env;
    const QString file = env.Path("locked.vtr");
    Tool({ "new", file, "--rule", kHole, "--rule", kFlange, "--password", "pw" });
    ASSERT_EQ(RunTool({ "lint", file }).code, 0);

    // A setting changed outside the program: exit 3.
    const QString edited = env.Path("edited.vtr");
    ASSERT_TRUE(QFile::copy(file, edited));
    Replace(edited, "<Value>1.5</Value>", "<Value>1.4</Value>");
    const ToolRun mismatch = RunTool({ "lint", edited });
    EXPECT_EQ(mismatch.code, 3) << mismatch.out.toStdString();
    EXPECT_TRUE(mismatch.out.contains("fingerprint-mismatch"));

    // The fingerprint taken away, the password left: a finding.
    QByteArray text = Read(file);
    const qsizetype at = text.indexOf(" RulesData=\"");
    ASSERT_GT(at, 0);
    text.remove(at, text.indexOf('"', at + 12) - at + 1);
    Write(edited, text);
    const ToolRun bare = RunTool({ "lint", edited, "--format", "json" });
    EXPECT_EQ(bare.code, 1);
    EXPECT_TRUE(bare.out.contains("password-without-fingerprint")) << bare.out.toStdString();

    // A rule held twice, and units out of range in the file.
    const QString twice = NewFile(env, "twice.vtr", { kHole });
    text = Read(twice);
    const qsizetype rule = text.indexOf("\t<Rule ");
    const qsizetype end = text.indexOf("</Rule>") + 8;
    text.insert(end, text.mid(rule, end - rule));
    text.replace("AngularUnit=\"0\" Version", "AngularUnit=\"9\" Version");
    Write(twice, text);
    const ToolRun r = RunTool({ "lint", twice, "--format", "json" });
    EXPECT_EQ(r.code, 1);
    QStringList checks;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).object().value("findings").toArray())
        checks << v.toObject().value("check").toString();
    EXPECT_TRUE(checks.contains("duplicate-rule")) << r.out.toStdString();
    EXPECT_TRUE(checks.contains("units-out-of-range")) << r.out.toStdString();

    // The report follows the schema the program ships.
    const QString report = env.Path("report.json");
    Write(report, r.out.toUtf8());
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
        { "-c",
            "import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))",
            report, QStringLiteral(VTRPRO_TEST_DATA_DIR "/../../docs/schemas/lint.v1.json") });
    ASSERT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    for (const QStringList& args : { QStringList { "lint", env.Path("missing.vtr") }, QStringList { "lint" } })
        EXPECT_EQ(RunTool(args).code, 2);
}

} // namespace
