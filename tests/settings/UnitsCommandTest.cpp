// vtrpro-rules units: a rule file's rules converted to other units through
// the units command and the document's save, and back again without loss.

#include "TestSupport.h"

#include "document/DocumentLock.h"

#include <cmath>
#include <map>
#include <numbers>
#include <set>

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <pugixml.hpp>

namespace {

using Result = ToolRun;

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One attribute or text of a rule element and the unit kind of the
// parameter it belongs to.
struct Entry
{
    QString text;
    QString unitType;
};
// Every attribute and text of every rule element, by its place in the file
// ("Rule[12]/Parameter[1]/Value[0]#text").
using Snapshot = std::map<QString, Entry>;

void Collect(pugi::xml_node node, const QString& at, const QString& unitType, Snapshot& out)
{
    for (pugi::xml_attribute a : node.attributes())
        out[at + QLatin1Char('@') + QString::fromUtf8(a.name())] = { QString::fromUtf8(a.value()), unitType };
    if (const char* text = node.child_value(); *text)
        out[at + QStringLiteral("#text")] = { QString::fromUtf8(text), unitType };
    std::map<QString, int> seen;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        const QString name = QString::fromUtf8(c.name());
        const QString kind
            = name == QLatin1String("Parameter") ? QString::fromUtf8(c.attribute("UnitType").value()) : unitType;
        Collect(c, at + QLatin1Char('/') + name + QStringLiteral("[%1]").arg(seen[name]++), kind, out);
    }
}

// The file's rules, and its unit codes in root.
Snapshot RulesOf(const QString& path, QString* root = nullptr)
{
    pugi::xml_document doc;
    const QByteArray text = Read(path);
    EXPECT_TRUE(doc.load_buffer(text.constData(), static_cast<size_t>(text.size())));
    pugi::xml_node top = doc.child("VTRExpress");
    if (root)
        *root = QStringLiteral("%1,%2").arg(top.attribute("Unit").value(), top.attribute("AngularUnit").value());
    Snapshot out;
    int n = 0;
    for (pugi::xml_node rule = top.child("Rule"); rule; rule = rule.next_sibling("Rule"))
        Collect(rule, QStringLiteral("Rule[%1]").arg(n++), QString(), out);
    return out;
}

bool Number(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok;
}

bool Close(double a, double b, double relative)
{
    return a == b || std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b));
}

// Every entry of after equals before: numbers within 1e-9 relative, texts exactly.
void ExpectSameValues(const Snapshot& before, const Snapshot& after, int* numbers = nullptr)
{
    ASSERT_EQ(before.size(), after.size());
    int count = 0;
    for (const auto& [place, entry] : before) {
        const auto it = after.find(place);
        ASSERT_NE(it, after.end()) << place.toStdString();
        double a = 0, b = 0;
        if (Number(entry.text, a) && Number(it->second.text, b)) {
            ++count;
            EXPECT_TRUE(Close(a, b, 1e-9)) << place.toStdString() << ": " << entry.text.toStdString() << " became "
                                           << it->second.text.toStdString();
        } else {
            EXPECT_EQ(entry.text, it->second.text) << place.toStdString();
        }
    }
    if (numbers)
        *numbers = count;
}

class UnitsCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QFileInfo::exists(BinDir() + QStringLiteral("/vtrpro-rules"))); }

    // A file of one rule, in millimetres and degrees.
    QString SmallFile(const QString& name, const QStringList& extra = {})
    {
        const QString path = m_env.Path(name);
        const Result r
            = RunTool(QStringList { "new", path, "--units", "0,0", "--rule", "SM - Minimum Hole Diameter" } + extra);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return path;
    }

    ScopedTestEnv m_env;
};

