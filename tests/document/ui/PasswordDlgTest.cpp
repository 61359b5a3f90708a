// The password dialog: masked entry, OK takes the text, Cancel takes nothing,
// an over-long password is refused with a message.

#include "TestSupport.h"
#include "document/ui/PasswordDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class PasswordDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void showsCaptionTextAndMaskedEntry()
    {
        CPasswordDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("VTRPro"));
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.Edit()->echoMode(), QLineEdit::Password);
        bool hasText = false;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            hasText = hasText || label->text() == QStringLiteral("Please enter password");
        QVERIFY(hasText);
        auto* box = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(box);
        QVERIFY(box->button(QDialogButtonBox::Ok));
        QVERIFY(box->button(QDialogButtonBox::Cancel));
    }

    void okTakesTheTypedTextAndCancelNothing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("result");
        QTest::newRow("typed, OK") << QStringLiteral("Secret 1") << true << int(QDialog::Accepted);
        QTest::newRow("empty, OK") << QString() << true << int(QDialog::Accepted);
        QTest::newRow("190 characters, OK") << QString(190, QLatin1Char('p')) << true << int(QDialog::Accepted);
        QTest::newRow("typed, Cancel") << QStringLiteral("Secret 1") << false << int(QDialog::Rejected);
    }
    void okTakesTheTypedTextAndCancelNothing()
    {
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(int, result);
        ScriptedMessages messages;
        CPasswordDlg dialog;
        dialog.show();
        QTest::keyClicks(dialog.Edit(), typed);
        auto* box = dialog.findChild<QDialogButtonBox*>();
        QTest::mouseClick(box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(dialog.result(), result);
        QCOMPARE(dialog.Password(), ok ? typed : QString());
        QVERIFY(messages.shown.empty());
    }

    void overLongPasswordIsRefusedWithAMessage()
    {
        ScriptedMessages messages;
        CPasswordDlg dialog;
        dialog.show();
        dialog.Edit()->setText(QString(191, QLatin1Char('p')));
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.Password().isEmpty());
        QCOMPARE(messages.shown.size(), size_t(1));
        QVERIFY(messages.shown[0].text.contains(QStringLiteral("190")));
        // Shortened, it goes through.
        dialog.Edit()->setText(QString(190, QLatin1Char('p')));
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Password().size(), 190);
    }

    void aNewPasswordIsTypedTwiceAndADifferenceAskedAgain()
    {
        ScriptedMessages messages;
        CPasswordDlg dialog(nullptr, CPasswordDlg::Mode::NewPassword);
        dialog.show();
        QVERIFY(dialog.EditAgain());
        QCOMPARE(dialog.EditAgain()->echoMode(), QLineEdit::Password);
        // Tab leads from the first entry to the second.
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.Edit()));
        QTest::keyClicks(dialog.Edit(), QStringLiteral("Secret"));
        QTest::keyClick(dialog.Edit(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.EditAgain()));
        QTest::keyClicks(dialog.EditAgain(), QStringLiteral("Secrte"));
        QTest::keyClick(dialog.EditAgain(), Qt::Key_Return);
        // Refused with a message, both entries emptied, asked again from the first.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(messages.shown.size(), size_t(1));
        QVERIFY(messages.shown[0].text.contains(QStringLiteral("not the same")));
        QVERIFY(dialog.Edit()->text().isEmpty());
        QVERIFY(dialog.EditAgain()->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.Edit()));
        QTest::keyClicks(dialog.Edit(), QStringLiteral("Secret"));
        QTest::keyClicks(dialog.EditAgain(), QStringLiteral("Secret"));
        QTest::keyClick(dialog.EditAgain(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Password(), QStringLiteral("Secret"));
        QCOMPARE(messages.shown.size(), size_t(1));
        // The password of a protected file is asked once.
        CPasswordDlg enter;
        QCOMPARE(enter.EditAgain(), nullptr);
    }

    void newPasswordPromptGivesTheAgreedPassword()
    {
        NewPasswordPrompt prompt = MakeNewPasswordDialogPrompt(nullptr);
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CPasswordDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog && dialog->EditAgain());
            dialog->Edit()->setText(QStringLiteral("abc"));
            dialog->EditAgain()->setText(QStringLiteral("abc"));
            dialog->accept();
        });
        QString typed;
        QString repeated;
        QVERIFY(prompt(typed, repeated));
        QCOMPARE(typed, QStringLiteral("abc"));
        QCOMPARE(repeated, QStringLiteral("abc"));
    }

    void promptRunsTheDialogModally()
    {
        PasswordPrompt prompt = MakePasswordDialogPrompt(nullptr);
        for (bool ok : { true, false }) {
            QTimer::singleShot(0, [ok] {
                auto* dialog = qobject_cast<CPasswordDlg*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->Edit()->setText(QStringLiteral("abc"));
                if (ok)
                    dialog->accept();
                else
                    dialog->reject();
            });
            QString typed;
            QCOMPARE(prompt(typed), ok);
            QCOMPARE(typed, ok ? QStringLiteral("abc") : QString());
        }
    }
};

QTEST_MAIN(PasswordDlgTest)
#include "PasswordDlgTest.moc"
