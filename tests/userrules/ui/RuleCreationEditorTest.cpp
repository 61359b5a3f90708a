// The rule-creation program component driven as a user drives it: a custom
// rule created in the editor is stored, refused names and values store
// nothing, and the stored rule goes through the rule list's tools like any other.

#include "TestSupport.h"

#include "PLQRuleConfigurator.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"
#include "userrules/RuleCreationBridge.h"
#include "userrules/UserRuleStore.h"

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

QComboBox* CellCombo(QDialog* dialog, int row, int column)
{
    return qobject_cast<QComboBox*>(Parameters(dialog)->cellWidget(row, column));
}

QStringList Entries(QComboBox* combo)
{
    QStringList out;
    // Copied: the texts may live in the editor's library, unloaded when it closes.
    for (int i = 0; combo && i < combo->count(); ++i) {
        const QString text = combo->itemText(i);
        out << QString(text.constData(), text.size());
    }
    return out;
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

// Creates "Shop Slot Width" (Milling) with one length, entered in inches, in the editor.
bool CreateSlotRule(const QString& inches, QString& error)
{
    CPLQRuleConfigurator configurator;
    CPLQRuleCreationData data(&configurator, PLQ_RULE_CREATE);
    data.m_nLinearUnit = 3;
    bool closed = false;
    const bool ran = LaunchAndDrive(
        data, QString(), QString(),
        [&](QDialog* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("Shop Slot Width"));
            dialog->findChild<QComboBox*>(QStringLiteral("category"))->setCurrentText(QStringLiteral("Milling"));
            SetParameter(
                dialog, 0, QStringLiteral("Minimum Width"), QStringLiteral(">="), QStringLiteral("length"), inches);
            ClickOk(dialog);
            closed = !dialog->isVisible();
        },
        error);
    return ran && closed && data.m_storedName == QLatin1String("Shop Slot Width");
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

    void aYesNoParameterTakesOnlyEqualsAndAddParameterOpensTheNewRowForTyping()
    {
        CPLQRuleConfigurator configurator;
        CPLQRuleCreationData data(&configurator, PLQ_RULE_CREATE);
        QString error;
        QStringList booleanOps;
        QStringList lengthOpsAgain;
        QString refusal;
        bool typingReachedTheRow = false;
        QString typed;
        const bool ran = LaunchAndDrive(
            data, QString(), QString(),
            [&](QDialog* dialog) {
                dialog->activateWindow();
                auto* add = dialog->findChild<QPushButton*>(QStringLiteral("addParameter"));
                add->setFocus();
                add->click();
                QTableWidget* table = Parameters(dialog);
                QCOMPARE(table->rowCount(), 2);
                QCOMPARE(table->currentRow(), 1);
                QCOMPARE(table->currentColumn(), 0);
                // The name cell is open, and what the user types lands in it.
                auto* editor = table->viewport()->findChild<QLineEdit*>();
                QVERIFY(editor && editor->isVisible());
                QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(editor));
                QTest::keyClicks(editor, QStringLiteral("Deburr"));
                typed = editor->text();
                QTest::keyClick(editor, Qt::Key_Return);
                QCoreApplication::processEvents(); // Return commits the cell through a queued call
                typingReachedTheRow = table->item(1, 0)->text() == QLatin1String("Deburr");

                QComboBox* op = CellCombo(dialog, 1, 1);
                QComboBox* type = CellCombo(dialog, 1, 2);
                QCOMPARE(op->currentText(), QStringLiteral(">="));
                type->setCurrentText(QStringLiteral("boolean"));
                booleanOps = Entries(op);
                QCOMPARE(op->currentText(), QStringLiteral("="));
                type->setCurrentText(QStringLiteral("length"));
                lengthOpsAgain = Entries(op);
                QCOMPARE(op->currentText(), QStringLiteral("="));

                // A yes/no with an order cannot reach the store even if the
                // list were bypassed: the check refuses it.
                type->setCurrentText(QStringLiteral("boolean"));
                op->addItem(QStringLiteral(">="));
                op->setCurrentText(QStringLiteral(">="));
                dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("Shop Deburr"));
                dialog->findChild<QComboBox*>(QStringLiteral("category"))->setCurrentText(QStringLiteral("Milling"));
                SetParameter(dialog, 0, QStringLiteral("Minimum Width"), QStringLiteral(">="), QStringLiteral("length"),
                    QStringLiteral("1"));
                table->item(1, 3)->setText(QStringLiteral("1"));
                ClickOk(dialog);
                QVERIFY(dialog->isVisible());
                refusal = dialog->findChild<QLabel*>(QStringLiteral("error"))->text();
            },
            error);
        QVERIFY2(ran, qPrintable(error));
        QCOMPARE(typed, QStringLiteral("Deburr"));
        QVERIFY(typingReachedTheRow);
        QCOMPARE(booleanOps, QStringList { QStringLiteral("=") });
        QCOMPARE(lengthOpsAgain, UserRuleDrafts::Operators());
        QVERIFY2(refusal.contains(QStringLiteral("takes only =")), qPrintable(refusal));
        QVERIFY(StoredUnder(QStringLiteral("Mill")).isEmpty());
    }

    void theListsStaleCopyOpensOnTheStoredRuleAndIsNeverWrittenOverIt()
    {
        void* library = VtrLibrary::Load(BinDir() + QStringLiteral("/PLQRuleConfiguratoru.so"));
        QVERIFY2(library, qPrintable(VtrLibrary::LastError()));
        struct Unload
        {
            void* library;
            ~Unload() { VtrLibrary::Free(library); }
        } unload { library };
        UserRuleStore store(library);
        QString error;
        QVERIFY2(CreateSlotRule(QStringLiteral("0.25"), error), qPrintable(error));

        // The list's copy of the rule, in a document in inches, as the list read it.
        CPLQRuleConfigurator listed;
        listed.SetRuleUnits({ 3, 0 });
        {
            const UserRuleStore::Entry read
                = store.Find(QStringLiteral("Shop Slot Width"), QStringLiteral("Milling"), error);
            QVERIFY(read.rule);
            QVERIFY(UserRuleDrafts::TakeStored(listed, *read.rule));
        }
        QVERIFY(qAbs(listed.Items().front().Child(QStringLiteral("Value"))->text.toDouble() - 0.25) < 1e-9);

        // Tarvo > Edit stores a new definition; the program learns its name.
        CPLQRuleConfigurator editing;
        CPLQRuleCreationData edit(&editing, PLQ_RULE_EDIT);
        edit.m_nLinearUnit = 3;
        QVERIFY(LaunchAndDrive(
            edit, QStringLiteral("Shop Slot Width"), QStringLiteral("Milling"),
            [&](QDialog* dialog) {
                Parameters(dialog)->item(0, 3)->setText(QStringLiteral("0.5"));
                ClickOk(dialog);
                if (dialog->isVisible())
                    error = dialog->findChild<QLabel*>(QStringLiteral("error"))->text();
            },
            error));
        QVERIFY2(edit.m_storedName == QLatin1String("Shop Slot Width"), qPrintable(error));
        QCOMPARE(edit.m_storedCategory, QStringLiteral("Milling"));

        // Configure rule on the stale row opens the stored rule, not the copy,
        // and says so; OK writes it and the copy takes it.
        CPLQRuleCreationData fromList(&listed, PLQ_RULE_EDIT_FROM_LIST);
        fromList.m_nLinearUnit = 3;
        QString shown;
        QString notice;
        QVERIFY(LaunchAndDrive(
            fromList, QString(), QString(),
            [&](QDialog* dialog) {
                shown = Parameters(dialog)->item(0, 3)->text();
                auto* label = dialog->findChild<QLabel*>(QStringLiteral("notice"));
                const QString text = label ? label->text() : QString();
                notice = QString(text.constData(), text.size()); // the editor's library is unloaded after

                dialog->findChild<QComboBox*>(QStringLiteral("criticality"))->setCurrentText(QStringLiteral("Low"));
                ClickOk(dialog);
            },
            error));
        QCOMPARE(shown, QStringLiteral("0.5"));
        QVERIFY2(notice.contains(QStringLiteral("stored again")), qPrintable(notice));
        QVERIFY(qAbs(listed.Items().front().Child(QStringLiteral("Value"))->text.toDouble() - 0.5) < 1e-9);
        QCOMPARE(listed.GetCriticality(), 4);
        QStringList stored = StoredUnder(QStringLiteral("Mill"));
        QCOMPARE(stored.size(), 1);
        QVERIFY2(stored[0].contains(QStringLiteral("<Value>12.7</Value>")), qPrintable(stored[0]));

        // A write stored while the editor is open makes its copy stale: OK is
        // refused and the newer rule stays.
        QString refusal;
        bool stillOpen = false;
        CPLQRuleCreationData again(&listed, PLQ_RULE_EDIT_FROM_LIST);
        again.m_nLinearUnit = 3;
        QVERIFY(LaunchAndDrive(
            again, QString(), QString(),
            [&](QDialog* dialog) {
                QVERIFY(!dialog->findChild<QLabel*>(QStringLiteral("notice"))); // the copy is current now
                const UserRuleStore::Entry other
                    = store.Find(QStringLiteral("Shop Slot Width"), QStringLiteral("Milling"), error);
                UserRuleDraft elsewhere = UserRuleDrafts::FromRule(*other.rule, other.key, {});
                elsewhere.parameters[0].value = QStringLiteral("20");
                QVERIFY(store.Store(elsewhere, {}, elsewhere.name, elsewhere.category, error));
                Parameters(dialog)->item(0, 3)->setText(QStringLiteral("1"));
                ClickOk(dialog);
                stillOpen = dialog->isVisible();
                refusal = dialog->findChild<QLabel*>(QStringLiteral("error"))->text();
            },
            error));
        QVERIFY(stillOpen);
        QVERIFY2(refusal.contains(QStringLiteral("changed and stored after this copy was read")), qPrintable(refusal));
        stored = StoredUnder(QStringLiteral("Mill"));
        QCOMPARE(stored.size(), 1);
        QVERIFY2(stored[0].contains(QStringLiteral("<Value>20</Value>")), qPrintable(stored[0]));
        QCOMPARE(again.m_storedName, QString());
    }

private:
    std::unique_ptr<ScopedTestEnv> m_env;
};

QTEST_MAIN(RuleCreationEditorTest)
#include "RuleCreationEditorTest.moc"