TEST_F(UnitsCommandTest, EveryRuleOfTheModulesGoesToInchesAndRadiansAndBackWithoutLoss)
{
    const Result listed = RunTool({ "rules", "--format", "json" });
    ASSERT_EQ(listed.code, 0) << listed.err.toStdString();
    const QJsonArray rules = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    QStringList args { "new", m_env.Path(QStringLiteral("all.vtr")), "--units", "0,0" };
    std::set<QString> named;
    for (const QJsonValue& v : rules) {
        const QString name = v.toObject().value(QStringLiteral("name")).toString();
        const QString category = v.toObject().value(QStringLiteral("category")).toString();
        // The configurator's product rules are not written by new.
        if (v.toObject().value(QStringLiteral("module")).toString() == QLatin1String("Product Rules"))
            continue;
        if (named.insert(name.toCaseFolded() + QChar(0x1f) + category.toCaseFolded()).second)
            args << "--rule" << name << "--category" << category;
    }
    ASSERT_GT(named.size(), 200u) << "the real modules' rules";
    const QString file = args[1];
    Result r = RunTool(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    QString units;
    const Snapshot mm = RulesOf(file, &units);
    EXPECT_EQ(units, QStringLiteral("0,0"));

    r = RunTool({ "units", file, "3,3" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const Snapshot inches = RulesOf(file, &units);
    EXPECT_EQ(units, QStringLiteral("3,3"));
    // Lengths and angles were converted; every other value stayed.
    ASSERT_EQ(mm.size(), inches.size());
    int lengths = 0, angles = 0;
    for (const auto& [place, entry] : mm) {
        const Entry& now = inches.at(place);
        double a = 0, b = 0;
        const bool value = place.endsWith(QLatin1String("#text")) && !place.contains(QLatin1String("Operator"))
            && Number(entry.text, a) && Number(now.text, b);
        if (value && entry.unitType == QLatin1String("Length")) {
            ++lengths;
            EXPECT_TRUE(Close(b, a / 25.4, 1e-12)) << place.toStdString();
        } else if (value && entry.unitType == QLatin1String("Angle")) {
            ++angles;
            EXPECT_TRUE(Close(b, a * std::numbers::pi / 180.0, 1e-12)) << place.toStdString();
        } else if (value && entry.unitType == QLatin1String("Area")) {
            EXPECT_TRUE(Close(b, a / (25.4 * 25.4), 1e-12)) << place.toStdString();
        } else if (value && entry.unitType == QLatin1String("Volume")) {
            EXPECT_TRUE(Close(b, a / (25.4 * 25.4 * 25.4), 1e-12)) << place.toStdString();
        } else if (place.endsWith(QLatin1String("@LinearUnit")) || place.endsWith(QLatin1String("@AngularUnit"))) {
            EXPECT_EQ(now.text, QStringLiteral("3")) << place.toStdString(); // the rule's own pair
        } else {
            EXPECT_EQ(entry.text, now.text) << place.toStdString();
        }
    }
    EXPECT_GT(lengths, 100);
    EXPECT_GT(angles, 10);

    r = RunTool({ "units", file, "millimeters,degrees" });
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const Snapshot back = RulesOf(file, &units);
    EXPECT_EQ(units, QStringLiteral("0,0"));
    int numbers = 0;
    ExpectSameValues(mm, back, &numbers);
    EXPECT_GT(numbers, 1000);
}

TEST_F(UnitsCommandTest, AChainThroughEveryUnitComesBackWithinTheTolerance)
{
    const QString file = m_env.Path(QStringLiteral("chain.vtr"));
    const Result made = RunTool({ "new", file, "--units", "0,0", "--rule", "SM - Minimum Hole Diameter", "--rule",
        "SM - Minimum Flange Width", "--rule", "Curl - Minimum Radius" });
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    const Snapshot start = RulesOf(file);
    // Every linear and angular unit once, then home.
    const char* steps[] = { "6,1", "9,2", "10,3", "1,0", "7,1", "4,2", "8,3", "2,0", "5,1", "3,2", "0,0" };
    for (const char* step : steps) {
        const Result r = RunTool({ "units", file, step });
        ASSERT_EQ(r.code, 0) << step << r.err.toStdString();
    }
    ExpectSameValues(start, RulesOf(file));
}

TEST_F(UnitsCommandTest, RefusalsLeaveTheFileUntouched)
{
    const QString file = SmallFile(QStringLiteral("small.vtr"));
    const QString notRules = m_env.Path(QStringLiteral("notes.vtr"));
    {
        QFile f(notRules);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a rule file\n");
    }
    const struct
    {
        QStringList args;
        int code;
        const char* says;
    } cases[] = {
        { { "units", file }, 2, "usage" },
        { { "units", file, "3" }, 2, "LIN,ANG" },
        { { "units", file, "11,0" }, 2, "LIN,ANG" },
        { { "units", file, "3,4" }, 2, "LIN,ANG" },
        { { "units", file, "furlongs,degrees" }, 2, "LIN,ANG" },
        { { "units", file, "3,3", "--colour" }, 2, "unknown option" },
        { { "units", m_env.Path(QStringLiteral("missing.vtr")), "3,3" }, 2, "does not exist" },
        { { "units", notRules, "3,3" }, 2, "cannot be read" },
    };
    const QByteArray before = Read(file);
    const QByteArray notRulesBefore = Read(notRules);
    for (const auto& c : cases) {
        const Result r = RunTool(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
    EXPECT_EQ(Read(file), before);
    EXPECT_EQ(Read(notRules), notRulesBefore);
}

TEST_F(UnitsCommandTest, AFileHeldByAnotherCopyIsRefusedWithExitCode4)
{
    const QString file = SmallFile(QStringLiteral("held.vtr"));
    DocumentLock other;
    ASSERT_EQ(other.Acquire(file), FileErrorCause::None);
    const QByteArray before = Read(file);
    const Result r = RunTool({ "units", file, "3,3" });
    EXPECT_EQ(r.code, 4) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("open for writing elsewhere"))) << r.err.toStdString();
    EXPECT_EQ(Read(file), before);
    other.Release();
    EXPECT_EQ(RunTool({ "units", file, "3,3" }).code, 0);
}

TEST_F(UnitsCommandTest, AProtectedFileNeedsItsPassword)
{
    const QString file = SmallFile(QStringLiteral("protected.vtr"), { "--password", "Secret" });
    const QByteArray before = Read(file);
    const struct
    {
        QStringList extra;
        int code;
    } cases[] = { { {}, 2 }, { { "--password", "secret" }, 2 }, { { "--password", "Secret" }, 0 } };
    for (const auto& c : cases) {
        const Result r = RunTool(QStringList { "units", file, "3,3" } + c.extra);
        EXPECT_EQ(r.code, c.code) << c.extra.join(' ').toStdString() << r.err.toStdString();
        if (c.code != 0) {
            EXPECT_EQ(Read(file), before);
        }
    }
    QString units;
    RulesOf(file, &units);
    EXPECT_EQ(units, QStringLiteral("3,3"));
    const Result verify = RunTool({ "verify", file });
    EXPECT_EQ(verify.code, 0) << verify.out.toStdString() << verify.err.toStdString();
}

TEST_F(UnitsCommandTest, AProtectedFileChangedOutsideIsNotReSigned)
{
    const QString file = SmallFile(QStringLiteral("tampered.vtr"), { "--password", "Secret" });
    QByteArray text = Read(file);
    const qsizetype at = text.indexOf("<Value>1.5</Value>");
    ASSERT_GE(at, 0) << text.toStdString();
    text.replace(at, 18, "<Value>0.1</Value>");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    const Result r = RunTool({ "units", file, "3,3", "--password", "Secret" });
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_EQ(Read(file), text);
}

TEST_F(UnitsCommandTest, TheRunningProgramsAllRulesFileIsLeftAlone)
{
    const QString file = SmallFile(QStringLiteral("alone.vtr"));
    ASSERT_EQ(RunTool({ "units", file, "3,3" }).code, 0);
    QDirIterator it(
        m_env.Root(), { QStringLiteral("VTRPro_All_RuleFile.vtr") }, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_FALSE(it.hasNext()) << it.next().toStdString();
    // The same units again: nothing to do, the file is not rewritten.
    const QByteArray before = Read(file);
    const Result again = RunTool({ "units", file, "inches,radians" });
    EXPECT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_EQ(Read(file), before);
}

} // namespace
