// The hyperlink label and the program's file dialog.
#include "RecordingOpener.h"
#include "TestSupport.h"
#include "Utilities/FileDialogService.h"
#include "Utilities/ui/ExtendedDialogDlg.h"
#include "Utilities/ui/HyperLink.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {
// A parent that records the notifications of its links.
class NotifyCatcher : public QWidget
{
public:
    QList<int> ids;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == CHyperLinkNotifyEvent::kType) {
            ids << static_cast<CHyperLinkNotifyEvent*>(e)->ControlId();
            return true;
        }
        return QWidget::event(e);
    }
};

// Answers the next modal file dialog from inside its event loop.
void AnswerFileDialog(std::function<void(QFileDialog*)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            AnswerFileDialog(answer); // not shown yet: try again on the next turn
            return;
        }
        answer(dialog);
    });
}
} // namespace

class AppControlsTest : public QObject
{
    Q_OBJECT
private slots:
    void colorRefsConvertWithBlueInTheHighByte_data()
    {
        QTest::addColumn<uint>("colorRef");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("link blue") << 0xff0000u << QColor(0, 0, 255);
        QTest::newRow("hover red") << 0x0000ffu << QColor(255, 0, 0);
        QTest::newRow("visited") << 0x8f2205u << QColor(QStringLiteral("#05228f"));
        QTest::newRow("mixed") << 0x123456u << QColor(0x56, 0x34, 0x12);
    }
    void colorRefsConvertWithBlueInTheHighByte()
    {
        QFETCH(uint, colorRef);
        QFETCH(QColor, expected);
        QCOMPARE(CHyperLink::FromColorRef(colorRef), expected);
    }

    void linkColourFollowsHoverAndVisited()
    {
        NotifyCatcher parent;
        auto* link = new CHyperLink(QStringLiteral("site"), &parent);
        link->SetNotifyParent(true);
        // Away from the pointer's resting place, so the link starts unhovered.
        parent.resize(200, 100);
        link->move(60, 40);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QEvent leaveFirst(QEvent::Leave);
        QApplication::sendEvent(link, &leaveFirst);
        QCOMPARE(link->CurrentColor(), QColor(0, 0, 255));
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);

        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(link, &enter);
        QVERIFY(link->IsOver());
        QCOMPARE(link->CurrentColor(), QColor(255, 0, 0));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(link->CurrentColor(), QColor(0, 0, 255));

