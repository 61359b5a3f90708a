#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

namespace {

class RulesCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* module : { "VtrMillRulesu.so", "VTRAssemblyRulesu.so", "VtrTestModuleu.so" })
            if (!QFile::exists(BinDir() + QLatin1Char('/') + QLatin1String(module)))
                GTEST_SKIP() << module << " is not built";
        // Two modules with product rules around one without a configurator key.
        QFile ini(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n"
                                 " module1=%1/VtrMillRulesu.so\n"
                                 " module2=%1/VtrTestModuleu.so\n"
                                 " module3=%1/VTRAssemblyRulesu.so\n"
                                 " [RULE_DATABASE_MODULES]\n"
                                 " module1=%1/VtrSqliteDatabaseu.so\n")
                      .arg(BinDir())
                      .toUtf8());
    }

    ScopedTestEnv env;
};

// Module names of consecutive runs of rules, in output order.
QStringList ModuleRuns(const QJsonArray& rules)
{
    QStringList runs;
    for (const QJsonValue& v : rules) {
        const QString module = v.toObject().value(QStringLiteral("module")).toString();
        if (runs.isEmpty() || runs.last() != module)
            runs << module;
    }
    return runs;
}

TEST_F(RulesCommandTest, ListsModuleRulesEachFollowedByItsProductRules)
{
    const ToolRun json = RunTool({ QStringLiteral("rules"), QStringLiteral("--format"), QStringLiteral("json") });
    ASSERT_EQ(json.code, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString());
    ASSERT_TRUE(document.isArray());
    const QJsonArray rules = document.array();

    const QStringList runs = ModuleRuns(rules);
    ASSERT_EQ(runs.size(), 5) << qPrintable(runs.join(QLatin1String(" | ")));
    EXPECT_EQ(runs[1], QStringLiteral("Product Rules"));
    EXPECT_EQ(runs[4], QStringLiteral("Product Rules"));
    for (int i : { 0, 2, 3 })
        EXPECT_NE(runs[i], QStringLiteral("Product Rules"));

    QList<int> productIds;
    const char* const words[] = { "Medium", "Critical", "High", "Medium", "Low", "Insignificant" };
    for (const QJsonValue& v : rules) {
        const QJsonObject rule = v.toObject();
        const int severity = rule.value(QStringLiteral("severity")).toInt();
        EXPECT_EQ(rule.value(QStringLiteral("criticality")).toString(),
            QLatin1String(words[severity >= 1 && severity <= 5 ? severity : 0]));
        EXPECT_FALSE(rule.value(QStringLiteral("name")).toString().isEmpty());
        if (rule.value(QStringLiteral("module")).toString() == QLatin1String("Product Rules"))
            productIds << rule.value(QStringLiteral("helpId")).toInt();
    }
    EXPECT_EQ(productIds, (QList<int> { 900001, 900002, 900201 }));

    // The text form lists the same rules, one a line with five fields.
    const ToolRun text = RunTool({ QStringLiteral("rules") });
    ASSERT_EQ(text.code, 0);
    const QList<QByteArray> lines = text.out.toUtf8().trimmed().split('\n');
    ASSERT_EQ(lines.size(), rules.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        ASSERT_EQ(fields.size(), 5) << lines[i].constData();
        const QJsonObject rule = rules[i].toObject();
        EXPECT_EQ(fields[0].toInt(), rule.value(QStringLiteral("helpId")).toInt());
        EXPECT_EQ(QString::fromUtf8(fields[1]), rule.value(QStringLiteral("name")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[2]), rule.value(QStringLiteral("category")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[3]), rule.value(QStringLiteral("module")).toString());
        EXPECT_EQ(QString::fromUtf8(fields[4]), rule.value(QStringLiteral("criticality")).toString());
    }
}

// The "Selected" attribute of the named rule's element in a rule file.
QString SelectedFlag(const QString& path, const QString& rule)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable>");
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("Rule")
            && xml.attributes().value(QLatin1String("Name")) == rule)
            return xml.attributes().value(QLatin1String("Selected")).toString();
    }
    return QStringLiteral("<missing>");
}

