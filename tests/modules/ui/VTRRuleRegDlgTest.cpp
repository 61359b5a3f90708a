// The registration dialog: what it shows on opening, the enabling of its
// buttons as modules move, Load, Browse, Reset, help, and its screenshot.
#include "TestSupport.h"

#include "VtrLibrary.h"
#include "modules/ModuleLists.h"
#include "modules/ui/VTRRuleRegDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
struct Setup
{
    ScopedTestEnv env;
    ScriptedMessages messages;
    ScriptedFileDialogs dialogs;
    ModuleSet modules;
    QString extra;

    Setup()
    {
        QDir().mkpath(env.Path(QStringLiteral("libs")));
        extra = env.Path(QStringLiteral("libs/Extra.so"));
        QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), extra);
        for (const char* name : { "VtrMillRulesu", "VtrSMRulesu", "VTRIMRulesu" }) {
            const QString path = KnownModules::PathInProgramFolder(QLatin1String(name));
            modules.configuredRuleModules << path;
            modules.loadedRuleModules.Add(VtrLibrary::Load(path));
        }
        const QString db = KnownModules::PathInProgramFolder(KnownModules::DefaultDatabaseModule());
        modules.configuredDbModules << db;
        modules.loadedDbModules.Add(VtrLibrary::Load(db));
    }
    ~Setup() { UnloadAllModules(modules); }
};

QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}
} // namespace

class VTRRuleRegDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void opensWithTheLoadedModulesAndOnlyCancelToPress()
    {
        Setup s;
        CVTRRuleConfigModuleRegDlg dlg(s.modules);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Register Rule Module"));
        QCOMPARE(Texts(dlg.LoadedList()),
            QStringList({ QStringLiteral("Prismatic Mill Rules"), QStringLiteral("Sheet Metal Rules"),
                QStringLiteral("Injection Molding Rules") }));
        QCOMPARE(dlg.UnloadedList()->count(), 13);
        QVERIFY(!dlg.LoadedList()->item(0)->icon().isNull());
        QCOMPARE(dlg.LoadedList()->currentRow(), 0);
        QCOMPARE(dlg.UnloadedList()->currentRow(), 0);
        QCOMPARE(dlg.ModuleFileField()->text(), s.modules.configuredRuleModules.first());
        QVERIFY(!dlg.SummaryField()->toPlainText().isEmpty());
        QVERIFY(!dlg.OkButton()->isEnabled());
        QVERIFY(!dlg.ResetButton()->isEnabled());
        QVERIFY(!dlg.LoadButton()->isEnabled());
        QVERIFY(dlg.UnloadOneButton()->isEnabled());
        QVERIFY(dlg.LoadOneButton()->isEnabled());
        QVERIFY(dlg.LoadAllButton()->isEnabled());
    }

    void movingModulesEnablesOkUntilTheListIsEmpty()
    {
        Setup s;
        CVTRRuleConfigModuleRegDlg dlg(s.modules);
        dlg.LoadedList()->setCurrentRow(1);
        dlg.UnloadOneButton()->click();
        QCOMPARE(Texts(dlg.LoadedList()).size(), 2);
        QVERIFY(Texts(dlg.UnloadedList()).contains(QStringLiteral("Sheet Metal Rules")));
        QVERIFY(dlg.OkButton()->isEnabled());
        QVERIFY(dlg.ResetButton()->isEnabled());

        dlg.UnloadAllButton()->click();
        QCOMPARE(dlg.LoadedList()->count(), 0);
        QVERIFY(!dlg.OkButton()->isEnabled());
        QVERIFY(!dlg.UnloadOneButton()->isEnabled());
        QCOMPARE(dlg.UnloadedList()->count(), 16);

        dlg.LoadAllButton()->click();
        QCOMPARE(dlg.LoadedList()->count(), 16);
        QCOMPARE(dlg.UnloadedList()->count(), 0);
        QVERIFY(!dlg.LoadOneButton()->isEnabled());
        QVERIFY(dlg.OkButton()->isEnabled());

        dlg.ResetButton()->click();
        QCOMPARE(dlg.LoadedList()->count(), 3);
        QVERIFY(!dlg.OkButton()->isEnabled());
        QVERIFY(!dlg.ResetButton()->isEnabled());
        QVERIFY(s.messages.shown.empty());
    }

    void loadAddsTheTypedLibraryAndEmptiesTheField()
    {
        Setup s;
        CVTRRuleConfigModuleRegDlg dlg(s.modules);
        QTest::keyClicks(dlg.NewModuleField(), QStringLiteral("x"));
        QVERIFY(dlg.LoadButton()->isEnabled());
        QVERIFY(dlg.LoadButton()->isDefault());
        dlg.NewModuleField()->clear();
        QVERIFY(!dlg.LoadButton()->isEnabled());

        s.dialogs.Answer(s.extra);
        dlg.BrowseButton()->click();
        QCOMPARE(dlg.NewModuleField()->text(), s.extra);
        QCOMPARE(s.dialogs.asked.size(), size_t(1));
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Module Select"));
        QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("Rule Modules(*.so)|*.so||"));
        dlg.LoadButton()->click();
        QVERIFY(dlg.NewModuleField()->text().isEmpty());
        QCOMPARE(Texts(dlg.LoadedList()).last(), QStringLiteral("Test Rules"));
        QCOMPARE(dlg.LoadedList()->currentRow(), 3);
        QCOMPARE(dlg.ModuleFileField()->text(), s.extra);
        QCOMPARE(dlg.SummaryField()->toPlainText(), QStringLiteral("Rules that exist only for the tests."));
        QVERIFY(dlg.OkButton()->isEnabled());

        // The same library again is refused with its message; the field is emptied all the same.
        dlg.NewModuleField()->setText(s.extra);
        dlg.LoadButton()->click();
        QCOMPARE(s.messages.shown.size(), size_t(1));
        QCOMPARE(s.messages.shown[0].text, QStringLiteral("Rule Module %1 is already configured.").arg(s.extra));
        QCOMPARE(dlg.LoadedList()->count(), 4);
        QVERIFY(dlg.NewModuleField()->text().isEmpty());
    }

    void helpAndTitleFollowTheKind()
    {
        Setup s;
        int asked = 0;
        {
            CVTRRuleConfigModuleRegDlg rules(s.modules);
            rules.SetHelp([&asked](int id) { asked = id; });
            QTest::keyClick(&rules, Qt::Key_F1);
            QCOMPARE(asked, 1020);
        }
        CVTRRuleDBModuleRegDlg db(s.modules);
        db.SetHelp([&asked](int id) { asked = id; });
        QTest::keyClick(&db, Qt::Key_F1);
        QCOMPARE(asked, 1031);
        QCOMPARE(db.windowTitle(), QStringLiteral("Register Database Module"));
        QCOMPARE(Texts(db.LoadedList()), QStringList({ QStringLiteral("Product Database") }));
        QCOMPARE(db.UnloadedList()->count(), 0);
    }

    // Writes the screenshot of the documentation when VTRPRO_SCREENSHOT names a file.
    void screenshot()
    {
        const QString target = qEnvironmentVariable("VTRPRO_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("VTRPRO_SCREENSHOT not set");
        Setup s;
        CVTRRuleConfigModuleRegDlg dlg(s.modules);
        dlg.NewModuleField()->setText(s.extra);
        dlg.LoadButton()->click();
        dlg.LoadedList()->setCurrentRow(1);
        dlg.resize(640, 480);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY(dlg.grab().save(target));
    }
};

QTEST_MAIN(VTRRuleRegDlgTest)
#include "VTRRuleRegDlgTest.moc"
