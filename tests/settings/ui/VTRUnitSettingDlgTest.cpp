// The rule input units dialog: its lists, the entries selected on opening,
// OK writing the pair and the stored default, closing it changing nothing.

#include "TestSupport.h"
#include "PLQSettingUtil.h"
#include "settings/RuleUnitSettings.h"
#include "settings/ui/VTRUnitSettingDlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {
QString Setting(uint16_t id)
{
    QString text;
    return CPLQSettingUtil::GetSettingWStringValue(id, text) ? text : QStringLiteral("<unset>");
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}
} // namespace

class VTRUnitSettingDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void listsTheUnitsInTheirOrderUnderItsCaption()
    {
        RuleUnits units { 3, 3 };
        CVTRUnitSettingDlg dialog(&units);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Rule Input Units"));
        QCOMPARE(Items(dialog.LinearCombo()),
            (QStringList { "angstroms", "nanometers", "microns", "millimeters", "centimeters", "meters", "microinches",
                "miles", "inches", "feet" }));
        QCOMPARE(Items(dialog.AngularCombo()),
            (QStringList { "degrees", "degrees/minutes", "degrees/minutes/seconds", "radians" }));
        QCOMPARE(dialog.LinearCombo()->currentText(), QStringLiteral("inches"));
        QCOMPARE(dialog.AngularCombo()->currentText(), QStringLiteral("radians"));
        // OK only: closing the window cancels.
        const auto buttons = dialog.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first()->text(), QStringLiteral("OK"));
    }

    void okWritesThePairAndTheDefault()
    {
        ScopedTestEnv env;
        RuleUnits units { 0, 0 };
        CVTRUnitSettingDlg dialog(&units);
        dialog.show();
        dialog.LinearCombo()->setCurrentIndex(8);
        emit dialog.LinearCombo()->activated(8);
        dialog.AngularCombo()->setCurrentIndex(3);
        QCOMPARE(dialog.Form().LastLinearText(), QStringLiteral("inches"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(units, (RuleUnits { 3, 3 }));
        QCOMPARE(Setting(23), QStringLiteral("inches"));
        QCOMPARE(Setting(24), QStringLiteral("radians"));
    }

    void escapeChangesNothing()
    {
        ScopedTestEnv env;
        RuleUnits units { 0, 0 };
        CVTRUnitSettingDlg dialog(&units);
        dialog.show();
        dialog.LinearCombo()->setCurrentIndex(8);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(units, (RuleUnits { 0, 0 }));
        QCOMPARE(Setting(23), QStringLiteral("<unset>"));
        QCOMPARE(Setting(24), QStringLiteral("<unset>"));
    }

    void feetAndInchesShowsNoEntryAndStaysOnOk()
    {
        ScopedTestEnv env;
        RuleUnits units { 5, 0 };
        CVTRUnitSettingDlg dialog(&units);
        dialog.show();
        QCOMPARE(dialog.LinearCombo()->currentIndex(), -1);
        QCOMPARE(dialog.LinearCombo()->placeholderText(), QStringLiteral("feet & inches"));
        dialog.accept();
        QCOMPARE(units, (RuleUnits { 5, 0 }));
        QCOMPARE(Setting(23), QStringLiteral("feet & inches"));
        QCOMPARE(Setting(24), QStringLiteral("degrees"));
    }
};

QTEST_MAIN(VTRUnitSettingDlgTest)
#include "VTRUnitSettingDlgTest.moc"
