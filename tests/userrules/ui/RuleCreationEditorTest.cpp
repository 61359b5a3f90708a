// The rule-creation program component driven as a user drives it: a custom
// rule created in the editor is stored, refused names and values store
// nothing, and the stored rule goes through the rule list's tools like any other.

#include "TestSupport.h"

#include "PLQRuleConfigurator.h"
#include "VTRDataHelper.h"
#include "userrules/RuleCreationBridge.h"

#include <functional>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

namespace {
QString BridgePath()
{
    return BinDir() + QStringLiteral("/PLQRuleCreationGUIBridge.so");
}

vtr_db::IDatabaseCollector* Database()
{
    return vtr_db::VTRDataHelper::getInstance()->GetCollector();
}

QStringList StoredUnder(const QString& key)
{
    QStringList elements;
    if (Database())
        Database()->GetUserRules(key, elements);
    return elements;
}

// Runs the driver on the editor once it is open, then launches; returns
// whether the driver ran.
bool LaunchAndDrive(CPLQRuleCreationData& data, const QString& name, const QString& category,
    const std::function<void(QDialog*)>& driver, QString& error)
{
    bool ran = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("userRuleEditor"))
            return;
        poll->stop();
        ran = true;
        driver(dialog);
        if (dialog->isVisible())
            dialog->reject(); // a driver that failed must not leave the editor open
    });
    poll->start(10);
    const bool launched = RuleCreationBridge::LaunchFrom(BridgePath(), nullptr, name, category, &data, error);
    delete poll;
    return launched && ran;
}

void ClickOk(QDialog* dialog)
{
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

QTableWidget* Parameters(QDialog* dialog)
{
    return dialog->findChild<QTableWidget*>(QStringLiteral("parameters"));
}

void SetParameter(
    QDialog* dialog, int row, const QString& name, const QString& op, const QString& type, const QString& value)
{
    QTableWidget* table = Parameters(dialog);
    table->item(row, 0)->setText(name);
    qobject_cast<QComboBox*>(table->cellWidget(row, 1))->setCurrentText(op);
    qobject_cast<QComboBox*>(table->cellWidget(row, 2))->setCurrentText(type);
    table->item(row, 3)->setText(value);
}
} // namespace

class RuleCreationEditorTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!QFile::exists(BridgePath()))
            QSKIP("the rule-creation program is not built");
        m_env = std::make_unique<ScopedTestEnv>();
        // The database follows each test's folder only after a release.
        if (Database())
            Database()->Release();
        QVERIFY2(Database(), "the database module did not load");
        QFile ini(m_env->DataSettings() + QStringLiteral("ConfigModule.ini"));
        QVERIFY(QDir().mkpath(m_env->DataSettings()));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral(" [RULE_CONFIGURATION_MODULES]\n module1=%1/VtrMillRulesu.so\n"
                                 " [RULE_DATABASE_MODULES]\n module1=%1/VtrSqliteDatabaseu.so\n")
                      .arg(BinDir())
                      .toUtf8());
    }
    void cleanup()
    {
        if (Database())
            Database()->Release();
        m_env.reset();
    }

    void aCustomRuleIsRefusedUntilRightThenStoredAndUsableEverywhere()
    {
        CPLQRuleConfigurator configurator;
        configurator.SetProductRule(false);
        CPLQRuleCreationData data(&configurator, PLQ_RULE_CREATE);
        data.m_nLinearUnit = 3; // inches
        data.m_nAngularUnit = 0;
        data.m_ruleNameTable.insert(QStringLiteral("custom rules"), { QStringLiteral("shop rib") });

        QStringList refusals;
        QString error;
        const bool ran = LaunchAndDrive(
            data, QString(), QString(),
            [&](QDialog* dialog) {
                auto* error = dialog->findChild<QLabel*>(QStringLiteral("error"));
                auto* module = dialog->findChild<QComboBox*>(QStringLiteral("module"));
                QCOMPARE(module->currentText(), QStringLiteral("Custom Rules"));
                dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("SHOP RIB"));
                dialog->findChild<QComboBox*>(QStringLiteral("category"))->setCurrentText(QStringLiteral("Milling"));
                dialog->findChild<QComboBox*>(QStringLiteral("criticality"))->setCurrentText(QStringLiteral("High"));
                SetParameter(dialog, 0, QStringLiteral("Minimum Width"), QStringLiteral(">="), QStringLiteral("length"),
                    QStringLiteral("a quarter"));
                ClickOk(dialog);
                QVERIFY(dialog->isVisible());
                refusals << error->text();
                QVERIFY(StoredUnder(QStringLiteral("Mill")).isEmpty());

                dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("Shop Slot Width"));
                ClickOk(dialog);
                QVERIFY(dialog->isVisible());
                refusals << error->text();
                QVERIFY(StoredUnder(QStringLiteral("Mill")).isEmpty());

                Parameters(dialog)->item(0, 3)->setText(QStringLiteral("0.25"));
                QVERIFY(error->isHidden()); // the refusal goes once its value is changed
                dialog->findChild<QPushButton*>(QStringLiteral("addParameter"))->click();
                SetParameter(dialog, 1, QStringLiteral("Deburr"), QStringLiteral("="), QStringLiteral("boolean"),
                    QStringLiteral("yes"));
                // The README's screenshot, written when VTRPRO_RULE_EDITOR_SCREENSHOT names a file.
                const QString shot = qEnvironmentVariable("VTRPRO_RULE_EDITOR_SCREENSHOT");
                if (!shot.isEmpty()) {
                    dialog->findChild<QPlainTextEdit*>(QStringLiteral("summary"))
                        ->setPlainText(QStringLiteral("Slots must take the shop's smallest slot cutter."));
                    QApplication::processEvents();
                    QDir().mkpath(QFileInfo(shot).absolutePath());
                    QVERIFY(dialog->grab().save(shot));
                }
                ClickOk(dialog);
                QVERIFY(!dialog->isVisible());
            },
            error);
        QVERIFY2(ran, qPrintable(error));
        QCOMPARE(refusals.size(), 2);
        QVERIFY2(
            refusals[0].contains(QStringLiteral("already has a rule named \"SHOP RIB\"")), qPrintable(refusals[0]));
        QVERIFY2(refusals[1].contains(QStringLiteral("needs a number, not \"a quarter\"")), qPrintable(refusals[1]));

        // Stored once, in millimetres, under the key of its category's module.
        const QStringList stored = StoredUnder(QStringLiteral("Mill"));
        QCOMPARE(stored.size(), 1);
        QVERIFY2(stored[0].contains(QStringLiteral("<Value>6.35</Value>")), qPrintable(stored[0]));

        // The rule list's tools see it, write it into a file and read it back.
        Database()->Release(); // the tool writes nothing, but reads afresh
        const ToolRun rules = RunTool({ QStringLiteral("rules"), QStringLiteral("--format"), QStringLiteral("json") });
        QCOMPARE(rules.code, 0);
        bool listed = false;
        for (const QJsonValue& v : QJsonDocument::fromJson(rules.out.toUtf8()).array()) {
            const QJsonObject r = v.toObject();
            if (r.value(QStringLiteral("name")).toString() == QLatin1String("Shop Slot Width")) {
                listed = true;
                QCOMPARE(r.value(QStringLiteral("module")).toString(), QStringLiteral("Custom Rules"));
                QCOMPARE(r.value(QStringLiteral("criticality")).toString(), QStringLiteral("High"));
            }
        }
        QVERIFY2(listed, qPrintable(rules.out));

        const QString file = m_env->Path(QStringLiteral("shop.vtr"));
        const ToolRun written = RunTool({ QStringLiteral("new"), file, QStringLiteral("--rule"),
            QStringLiteral("Shop Slot Width"), QStringLiteral("--units"), QStringLiteral("3,0") });
        QVERIFY2(written.code == 0, qPrintable(written.err));
        const ToolRun shown = RunTool({ QStringLiteral("show"), file });
        QCOMPARE(shown.code, 0);
        QVERIFY2(shown.out.contains(QStringLiteral("Shop Slot Width")), qPrintable(shown.out));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString xml = QString::fromUtf8(saved.readAll());
        QVERIFY2(xml.contains(QStringLiteral("Severity=\"2\"")), qPrintable(xml));
        QVERIFY2(xml.contains(QStringLiteral("<Value>0.25</Value>")), qPrintable(xml)); // the file is in inches
        QVERIFY2(xml.contains(QStringLiteral("Name=\"Deburr\"")), qPrintable(xml));
    }

    void editingFromTheListChangesTheListedRuleAndTheStoredOne()
    {
        // A custom rule as the list holds it in a document in inches.
        CPLQRuleConfigurator listed;
        listed.SetRuleName(QStringLiteral("Shop Slot Width"));
        listed.SetRuleCategory(QStringLiteral("Milling"));
        listed.SetCriticality(2);
        listed.SetRuleUnits({ 3, 0 });
        VtrRuleItem parameter { QStringLiteral("Parameter"),
            { { QStringLiteral("Name"), QStringLiteral("Minimum Width") },
                { QStringLiteral("UnitType"), QStringLiteral("Length") } },
            {},
            { { QStringLiteral("Operator"), {}, QStringLiteral(">="), {} },
                { QStringLiteral("ParameterType"), {}, QStringLiteral("Double"), {} },
                { QStringLiteral("Value"), {}, QStringLiteral("0.25"), {} } } };
        listed.Items().push_back(parameter);
        CPLQRuleCreationData data(&listed, PLQ_RULE_EDIT_FROM_LIST);
        data.m_nLinearUnit = 3;
        data.m_ruleNameTable.insert(QStringLiteral("custom rules"), { QStringLiteral("shop slot width") });

        QString error;
        QString shownValue;
        const bool ran = LaunchAndDrive(
            data, QString(), QString(),
            [&](QDialog* dialog) {
                shownValue = Parameters(dialog)->item(0, 3)->text();
                dialog->findChild<QComboBox*>(QStringLiteral("criticality"))->setCurrentText(QStringLiteral("Low"));
                Parameters(dialog)->item(0, 3)->setText(QStringLiteral("0.5"));
                ClickOk(dialog); // its own name is not taken
            },
            error);
        QVERIFY2(ran, qPrintable(error));
        QCOMPARE(shownValue, QStringLiteral("0.25"));
        QCOMPARE(listed.GetCriticality(), 4);
        QCOMPARE(listed.GetRuleUnits(), (RuleUnits { 3, 0 }));
        QCOMPARE(listed.Items().front().Child(QStringLiteral("Value"))->text, QStringLiteral("0.5"));
        const QStringList stored = StoredUnder(QStringLiteral("Mill"));
        QCOMPARE(stored.size(), 1);
        QVERIFY2(stored[0].contains(QStringLiteral("<Value>12.7</Value>")), qPrintable(stored[0]));
        QVERIFY2(stored[0].contains(QStringLiteral("Severity=\"4\"")), qPrintable(stored[0]));
    }

    void editProductRuleLoadsTheShippedRuleAndCancelStoresNothing()
    {
        CPLQRuleConfigurator configurator;
        configurator.SetProductRule(true);
        CPLQRuleCreationData data(&configurator, PLQ_RULE_EDIT);
        QString error;
        QString module;
        QString value;
        const bool ran = LaunchAndDrive(
            data, QStringLiteral("product - maximum pocket depth"), QStringLiteral("Milling"),
            [&](QDialog* dialog) {
                module = dialog->findChild<QComboBox*>(QStringLiteral("module"))->currentText();
                value = Parameters(dialog)->item(0, 3)->text();
                dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
            },
            error);
        QVERIFY2(ran, qPrintable(error));
        QCOMPARE(module, QStringLiteral("Mill"));
        QCOMPARE(value, QStringLiteral("50"));
        QVERIFY(StoredUnder(QStringLiteral("Mill")).isEmpty());
    }

private:
    std::unique_ptr<ScopedTestEnv> m_env;
};

QTEST_MAIN(RuleCreationEditorTest)
#include "RuleCreationEditorTest.moc"
