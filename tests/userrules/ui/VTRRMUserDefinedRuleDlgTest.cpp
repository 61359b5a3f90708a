// The criticality dialog of user-defined rules: the five words, the entry a
// rule opens with, OK and Cancel.

#include "ConcreteVTRRule.h"
#include "userrules/ui/VTRRMUserDefinedRuleDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

class UserDefinedRuleDlgTest : public QObject
{
    Q_OBJECT

private slots:
    void opensWithTheRulesEntryAndStoresTheChoiceOnOk_data()
    {
        QTest::addColumn<int>("criticality");
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("choose"); // entry picked before OK, -1 for none
        QTest::addColumn<int>("stored");
        QTest::newRow("0 opens Critical, OK stores 1") << 0 << 0 << -1 << 1;
        QTest::newRow("6 opens Critical") << 6 << 0 << -1 << 1;
        QTest::newRow("1 opens Critical") << 1 << 0 << -1 << 1;
        QTest::newRow("4 opens Low") << 4 << 3 << -1 << 4;
        QTest::newRow("5 opens Insignificant, High chosen") << 5 << 4 << 1 << 2;
    }
    void opensWithTheRulesEntryAndStoresTheChoiceOnOk()
    {
        QFETCH(int, criticality);
        QFETCH(int, entry);
        QFETCH(int, choose);
        QFETCH(int, stored);
        ConcreteVTRRule rule;
        rule.SetCriticality(criticality);
        CVTRRMUserDefinedRuleDlg dlg(&rule);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("User Defined Rule"));
        QComboBox* combo = dlg.Combo();
        QStringList words;
        for (int i = 0; i < combo->count(); ++i)
            words << combo->itemText(i);
        QCOMPARE(words, (QStringList { "Critical", "High", "Medium", "Low", "Insignificant" }));
        QCOMPARE(combo->currentIndex(), entry);
        if (choose >= 0)
            combo->setCurrentIndex(choose);
        QCOMPARE(rule.GetCriticality(), criticality); // nothing before OK
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(rule.GetCriticality(), stored);
    }

    void cancelAndAMissingSelectionLeaveTheRuleAsItWas()
    {
        ConcreteVTRRule rule;
        rule.SetCriticality(3);
        {
            CVTRRMUserDefinedRuleDlg dlg(&rule);
            dlg.Combo()->setCurrentIndex(0);
            dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QCOMPARE(rule.GetCriticality(), 3);
        }
        CVTRRMUserDefinedRuleDlg dlg(&rule);
        dlg.Combo()->setCurrentIndex(-1);
        dlg.accept();
        QCOMPARE(rule.GetCriticality(), 3);
        QCOMPARE(dlg.Combo()->currentIndex(), 2); // the rule's entry again
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(UserDefinedRuleDlgTest)
#include "VTRRMUserDefinedRuleDlgTest.moc"
