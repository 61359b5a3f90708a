// The two dialogs of custom-message storing: the centralized-database
// warning, and the import error dialog whose link opens the log.

#include "RecordingOpener.h"
#include "TestSupport.h"

#include "custommsg/ui/VTRCustomMsgErrorDlg.h"
#include "custommsg/ui/VTRCustomMsgWarningDlg.h"
#include "Utilities/ui/HyperLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <QUrl>

class CustomMessageDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void warningSaysWhereMessagesGoAndOkAccepts()
    {
        for (bool ok : { true, false }) {
            CVTRCustomMsgWarningDlg dlg { QString() };
            QCOMPARE(dlg.windowTitle(), QStringLiteral("VTRPro"));
            QCOMPARE(dlg.TextLabel()->text(),
                QStringLiteral("Custom Message gets added in to centralized VTRPro database."));
            dlg.show();
            (ok ? dlg.OkButton() : dlg.CancelButton())->click();
            QCOMPARE(dlg.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
    }

    void errorDialogLinkOpensTheLog()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("Messages_log.txt"));
        QFile f(log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Duplicate Help ID List\n");
        f.close();

        RecordingOpener opener;
        ScriptedMessages messages;
        CVTRCustomMsgErrorDlg dlg(log, QString {});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("VTRPro"));
        QCOMPARE(dlg.Text()->text(), QStringLiteral("Custom Message imported with errors : "));
        QCOMPARE(dlg.Link()->text(), QStringLiteral("Click here"));
        QCOMPARE(dlg.Details()->text(), QStringLiteral("for details."));
        QCOMPARE(dlg.Link()->CurrentColor(), QColor(0, 0, 255));
        QVERIFY(dlg.Link()->font().underline());

        // The program's one file opener shows the log, as it shows an exported sheet.
        QTest::mouseClick(dlg.Link(), Qt::LeftButton, {}, dlg.Link()->rect().center());
        QTRY_COMPARE(opener.Opened(), QStringList { log });
        QVERIFY(messages.shown.empty());
        QVERIFY(dlg.Link()->IsVisited());

        // Without an opener on the desktop the click says so, naming the log.
        ScopedTestEnv env;
        env.Set("VTRPRO_FILE_OPENER", QStringLiteral("/nonexistent/xdg-open"));
        QTest::mouseClick(dlg.Link(), Qt::LeftButton, {}, dlg.Link()->rect().center());
        QCOMPARE(messages.shown.size(), size_t(1));
        QVERIFY2(messages.shown[0].text.contains(log), qPrintable(messages.shown[0].text));
        QVERIFY(dlg.isVisible());
        dlg.OkButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    // Writes the documentation's picture when VTRPRO_SCREENSHOT names a file.
    void screenshot()
    {
        const QString target = qEnvironmentVariable("VTRPRO_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("VTRPRO_SCREENSHOT not set");
        CVTRCustomMsgErrorDlg dlg(QStringLiteral("/tmp/VTRProTemp/Messages_log.txt"), QStringLiteral("help"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY(dlg.grab().save(target));
    }
};

QTEST_MAIN(CustomMessageDialogsTest)
#include "CustomMessageDialogsTest.moc"