// The rule lines of `show`: "name<TAB>category" of every rule the file holds.
QStringList ShownRules(const QString& path)
{
    const ToolRun shown = RunTool({ QStringLiteral("show"), path });
    EXPECT_EQ(shown.code, 0) << qPrintable(shown.err);
    EXPECT_FALSE(shown.out.contains(QLatin1String("not offered"))) << qPrintable(shown.out);
    QStringList rules;
    for (const QString& line : shown.out.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 4 && fields[0].toInt() > 0)
            rules << fields[1] + QLatin1Char('\t') + fields[2];
    }
    rules.sort();
    return rules;
}

TEST_F(RulesCommandTest, EveryListedRuleIsAcceptedByNewSelectAndDeselect)
{
    const ToolRun listed = RunTool({ QStringLiteral("rules"), QStringLiteral("--format"), QStringLiteral("json") });
    ASSERT_EQ(listed.code, 0);
    QStringList all;
    QStringList products;
    QStringList newArguments = { QStringLiteral("new"), env.Path(QStringLiteral("every.vtr")) };
    for (const QJsonValue& v : QJsonDocument::fromJson(listed.out.toUtf8()).array()) {
        const QJsonObject rule = v.toObject();
        const QString name = rule.value(QStringLiteral("name")).toString();
        const QString category = rule.value(QStringLiteral("category")).toString();
        all << name + QLatin1Char('\t') + category;
        if (rule.value(QStringLiteral("module")).toString() == QLatin1String("Product Rules"))
            products << name;
        newArguments << QStringLiteral("--rule") << name << QStringLiteral("--category") << category;
    }
    all.sort();
    ASSERT_GT(all.size(), 40);
    ASSERT_EQ(products.size(), 3);
    const QString path = newArguments[1];
    QString withoutProduct;
    for (const QString& rule : all)
        if (withoutProduct.isEmpty() && !products.contains(rule.section(QLatin1Char('\t'), 0, 0)))
            withoutProduct = rule.section(QLatin1Char('\t'), 0, 0);

    // Every listed rule, product rules among them, goes into a new file and reads back.
    const ToolRun made = RunTool(newArguments);
    ASSERT_EQ(made.code, 0) << qPrintable(made.err);
    EXPECT_TRUE(made.out.contains(QStringLiteral(": %1 rule(s) written").arg(all.size()))) << qPrintable(made.out);
    EXPECT_EQ(ShownRules(path), all);

    // The rule list opens the file with all of them ticked: a select that
    // saves loses none of them.
    const ToolRun ticked = RunTool({ QStringLiteral("select"), path, QStringLiteral("--rule"), products[0] });
    ASSERT_EQ(ticked.code, 0) << qPrintable(ticked.err);
    EXPECT_TRUE(ticked.out.contains(QStringLiteral(": %1 of ").arg(all.size()))) << qPrintable(ticked.out);
    EXPECT_EQ(ShownRules(path), all);

    // Product rules are unticked and ticked again by name; an unticked rule
    // stays in the file, marked not selected.
    const ToolRun unticked
        = RunTool(QStringList { QStringLiteral("deselect"), path, QStringLiteral("--rule") } + products);
    ASSERT_EQ(unticked.code, 0) << qPrintable(unticked.err);
    EXPECT_EQ(ShownRules(path), all);
    for (const QString& product : products)
        EXPECT_EQ(SelectedFlag(path, product), QStringLiteral("0")) << qPrintable(product);
    EXPECT_EQ(SelectedFlag(path, withoutProduct), QStringLiteral("1"));
    const ToolRun again = RunTool(QStringList { QStringLiteral("select"), path, QStringLiteral("--rule") } + products);
    ASSERT_EQ(again.code, 0) << qPrintable(again.err);
    EXPECT_EQ(ShownRules(path), all);
    for (const QString& product : products)
        EXPECT_EQ(SelectedFlag(path, product), QStringLiteral("1")) << qPrintable(product);
}

TEST_F(RulesCommandTest, RejectsUnknownArguments)
{
    for (const char* arguments : { "rules --format xml", "rules --format", "rules --verbose" })
        EXPECT_EQ(RunTool(QString::fromUtf8(arguments).split(QLatin1Char(' '))).code, 2) << arguments;
    EXPECT_EQ(RunTool({ QStringLiteral("rules"), QStringLiteral("--format=text") }).code, 0);
}

} // namespace