        QTest::mouseClick(link, Qt::LeftButton);
        QVERIFY(link->IsVisited());
        QCOMPARE(link->CurrentColor(), QColor(QStringLiteral("#05228f")));
        // A visited link keeps its colour while hovered.
        QApplication::sendEvent(link, &enter);
        QCOMPARE(link->CurrentColor(), QColor(QStringLiteral("#05228f")));
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(QStringLiteral("#05228f")));
    }

    void notifyParentTellsTheParentAndOpensNothing()
    {
        RecordingOpener opener;
        NotifyCatcher parent;
        auto* link = new CHyperLink(QStringLiteral("site"), &parent);
        link->SetTarget(QStringLiteral("https://example.com/"));
        link->SetControlId(1001);
        link->SetNotifyParent(true);
        QSignalSpy clicked(link, &CHyperLink::Clicked);
        parent.show();
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(parent.ids, QList<int> { 1001 });
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.first().first().toInt(), 1001);
        QTest::qWait(200);
        QVERIFY(opener.Opened().isEmpty());
    }

    void clickWithoutNotifyOpensTheTargetWithTheFileOpener_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("opened");
        QTest::newRow("address") << QStringLiteral("https://example.com/page")
                                 << QStringLiteral("https://example.com/page");
        QTest::newRow("address without a scheme") << QStringLiteral("www.example.com")
                                                  << QStringLiteral("http://www.example.com");
        const QString file = QDir::temp().absoluteFilePath(QStringLiteral("vtrpro-link-target.txt"));
        QTest::newRow("file") << file << file;
    }
    void clickWithoutNotifyOpensTheTargetWithTheFileOpener()
    {
        QFETCH(QString, target);
        QFETCH(QString, opened);
        QFile file(QDir::temp().absoluteFilePath(QStringLiteral("vtrpro-link-target.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        RecordingOpener opener;
        ScriptedMessages messages;
        NotifyCatcher parent;
        auto* link = new CHyperLink(QStringLiteral("site"), &parent);
        link->SetTarget(target);
        parent.show();
        QTest::mouseClick(link, Qt::LeftButton);
        QTRY_COMPARE(opener.Opened(), QStringList { opened });
        QVERIFY(parent.ids.isEmpty());
        QVERIFY(messages.shown.empty());
        // A right click is not a click on the link.
        QTest::mouseClick(link, Qt::RightButton);
        QTest::qWait(200);
        QCOMPARE(opener.Opened().size(), 1);
        file.remove();
    }

    void aTargetThatCannotBeOpenedIsSaid_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        const QString file = QDir::temp().absoluteFilePath(QStringLiteral("vtrpro-link-target.txt"));
        QTest::newRow("no opener on this desktop") << QStringLiteral("/nonexistent/xdg-open") << file
                                                   << QStringLiteral("could not be started");
        QTest::newRow("the file is gone") << QStringLiteral("true")
                                          << QDir::temp().absoluteFilePath(QStringLiteral("vtrpro-no-such-log.txt"))
                                          << QStringLiteral("does not exist");
    }
    void aTargetThatCannotBeOpenedIsSaid()
    {
        QFETCH(QString, opener);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QFile file(QDir::temp().absoluteFilePath(QStringLiteral("vtrpro-link-target.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        ScopedTestEnv env;
        env.Set("VTRPRO_FILE_OPENER", opener);
        ScriptedMessages messages;
        NotifyCatcher parent;
        auto* link = new CHyperLink(QStringLiteral("Click here"), &parent);
        link->SetTarget(target);
        parent.show();
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), size_t(1));
        QVERIFY2(messages.shown[0].text.contains(target), qPrintable(messages.shown[0].text));
        QVERIFY2(messages.shown[0].text.contains(reason), qPrintable(messages.shown[0].text));
        QCOMPARE(messages.shown[0].icon, MsgIcon::Warning);
        file.remove();
    }

    void tooltipTextOnlyWhenEnabled()
    {
        CHyperLink link(QStringLiteral("site"));
        link.SetTooltipText(QStringLiteral("ignored"));
        QCOMPARE(link.toolTip(), QString());
        link.EnableTooltip(true);
        link.SetTooltipText(QStringLiteral("Visit us"));
        QCOMPARE(link.toolTip(), QStringLiteral("Visit us"));
        link.EnableTooltip(false);
        QCOMPARE(link.toolTip(), QString());
    }

    void filtersConvertToQtNameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        // Each filter names its patterns once, as Qt reads them from the
        // parentheses; a description's own pattern text gives way to the
        // patterns that apply, and "*.*" means every file as it did on Windows.
        QTest::newRow("one") << QStringLiteral("VTRPro(*.vtr)|*.vtr||")
                             << QStringList { QStringLiteral("VTRPro (*.vtr)") };
        QTest::newRow("two") << QStringLiteral("VTRPro(*.vtr)|*.vtr|All Files(*.*)|*.*||")
                             << QStringList { QStringLiteral("VTRPro (*.vtr)"), QStringLiteral("All Files (*)") };
        QTest::newRow("several patterns")
            << QStringLiteral("Sheets|*.xls;*.xlsx||") << QStringList { QStringLiteral("Sheets (*.xls *.xlsx)") };
        QTest::newRow("described patterns with blanks") << QStringLiteral("XLS Files (*.xls;*.xlsx)|*.xls; *.xlsx|")
                                                        << QStringList { QStringLiteral("XLS Files (*.xls *.xlsx)") };
        QTest::newRow("description names other patterns")
            << QStringLiteral("Rules (*.xml)|*.vtr||") << QStringList { QStringLiteral("Rules (*.vtr)") };
        QTest::newRow("parentheses inside the description") << QStringLiteral(
            "Rules (old) files|*.vtr||") << QStringList { QStringLiteral("Rules (old) files (*.vtr)") };
        QTest::newRow("parentheses that name no pattern")
            << QStringLiteral("Rules (old)|*.vtr||") << QStringList { QStringLiteral("Rules (old) (*.vtr)") };
        QTest::newRow("no description") << QStringLiteral("(*.vtr)|*.vtr||") << QStringList { QStringLiteral("*.vtr") };
        QTest::newRow("no closing bars") << QStringLiteral("Rules|*.vtr")
                                         << QStringList { QStringLiteral("Rules (*.vtr)") };
        QTest::newRow("odd entry dropped")
            << QStringLiteral("Rules|*.vtr|Lonely||") << QStringList { QStringLiteral("Rules (*.vtr)") };
        QTest::newRow("empty") << QString() << QStringList {};
    }
    void filtersConvertToQtNameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(CExtendedDialogDlg::ConvertFilter(filter), expected);
    }

    void pathChecksFollowTheFlags()
    {
        ScopedTestEnv env;
        const QString existing = env.Path(QStringLiteral("a.vtr"));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString missingFile = env.Path(QStringLiteral("b.vtr"));
        const QString missingFolder = env.Path(QStringLiteral("nowhere/c.vtr"));
        using namespace FileDialogFlags;
        QVERIFY(CExtendedDialogDlg::CheckPath(existing, true, kFileMustExist).isEmpty());
        QVERIFY(!CExtendedDialogDlg::CheckPath(missingFile, true, kFileMustExist).isEmpty());
        QVERIFY(CExtendedDialogDlg::CheckPath(missingFile, false, kOverwritePrompt | kPathMustExist).isEmpty());
        QVERIFY(!CExtendedDialogDlg::CheckPath(missingFolder, false, kOverwritePrompt | kPathMustExist).isEmpty());
        QVERIFY(CExtendedDialogDlg::CheckPath(missingFolder, false, 0).isEmpty());
        QVERIFY(!CExtendedDialogDlg::CheckPath(QString(), false, 0).isEmpty());
    }

    void cancelReturnsTwoAndNoPath()
    {
        ScopedTestEnv env;
        CExtendedDialogDlg dialog(false, env.Root(), QStringLiteral("Save As"), QStringLiteral(".vtr"),
            QStringLiteral("x.vtr"), FileDialogFlags::kOverwritePrompt | FileDialogFlags::kPathMustExist,
            QStringLiteral("VTRPro(*.vtr)|*.vtr||"));
        QString title;
        QString shownFilter;
        bool overwriteConfirm = false;
        AnswerFileDialog([&](QFileDialog* d) {
            title = d->windowTitle();
            if (auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                shownFilter = types->currentText();
            overwriteConfirm = !d->testOption(QFileDialog::DontConfirmOverwrite);
            d->reject();
        });
        QCOMPARE(dialog.DoModal(), 2);
        QCOMPARE(dialog.GetPathName(), QString());
        QCOMPARE(title, QStringLiteral("Save As"));
        QCOMPARE(shownFilter, QStringLiteral("VTRPro (*.vtr)"));
        QVERIFY(overwriteConfirm);
    }

    void acceptReturnsOneWithThePathAndDefaultExtension()
    {
        ScopedTestEnv env;
        CExtendedDialogDlg dialog(false, env.Root(), QStringLiteral("Save As"), QStringLiteral(".vtr"), QString(),
            FileDialogFlags::kPathMustExist, QStringLiteral("VTRPro(*.vtr)|*.vtr||"));
        AnswerFileDialog([](QFileDialog* d) {
            d->findChild<QLineEdit*>()->setText(QStringLiteral("chosen"));
            static_cast<QDialog*>(d)->accept(); // QFileDialog::accept checks the path
        });
        QCOMPARE(dialog.DoModal(), 1);
        QCOMPARE(dialog.GetPathName(), QDir(env.Root()).filePath(QStringLiteral("chosen.vtr")));
    }

    void dialogsStartInTheLastFolderUsedElseTheDocumentsFolder()
    {
        ScopedTestEnv env;
        FileDialogDefaults::SetStore(nullptr); // nothing used yet
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY(QDir().mkpath(documents));
        const QString used = env.Path(QStringLiteral("used"));
        const QString given = env.Path(QStringLiteral("given"));
        QVERIFY(QDir().mkpath(used));
        QVERIFY(QDir().mkpath(given));

        // Nothing given, nothing used: the documents folder, under the title of what it does.
        QString startedIn;
        QString title;
        CExtendedDialogDlg save(false, QString(), QString(), QStringLiteral(".vtr"), QString(),
            FileDialogFlags::kPathMustExist, QStringLiteral("VTRPro(*.vtr)|*.vtr||"));
        AnswerFileDialog([&](QFileDialog* d) {
            startedIn = d->directory().absolutePath();
            title = d->windowTitle();
            d->setDirectory(used);
            d->findChild<QLineEdit*>()->setText(QStringLiteral("chosen"));
            static_cast<QDialog*>(d)->accept();
        });
        QCOMPARE(save.DoModal(), 1);
        QCOMPARE(startedIn, QDir(documents).absolutePath());
        QCOMPARE(title, QStringLiteral("Save As"));
        QCOMPARE(save.GetPathName(), QDir(used).filePath(QStringLiteral("chosen.vtr")));

        struct Step
        {
            const char* what;
            QString initial;
            QString expected;
        };
        const Step steps[] = {
            { "the last folder used", QString(), used },
            { "a folder given", given, given },
            { "a file given is no folder", QDir(used).filePath(QStringLiteral("chosen.vtr")), used },
        };
        for (const Step& step : steps) {
            CExtendedDialogDlg open(true, step.initial, QString(), QString(), QString(), 0, QString());
            AnswerFileDialog([&](QFileDialog* d) {
                startedIn = d->directory().absolutePath();
                title = d->windowTitle();
                d->reject();
            });
            QCOMPARE(open.DoModal(), 2);
            QVERIFY2(startedIn == QDir(step.expected).absolutePath(), step.what);
            QCOMPARE(title, QStringLiteral("Open"));
        }
        // The last folder went away: the documents folder again.
        QVERIFY(QDir(used).removeRecursively());
        QCOMPARE(FileDialogDefaults::StartFolder(QString()), documents);

        // With the profile as store the last folder is there for the next run.
        QSettings profile(env.Path(QStringLiteral("profile.ini")), QSettings::IniFormat);
        FileDialogDefaults::SetStore(&profile);
        FileDialogDefaults::RememberChosen(QDir(given).filePath(QStringLiteral("a.vtr")));
        FileDialogDefaults::SetStore(nullptr);
        QCOMPARE(FileDialogDefaults::StartFolder(QString()), documents);
        FileDialogDefaults::SetStore(&profile);
        QCOMPARE(FileDialogDefaults::StartFolder(QString()), given);
        FileDialogDefaults::SetStore(nullptr);
    }

    void openDialogWantsAnExistingFile()
    {
        CExtendedDialogDlg dialog(true, QString(), QStringLiteral("Browse"), QString(), QString(),
            FileDialogFlags::kExplorer | FileDialogFlags::kFileMustExist | FileDialogFlags::kHideReadOnly,
            QStringLiteral("Modules (*.so)|*.so||"));
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        QFileDialog::AcceptMode accept = QFileDialog::AcceptSave;
        QStringList filters;
        AnswerFileDialog([&](QFileDialog* d) {
            mode = d->fileMode();
            accept = d->acceptMode();
            filters = d->nameFilters();
            d->reject();
        });
        QCOMPARE(dialog.DoModal(), 2);
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(accept, QFileDialog::AcceptOpen);
        QCOMPARE(filters, QStringList { QStringLiteral("Modules (*.so)") });
    }
};

QTEST_MAIN(AppControlsTest)
#include "ControlsTest.moc"
