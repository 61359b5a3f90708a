// The application object: start-up order, resources, command line, command
// enabling and routing, usage events, looks, help, recent files, about box.
#include "AppRun.h"
#include "HostileFiles.h"
#include "PLQSettingUtil.h"
#include "RuleEditor.h"
#include "TestSupport.h"
#include "VTRDataHelper.h"
#include "app/CommandTable.h"
#include "app/ui/AboutDlg.h"
#include "app/ui/ApplicationLook.h"
#include "app/ui/RibbonBar.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "app/ui/WindowsDlg.h"
#include "modules/ExternalEditors.h"
#include "VTRFrameWrkUtils.h"
#include "VtrWindowPlacement.h"
#include "document/VTRRuleBuilderDoc.h"
#include "settings/ui/SearchDlg.h"
#include "settings/ui/VTRRMScriptLocnDlg.h"
#include "settings/ui/VTRUnitSettingDlg.h"
#include "Utilities/StringTable.h"
#include "Utilities/ui/HyperLink.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "VtrLibrary.h"
#include "VtrRule.h"

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <memory>
#include <source_location>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
// Writes a translation file that QTranslator accepts (header only, no messages).
void WriteEmptyTranslation(const QString& folder)
{
    QDir().mkpath(folder);
    static const unsigned char magic[]
        = { 0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95, 0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd };
    QFile f(folder + QStringLiteral("/VTRRuleBuilderResu.qm"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(magic), sizeof(magic));
}

// Index of the first log line containing text after position from, or -1.
qsizetype Find(const QString& log, const QString& text, qsizetype from = 0)
{
    return log.indexOf(text, from);
}

// Closes modal dialogs the tests wait for. Each closer retries on every turn
// of the event loop until a modal dialog shows or its deadline passes; the
// test's cleanup stops whatever is left, so no closer (nor the locals its
// callback captured) reaches into a later test.
class ModalClosers
{
public:
    struct Pending
    {
        std::function<void(QWidget*)> inspect;
        QDeadlineTimer deadline;
        int line = 0;
        bool closed = false;
        bool gaveUp = false;
    };

    // Starts a closer; callers keep the result only to look at its state.
    std::shared_ptr<Pending> Add(std::function<void(QWidget*)> inspect, std::chrono::milliseconds patience, int line)
    {
        auto pending = std::make_shared<Pending>();
        pending->inspect = std::move(inspect);
        pending->deadline = QDeadlineTimer(patience);
        pending->line = line;
        m_pending.push_back(pending);
        Retry(pending);
        return pending;
    }

    // Stops every closer and returns a failure text naming those that met no
    // dialog (empty when all of them closed one).
    QString Finish()
    {
        m_context = std::make_unique<QObject>(); // drops the queued retries
        QString missed;
        for (const auto& pending : m_pending) {
            if (!pending->closed)
                missed += QStringLiteral("no modal dialog appeared for the closer started at line %1%2\n")
                              .arg(pending->line)
                              .arg(pending->gaveUp ? QStringLiteral(" before its deadline") : QString());
        }
        m_pending.clear();
        return missed;
    }

private:
    void Retry(const std::shared_ptr<Pending>& pending)
    {
        QTimer::singleShot(0, m_context.get(), [this, pending] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                if (pending->deadline.hasExpired()) {
                    pending->gaveUp = true;
                    return;
                }
                Retry(pending);
                return;
            }
            pending->closed = true;
            pending->inspect(modal);
            modal->close();
        });
    }

    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
    std::vector<std::shared_ptr<Pending>> m_pending;
};
ModalClosers g_modals;

// Long enough for a dialog whose command loads a library under the sanitizer.
constexpr std::chrono::seconds kModalPatience { 10 };

// Closes the next modal dialog once it is shown and reports what it was.
std::shared_ptr<ModalClosers::Pending> CloseNextModal(std::function<void(QWidget*)> inspect,
    std::chrono::milliseconds patience = kModalPatience, std::source_location where = std::source_location::current())
{
    return g_modals.Add(std::move(inspect), patience, int(where.line()));
}

// Material editors that only record how they were called.
struct EditorCall
{
    QString editor;
    void* parent;
    QStringList processes;
};
std::vector<EditorCall> g_editorCalls;

MaterialEditorEntries RecordingEditors()
{
    MaterialEditorEntries e;
    e.launchProcessMap = [](void* parent, QStringList processes, bool) {
        g_editorCalls.push_back({ QStringLiteral("map"), parent, processes });
    };
    e.launchProperties = [](void* parent) { g_editorCalls.push_back({ QStringLiteral("property"), parent, {} }); };
    e.launchThreadData = [](void* parent) { g_editorCalls.push_back({ QStringLiteral("thread"), parent, {} }); };
    return e;
}

QStringList UsageLines(const ScopedTestEnv& env)
{
    QFile f(env.DataSettings() + QStringLiteral("UsageEvents.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}
} // namespace

class AppStartupTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        const QString missed = g_modals.Finish();
        if (!missed.isEmpty())
            QFAIL(qPrintable(missed));
    }

    void modalCloserGivesUpAtItsDeadlineAndEndsWithItsTest()
    {
        bool touched = false;
        auto closer = CloseNextModal([&touched](QWidget*) { touched = true; }, std::chrono::milliseconds(50));
        QTRY_VERIFY(closer->gaveUp);
        QVERIFY(g_modals.Finish().contains(QStringLiteral("before its deadline")));

        // One still waiting when its test ends is reported and then stopped:
        // the dialog of a later test is not touched.
        auto left = CloseNextModal([&touched](QWidget*) { touched = true; });
        QVERIFY(g_modals.Finish().contains(QStringLiteral("no modal dialog appeared")));
        QDialog dialog;
        QTimer::singleShot(100, &dialog, &QDialog::reject);
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!touched);
        QVERIFY(!left->closed);
    }

    void startUpRunsItsStepsInOrderAndShutsDown()
    {
        AppRun run;
        QVERIFY(run.Start());
        CMainFrame* frame = run.Frame();
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->InformationText(), QStringLiteral("Ready."));
        QCOMPARE(frame->Children().size(), 1);
        QVERIFY(frame->Children().first()->isMaximized());
        QCOMPARE(frame->MdiArea()->viewMode(), QMdiArea::SubWindowView);
        QVERIFY(run.app->Context().UnitsEnabled());

        // The all-rules file this copy wrote, to be removed at exit.
        QString allRules = run.app->Context().LastAllRulesFile();
        if (allRules.isEmpty()) {
            allRules = run.env.Path(QStringLiteral("allrules.vtr"));
            run.app->Context().SetLastAllRulesFile(allRules);
        }
        QFile f(allRules);
        if (!f.exists()) {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
        }
        QCOMPARE(run.app->ExitInstance(), 0);
        QVERIFY(!QFile::exists(allRules));

        const QString log = ReadLog();
        const QStringList steps = {
            "Start-up 1:",
            "Start-up 2:",
            "Start-up 3:",
            "Start-up 4:",
            "Start-up 5:",
            "Start-up 6: first copy",
            "Start-up 9: profile key VTRPro/",
            "Start-up 11:",
            "Start-up 13:",
            "Start-up 14: main frame created",
            "Start-up 16:",
            "Start-up 18:",
            "Start-up 20: new document",
            "Start-up 21: ready",
            "Shutdown 2:",
        };
        qsizetype at = 0;
        for (const QString& step : steps) {
            const qsizetype found = Find(log, step, at);
            QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing or out of order: ") + step));
            at = found;
        }
        QCOMPARE(Find(log, QStringLiteral("Start-up 19:")), -1);
    }

    void aFifoInPlaceOfTheProfileNeitherHangsStartUpNorIsWrittenOver()
    {
        AppRun run;
        const QString fifo = run.options.profileFile;
        QVERIFY(MakeFifo(fifo));
        FifoWatchdog watchdog(fifo);
        QVERIFY(run.Start());
        run.Frame()->close();
        QCOMPARE(run.app->ExitInstance(), 0);
        run.app.reset();
        QVERIFY2(!watchdog.Finish(), "start-up waited to read the FIFO");
        QVERIFY(QFileInfo::exists(fifo));
        QVERIFY(!QFileInfo(fifo).isFile());
        QVERIFY(ReadLog().contains(QStringLiteral("Settings file %1 not used: ").arg(fifo)));
    }

    void resourceFolderFollowsTheTranslationThatLoaded_data()
    {
        QTest::addColumn<bool>("localizedHasFile");
        QTest::addColumn<bool>("defaultHasFile");
        QTest::addColumn<bool>("expectLocalized");
        QTest::addColumn<bool>("expectLoaded");
        QTest::newRow("localized") << true << true << true << true;
        QTest::newRow("fallback to default") << false << true << false << true;
        QTest::newRow("none: program strings") << false << false << false << false;
    }
    void resourceFolderFollowsTheTranslationThatLoaded()
    {
        QFETCH(bool, localizedHasFile);
        QFETCH(bool, defaultHasFile);
        QFETCH(bool, expectLocalized);
        QFETCH(bool, expectLoaded);
        AppRun run;
        const QString localized = run.env.Path(QStringLiteral("res/german"));
        const QString fallback = run.env.Path(QStringLiteral("res/english"));
        QDir().mkpath(localized);
        QDir().mkpath(fallback);
        if (localizedHasFile)
            WriteEmptyTranslation(localized);
        if (defaultHasFile)
            WriteEmptyTranslation(fallback);
        run.options.localizedResPath = localized;
        run.options.defaultResPath = fallback;
        QVERIFY(run.Start());
        const QString folder = expectLocalized ? localized : fallback;
        QCOMPARE(run.app->Context().ResourceFolder(), folder);
        QCOMPARE(run.app->HelpFilePath(), folder + QStringLiteral("/vtrpro.chm"));
        QCOMPARE(!run.app->ResourceLibraryPath().isEmpty(), expectLoaded);
        QCOMPARE(run.app->LastTriedResourcePath(), folder + QStringLiteral("/VTRRuleBuilderResu.qm"));
        QVERIFY(run.messages.shown.empty());
        // The program's own strings stay whatever loaded.
        QCOMPARE(run.app->AppName(), QStringLiteral("VTRPro Rule Manager"));
    }

    void missingCommandLineFileIsReportedAndANewDocumentOpens()
    {
        AppRun run;
        const QString missing = run.env.Path(QStringLiteral("gone.vtr"));
        QVERIFY(run.Start({ missing }));
        QCOMPARE(run.messages.shown.size(), size_t(1));
        QCOMPARE(run.messages.shown[0].text, QStringLiteral("File %1 could not be opened.").arg(missing));
        QCOMPARE(run.messages.shown[0].caption, QStringLiteral("VTRRuleBuilder"));
        QCOMPARE(run.messages.shown[0].icon, MsgIcon::Error);
        QCOMPARE(run.Frame()->Children().size(), 1);
        // A new, untitled document: its path names no file.
        QVERIFY(run.Frame()->ActiveDocument()->GetPathName() != missing);
        QVERIFY(!QFile::exists(run.Frame()->ActiveDocument()->GetPathName()));
        QVERIFY(!run.Frame()->ActiveDocument()->IsModified());
        QCOMPARE(run.Frame()->InformationText(), QStringLiteral("Ready."));
    }

    void commandLineFileOpensAndJoinsTheRecentList()
    {
        AppRun run;
        QVERIFY(run.Start());
        const QString file = run.env.Path(QStringLiteral("given.vtr"));
        QVERIFY(run.Frame()->ActiveDocument()->OnSaveDocument(file));
        run.app->ExitInstance();
        run.app.reset();

        QVERIFY(run.Start({ QStringLiteral("-style=fusion"), file }));
        QCOMPARE(run.Frame()->Children().size(), 1);
        QCOMPARE(run.Frame()->ActiveDocument()->GetPathName(), file);
        QCOMPARE(run.app->RecentFiles().value(0), file);
        QVERIFY(run.Frame()->windowTitle().startsWith(run.Frame()->ActiveDocument()->GetTitle()));
        QVERIFY(run.Frame()->windowTitle().endsWith(QStringLiteral(" - VTRPro Rule Manager")));
        // Opening it again activates the open window instead of a second one.
        QVERIFY(run.app->OpenDocumentFile(file));
        QCOMPARE(run.Frame()->Children().size(), 1);
    }

    void vtrRuleArgumentEndsWithoutAWindow()
    {
        AppRun run;
        QVERIFY(!run.Start({ QStringLiteral("/tmp/Custom.VtrRule") }));
        QVERIFY(!run.Frame() || !run.Frame()->isVisible());
        QVERIFY(!run.Frame() || run.Frame()->Children().isEmpty());
        QVERIFY(run.messages.shown.empty());
        QCOMPARE(run.app->ExitInstance(), 0);
    }

    void unitsCommandFollowsStartUpAndTheLastDocument()
    {
        AppRun run;
        QVERIFY(run.Start());
        QAction* units = run.Frame()->Action(CmdId::ID_RULE_INPUT_UNITS);
        QVERIFY(units->isEnabled());
        run.app->Context().SetConfigureRuleEnabled(true);
        QVERIFY(run.app->OnFileNew());
        QCOMPARE(run.Frame()->Children().size(), 2);
        // Closing one of two keeps the flags.
        run.Command(CmdId::ID_FILE_CLOSE);
        QTRY_COMPARE(run.Frame()->Children().size(), 1);
        QVERIFY(units->isEnabled());
        run.Command(CmdId::ID_FILE_CLOSE);
        QTRY_COMPARE(run.Frame()->Children().size(), 0);
        QTRY_VERIFY(!units->isEnabled());
        QVERIFY(!run.app->Context().ConfigureRuleEnabled());
        QVERIFY(!run.Frame()->Action(CmdId::ID_CONFIGURE_RULE)->isEnabled());
        QVERIFY(!run.Frame()->Action(CmdId::ID_FILE_SAVE)->isEnabled());
        QCOMPARE(run.Frame()->windowTitle(), QStringLiteral("VTRPro Rule Manager"));
        // A new document enables it again.
        run.Command(CmdId::ID_FILE_NEW);
        QCOMPARE(run.Frame()->Children().size(), 1);
        QVERIFY(units->isEnabled());
    }

    void everyCommandIsEnabledByItsFlag()
    {
        AppRun run;
        QVERIFY(run.Start());
        AppContext& c = run.app->Context();
        using Setter = std::function<void(bool)>;
        const std::vector<std::pair<std::vector<int>, Setter>> flagged = {
            { { CmdId::ID_RULE_INPUT_UNITS }, [&](bool on) { c.SetUnitsEnabled(on); } },
            { { CmdId::ID_CONFIGURE_RULE }, [&](bool on) { c.SetConfigureRuleEnabled(on); } },
            { { CmdId::ID_EDIT_CUSTOM_RULE }, [&](bool on) { c.SetEditCustomRuleEnabled(on); } },
            { { CmdId::ID_EDIT_PRODUCT_RULE }, [&](bool on) { c.SetEditProductRuleEnabled(on); } },
            { { CmdId::ID_MAP_MATERIAL, CmdId::ID_MATERIAL_PROPERTY }, [&](bool on) { c.SetMaterialDataFlag(on); } },
        };
        for (const auto& [ids, set] : flagged) {
            for (bool on : { false, true, false }) {
                set(on);
                for (int id : ids)
                    QVERIFY2(run.Frame()->Action(id)->isEnabled() == on, qPrintable(QString::number(id)));
            }
        }
        // With every flag off, the rest of the application's commands stay on.
        for (int id :
            { 57600, 57601, 32775, 32776, 61602, 32773, 32774, 246, 61762, 32781, 32783, 32785, 32786, 57664 })
            QVERIFY2(run.Frame()->Action(id)->isEnabled(), qPrintable(QString::number(id)));
        // A disabled command does nothing when it arrives anyway.
        run.messages.shown.clear();
        run.Command(CmdId::ID_EDIT_CUSTOM_RULE);
        QVERIFY(run.messages.shown.empty());
    }

    void unitsCommandChangesTheActiveDocumentsUnits()
    {
        AppRun run;
        QVERIFY(run.Start());
        CVTRRuleBuilderDoc* doc = run.Frame()->ActiveDocument();
        QVERIFY(doc);
        const RuleUnits before = doc->CurrentUnits();
        QCOMPARE(before, (RuleUnits { 0, 0 }));

        bool shown = false;
        CloseNextModal([&shown](QWidget* modal) { shown = qobject_cast<CVTRUnitSettingDlg*>(modal) != nullptr; });
        run.Command(CmdId::ID_RULE_INPUT_UNITS);
        QVERIFY(shown);
        QCOMPARE(doc->CurrentUnits(), before);

        CloseNextModal([](QWidget* modal) {
            if (auto* dialog = qobject_cast<CVTRUnitSettingDlg*>(modal)) {
                dialog->LinearCombo()->setCurrentIndex(8);
                dialog->AngularCombo()->setCurrentIndex(3);
                dialog->accept();
            }
        });
        run.Command(CmdId::ID_RULE_INPUT_UNITS);
        QCOMPARE(doc->CurrentUnits(), (RuleUnits { 3, 3 }));
        QCOMPARE(doc->PreviousUnits(), before);
        QVERIFY(doc->IsModified()); // other units must not be lost on close
        QString text;
        QVERIFY(CPLQSettingUtil::GetSettingWStringValue(23, text));
        QCOMPARE(text, QStringLiteral("inches"));
        QVERIFY(CPLQSettingUtil::GetSettingWStringValue(24, text));
        QCOMPARE(text, QStringLiteral("radians"));
        // The view took hint 3: the all-rules file holds the new units.
        QFile allRules(run.app->Context().LastAllRulesFile());
        QVERIFY(allRules.open(QIODevice::ReadOnly));
        QVERIFY(allRules.readAll().contains("Unit=\"3\" AngularUnit=\"3\""));
        QVERIFY(run.messages.shown.empty());

        // Without a document the command shows nothing. Other units mark the
        // file modified; closing it unsaved asks nothing here.
        doc->SetModifiedFlag(false);
        run.Command(CmdId::ID_FILE_CLOSE);
        QTRY_COMPARE(run.Frame()->Children().size(), 0);
        run.app->Context().SetUnitsEnabled(true);
        run.messages.shown.clear();
        // A dialog shown by mistake is closed by the next turn of its loop;
        // the timer dies with this test, so no later dialog meets it.
        bool opened = false;
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [&opened] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        guard.start(0);
        run.Command(CmdId::ID_RULE_INPUT_UNITS);
        QCoreApplication::processEvents();
        guard.stop();
        QVERIFY(!opened);
        QVERIFY(run.messages.shown.empty());
        run.app->ExitInstance();
    }

    void customAndProductRuleCommandsOpenTheEditorOrNothing()
    {
        if (!QFile::exists(BinDir() + QStringLiteral("/PLQRuleCreationGUIBridge.so")))
            QSKIP("the rule-creation program is not built");
        AppRun run;
        QVERIFY(run.Start());
        AppContext& c = run.app->Context();
        const std::pair<int, const char*> creates[] = { { CmdId::ID_CREATE_CUSTOM_RULE, "Create Custom Rule" },
            { CmdId::ID_CREATE_PRODUCT_RULE, "Create Product Rule" } };
        for (const auto& [id, title] : creates) {
            QString shown;
            QWidget* parent = nullptr;
            CloseNextModal([&](QWidget* modal) {
                shown = modal->windowTitle();
                parent = modal->parentWidget();
            });
            run.Command(id);
            QCOMPARE(shown, QString::fromUtf8(title));
            QCOMPARE(parent, static_cast<QWidget*>(run.Frame()));
        }
        // Edit with no selected row in the list: nothing opens, nothing is said.
        run.Frame()->ActiveChild()->View()->ListCtrl()->clearSelection();
        c.SetEditCustomRuleEnabled(true);
        c.SetEditProductRuleEnabled(true);
        run.Command(CmdId::ID_EDIT_CUSTOM_RULE);
        run.Command(CmdId::ID_EDIT_PRODUCT_RULE);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(run.messages.shown.empty());
        run.app->ExitInstance();
    }

    void usageEventsReachTheCollectorWithTheTableValues()
    {
        if (!QFile::exists(BinDir() + QStringLiteral("/PLQUsageDataCollector.so")))
            QSKIP("the usage-data collector plug-in is not built");
        AppRun run;
        run.env.Set("VTRPRO_HELP_OPENER", QStringLiteral("true"));
        CPLQSettingUtil::InitializePLQSettingsFromFile();
        QVERIFY(CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(73), true)));
        QVERIFY(run.Start());
        QVERIFY(run.app->Context().UsageHookLoaded());
        AppContext& c = run.app->Context();

        run.Command(CmdId::ID_FILE_NEW); // none
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_REGISTER_RULE); // 38
        run.Command(CmdId::ID_EDIT_HELP); // 35
        run.Command(CmdId::ID_SERACH); // 36
        run.Command(CmdId::ID_EDIT_FIND); // 36
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_EDIT_ABOUT); // 32
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_APP_ABOUT); // 32
        bool directories = false;
        CloseNextModal(
            [&directories](QWidget* modal) { directories = qobject_cast<CVTRRMScriptLocnDlg*>(modal) != nullptr; });
        run.Command(CmdId::ID_APPLICATION_DIRECTORIES); // none
        QVERIFY(directories);
        run.Command(CmdId::ID_EDIT_CUSTOM_RULE); // disabled: nothing
        c.SetEditCustomRuleEnabled(true);
        run.Command(CmdId::ID_EDIT_CUSTOM_RULE); // 42
        c.SetMaterialDataFlag(1);
        run.app->SetMaterialEditorsForTest([] { return RecordingEditors(); });
        run.Command(CmdId::ID_MAP_MATERIAL); // 33, after the work
        run.Command(CmdId::ID_MATERIAL_PROPERTY); // 34
        run.Command(CmdId::ID_THREAD_DATA); // none
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_RULE_INPUT_UNITS); // 52
        // The assembly module is among the default modules: its editor opens.
        QVERIFY(CExternalEditors::FindLoadedByFileName(c.Modules(), QStringLiteral("VTRAssemblyRulesu")));
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_HARDWARE_DB); // 40
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_CREATE_PRODUCT_RULE); // none
        run.app->ExitInstance();

        const QStringList expected = {
            "-1\t0\t",
            "4\t5\t",
            "38\t11\tSuccessful",
            "35\t11\tSuccessful",
            "36\t11\tSuccessful",
            "36\t11\tSuccessful",
            "32\t11\tSuccessful",
            "32\t11\tSuccessful",
            "42\t11\tSuccessful",
            "33\t11\tSuccessful",
            "34\t11\tSuccessful",
            "52\t11\tSuccessful",
            "40\t11\tSuccessful",
            "-1\t1\t",
        };
        QCOMPARE(UsageLines(run.env), expected);
    }

    void editorCommandsCallTheEditorsWithTheMainWindow()
    {
        AppRun run;
        QVERIFY(run.Start());
        g_editorCalls.clear();
        run.app->SetMaterialEditorsForTest([] { return RecordingEditors(); });
        run.app->Context().SetMaterialDataFlag(1);
        run.Command(CmdId::ID_MAP_MATERIAL);
        run.Command(CmdId::ID_MATERIAL_PROPERTY);
        run.Command(CmdId::ID_THREAD_DATA);
        QCOMPARE(g_editorCalls.size(), size_t(3));
        QWidget* frame = run.Frame();
        const QStringList order = { "map", "property", "thread" };
        for (size_t i = 0; i < g_editorCalls.size(); ++i) {
            QCOMPARE(g_editorCalls[i].editor, order[static_cast<qsizetype>(i)]);
            QCOMPARE(g_editorCalls[i].parent, static_cast<void*>(frame));
        }
        QCOMPARE(g_editorCalls[0].processes.size(), 12);
        QCOMPARE(g_editorCalls[0].processes.first(), QStringLiteral("Prismatic Mill"));
        QVERIFY(qEnvironmentVariable("PATH").startsWith(
            CVTRFrameWrkUtils::GetProgramFolder() + QStringLiteral("/../costmodule:")));
        QVERIFY(run.messages.shown.empty());

        // Without material data the two material commands stay shut.
        g_editorCalls.clear();
        run.app->Context().SetMaterialDataFlag(0);
        run.Command(CmdId::ID_MAP_MATERIAL);
        run.Command(CmdId::ID_MATERIAL_PROPERTY);
        QVERIFY(g_editorCalls.empty());
        run.app->ExitInstance();
    }

    void startUpTakesTheMaterialFlagFromTheSeededDatabase()
    {
        AppRun run;
        vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
        QVERIFY(run.Start());
        QCOMPARE(run.app->Context().MaterialDataFlag(), 1);
        QVERIFY(run.Frame()->Action(CmdId::ID_MAP_MATERIAL)->isEnabled());
        QVERIFY(run.Frame()->Action(CmdId::ID_MATERIAL_PROPERTY)->isEnabled());
        run.app->ExitInstance();
    }

    void startUpSaysOnceWhyTheDatabaseCannotBeUsed_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("icon");
        QTest::newRow("FIFO") << "fifo" << "FIFO" << int(MsgIcon::Warning);
        QTest::newRow("random bytes") << "garbage" << "damaged" << int(MsgIcon::Warning);
        QTest::newRow("read-only") << "readonly" << "changes cannot be stored" << int(MsgIcon::Information);
    }

    void startUpSaysOnceWhyTheDatabaseCannotBeUsed()
    {
        QFETCH(QString, state);
        QFETCH(QString, word);
        QFETCH(int, icon);
        AppRun run;
        vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
        const QString folder = run.env.Path(QStringLiteral("database"));
        const QString file = folder + QStringLiteral("/VTRProDatabase.sqlite");
        QDir().mkpath(folder);
        if (state == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0666), 0);
        } else if (state == QLatin1String("garbage")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, 'x'));
        } else {
            // A database made earlier, now opened read-only.
            QCOMPARE(vtr_db::VTRDataHelper::getInstance()->GetCollector()->Initialize(), 0);
            vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
            run.env.Set("VTRPRO_DATABASE_READONLY", QStringLiteral("1"));
        }
        // The watchdog: start-up that waits on the file ends the test run.
        ::alarm(120);
        QVERIFY(run.Start());
        ::alarm(0);
        int said = 0;
        for (const ScriptedMessages::Shown& m : run.messages.shown)
            if (m.text.contains(word)) {
                ++said;
                QCOMPARE(int(m.icon), icon);
            }
        QCOMPARE(said, 1);
        // Listing the rules does not say it again.
        run.Command(CmdId::ID_FILE_NEW);
        said = 0;
        for (const ScriptedMessages::Shown& m : run.messages.shown)
            said += m.text.contains(word) ? 1 : 0;
        QCOMPARE(said, 1);
        run.app->ExitInstance();
        vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
    }

    void movingTheDatabaseFolderReopensTheDatabaseAndRefillsTheMessages()
    {
        AppRun run;
        vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
        QVERIFY(run.Start());
        run.Command(CmdId::ID_FILE_NEW);
        CChildFrame* child = run.Frame()->ActiveChild();
        QVERIFY(child);
        RuleListModel* model = child->View()->Controller()->Model();
        QVERIFY(model->RowCount() > 0);
        const CVtrRule* rule = model->RuleAt(0);
        QVERIFY(model->CellText(0, RuleListModel::CustomMessageColumn).isEmpty());

        // Another database, in another folder, holds a message for that rule:
        // written by a collector of its own from the module's exports.
        const QString moved = run.env.Path(QStringLiteral("moved"));
        QVERIFY(QDir().mkpath(moved));
        {
            const QString before = qEnvironmentVariable("VTR_PRO_DATABASE_DIR");
            qputenv("VTR_PRO_DATABASE_DIR", QFile::encodeName(moved));
            void* library = VtrLibrary::Load(BinDir() + QStringLiteral("/VtrSqliteDatabaseu.so"));
            QVERIFY(library);
            auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(library, "GetDbInterface"));
            auto del = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(library, "DeleteDbInterface"));
            vtr_db::IDatabaseCollector* other = get();
            QCOMPARE(other->AddCustomMessage(
                         rule->GetHelpId(), rule->GetRuleName(), rule->GetRuleCategory(), QStringLiteral("moved")),
                0);
            del(other);
            qputenv("VTR_PRO_DATABASE_DIR", QFile::encodeName(before));
        }

        CloseNextModal([&moved](QWidget* modal) {
            auto* dialog = qobject_cast<CVTRRMScriptLocnDlg*>(modal);
            QVERIFY(dialog);
            dialog->DatabaseEdit()->setText(moved);
            dialog->accept();
        });
        run.Command(CmdId::ID_APPLICATION_DIRECTORIES);
        QCOMPARE(qEnvironmentVariable("VTR_PRO_DATABASE_DIR"), moved);
        QCOMPARE(model->CellText(0, RuleListModel::CustomMessageColumn), QStringLiteral("moved"));
        run.app->ExitInstance();
        vtr_db::VTRDataHelper::getInstance()->GetCollector()->Release();
    }

    void noUsageEventsWithoutTheSetting()
    {
        AppRun run;
        QVERIFY(run.Start());
        QVERIFY(!run.app->Context().UsageHookLoaded());
        CloseNextModal([](QWidget*) {});
        run.Command(CmdId::ID_REGISTER_RULE);
        run.app->ExitInstance();
        QVERIFY(UsageLines(run.env).isEmpty());
    }

    void lookIsStoredAndRestored()
    {
        AppRun run;
        QVERIFY(run.Start());
        QCOMPARE(run.Frame()->CurrentLook(), 219);
        QCOMPARE(
            QApplication::palette().color(QPalette::Window), ApplicationLook::Palette(219).color(QPalette::Window));
        run.Command(216);
        QCOMPARE(run.Frame()->CurrentLook(), 216);
        QVERIFY(run.Frame()->Action(216)->isChecked());
        QVERIFY(!run.Frame()->Action(219)->isChecked());
        QCOMPARE(
            QApplication::palette().color(QPalette::Window), ApplicationLook::Palette(216).color(QPalette::Window));
        run.app->ExitInstance();
        run.app.reset();
        QCOMPARE(QSettings(run.options.profileFile, QSettings::IniFormat).value("ApplicationLook").toInt(), 216);

        QVERIFY(run.Start());
        QCOMPARE(run.Frame()->CurrentLook(), 216);
        QVERIFY(run.Frame()->Action(216)->isChecked());
        QCOMPARE(
            QApplication::palette().color(QPalette::Window), ApplicationLook::Palette(216).color(QPalette::Window));
        run.Command(205);
        QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("windows"));
        run.Command(219);
    }

    void looksAreVisiblyDistinct()
    {
        QSet<QRgb> windows;
        for (const auto& look : CommandTable::Looks())
            windows.insert(ApplicationLook::Palette(look.id).color(QPalette::Window).rgb());
        QCOMPARE(windows.size(), int(CommandTable::Looks().size()));
    }

    void damagedStoredLookFallsBackToTheDefault()
    {
        AppRun run;
        {
            QSettings profile(run.options.profileFile, QSettings::IniFormat);
            profile.setValue("ApplicationLook", "not a number");
        }
        QVERIFY(run.Start());
        QCOMPARE(run.Frame()->CurrentLook(), 219);
    }

    void helpOpensTheCommandsPage()
    {
        AppRun run;
        const QString record = run.env.Path(QStringLiteral("opened.txt"));
        const QString opener = run.env.Path(QStringLiteral("opener.sh"));
        {
            QFile script(opener);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\n").arg(record).toUtf8());
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        run.env.Set("VTRPRO_HELP_OPENER", opener);
        QVERIFY(run.Start());
        QVERIFY(QFile::exists(run.app->Context().ResourceFolder() + QStringLiteral("/vtrpro/1000.html")));
        run.Command(CmdId::ID_EDIT_HELP);
        QTRY_VERIFY(QFile::exists(record) && QFile(record).size() > 0);
        QFile f(record);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(f.readAll()), run.app->Context().ResourceFolder() + QStringLiteral("/vtrpro/1000.html"));
        // A help file without pages is still "found and called".
        QVERIFY(run.app->Help(run.env.Path(QStringLiteral("none/vtrpro.chm")), 1000));
    }

    void recentFileListKeepsSevenNewestFirst()
    {
        AppRun run;
        QVERIFY(run.Start());
        QVERIFY(!run.app->AddToRecentFileList(QString()));
        for (int i = 1; i <= 9; ++i)
            QVERIFY(run.app->AddToRecentFileList(run.env.Path(QStringLiteral("f%1.vtr").arg(i))));
        QVERIFY(run.app->AddToRecentFileList(run.env.Path(QStringLiteral("f5.vtr"))));
        const QStringList recent = run.app->RecentFiles();
        QCOMPARE(recent.size(), 7);
        QCOMPARE(recent.first(), run.env.Path(QStringLiteral("f5.vtr")));
        QCOMPARE(recent.count(run.env.Path(QStringLiteral("f5.vtr"))), 1);
        QCOMPARE(recent.value(1), run.env.Path(QStringLiteral("f9.vtr")));
        QVERIFY(!recent.contains(run.env.Path(QStringLiteral("f2.vtr"))));
        QCOMPARE(run.Frame()->RecentMenu()->actions().size(), 7);
    }

    void ribbonShowsEveryCommandInItsPlace()
    {
        AppRun run;
        QVERIFY(run.Start());
        CRibbonBar* ribbon = run.Frame()->Ribbon();
        QCOMPARE(ribbon->ApplicationButton()->text(), QStringLiteral("File"));
        QStringList tabs;
        for (int i = 0; i < ribbon->Categories()->count(); ++i)
            tabs << ribbon->Categories()->tabText(i);
        QCOMPARE(tabs, (QStringList { "Tools", "Customize ", "Tarvo", "Help" }));
        QCOMPARE(ribbon->PanelTitles("Tools"), (QStringList { "Rule", "Directories", "Find", "Window" }));
        QCOMPARE(
            ribbon->PanelTitles("Customize "), (QStringList { "Register", "Custom message", "Material", "Database" }));
        QCOMPARE(ribbon->PanelTitles("Tarvo"), (QStringList { "Custom Rule", "Product Rule" }));
        QCOMPARE(ribbon->PanelTitles("Help"), (QStringList { "Help" }));

        QStringList menu;
        for (QAction* a : ribbon->ApplicationMenu()->actions())
            if (!a->isSeparator())
                menu << a->text();
        QCOMPARE(
            menu, (QStringList { "&New", "&Open...", "&Save", "Save &As...", "&Close", "Compare with\u2026",
                      "Recent Documents", "E&xit" }));
        QStringList quick;
        for (QAction* a : ribbon->QuickAccessToolBar()->actions())
            quick << a->text();
        QCOMPARE(quick, (QStringList { "&New", "&Open...", "&Save", "Save &As...", "&Close" }));
        QVERIFY(run.Frame()->RecentMenu()->minimumWidth() >= 300);

        for (const CommandInfo& info : CommandTable::All()) {
            if (QString::fromUtf8(info.category).isEmpty() || QString::fromUtf8(info.category) == "File"
                || info.id == CmdId::ID_WINDOW_NEW)
                continue;
            QToolButton* button = ribbon->Button(info.id);
            QVERIFY2(button, info.name);
            QCOMPARE(button->defaultAction(), run.Frame()->Action(info.id));
            QVERIFY2(!button->icon().isNull(), info.name);
        }
        // "New Window" is the sub-item of the Windows button.
        QToolButton* windows = ribbon->Button(CmdId::ID_WINDOW_MANAGER);
        QVERIFY(windows->menu());
        QCOMPARE(windows->menu()->actions().value(0), run.Frame()->Action(CmdId::ID_WINDOW_NEW));
        QCOMPARE(windows->menu()->actions().value(1)->text(), QStringLiteral("&Windows..."));

        const bool database = vtr_db::VTRDataHelper::getInstance()->IsDatabaseAvailable();
        for (int id : { 32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778, 61602, 32781, 32782, 32783, 32784,
                 32785, 32786, 131 }) {
            QCOMPARE(run.Frame()->Action(id)->toolTip(), CommandTable::PlainLabel(*CommandTable::Find(id)));
        }
        for (int id : { 32779, 32780 }) {
            const QString expected = database ? CommandTable::PlainLabel(*CommandTable::Find(id)) : VtrString(61763);
            QCOMPARE(run.Frame()->Action(id)->toolTip(), expected);
        }
        QCOMPARE(run.Frame()->PaneText(), QStringLiteral("Pane 1"));
    }

    void searchCommandShowsTheOneSearchWindow()
    {
        AppRun run;
        QVERIFY(run.Start());
        run.Command(CmdId::ID_SERACH);
        CSearchDlg* search = SearchDialog();
        QVERIFY(search);
        QVERIFY(search->isVisible());
        run.Command(CmdId::ID_EDIT_FIND);
        QCOMPARE(SearchDialog(), search);
        QVERIFY(run.messages.shown.empty());
        run.app->ExitInstance();
        QCOMPARE(SearchDialog(), nullptr);
    }

    void searchWindowTakesTheTypingEveryTimeAndStaysOverTheMainWindow()
    {
        AppRun run;
        QVERIFY(run.StartShown(QSize(1000, 700)));
        CChildFrame* child = run.Frame()->ActiveChild();
        QVERIFY(child);
        const int all = child->View()->ListCtrl()->model()->rowCount();
        QVERIFY(all > 1);
        run.Command(CmdId::ID_SERACH);
        CSearchDlg* search = SearchDialog();
        QVERIFY(search);
        // A window of the main window: it stays above it and goes with it.
        QCOMPARE(search->parentWidget(), static_cast<QWidget*>(run.Frame()));
        QVERIFY(QTest::qWaitForWindowActive(search));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(search->Field()));
        // Cancel takes the focus, then closes; the second opening gives it to the field again.
        auto* cancel = search->findChild<QPushButton*>(QStringLiteral("cancelButton"));
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Space);
        QVERIFY(!search->isVisible());
        run.Command(CmdId::ID_SERACH);
        QCOMPARE(SearchDialog(), search);
        QVERIFY(QTest::qWaitForWindowActive(search));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(search->Field()));
        // Typing reaches the field and Enter searches, leaving the window open.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("flange"));
        QCOMPARE(search->Field()->text(), QStringLiteral("flange"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(search->isVisible());
        const int found = child->View()->ListCtrl()->model()->rowCount();
        QVERIFY(found > 0 && found < all);
        // Opened again, the kept text is selected, so typing replaces it.
        search->reject();
        run.Command(CmdId::ID_SERACH);
        QVERIFY(search->isVisible());
        QCOMPARE(search->Field()->text(), QStringLiteral("flange"));
        QCOMPARE(search->Field()->selectedText(), QStringLiteral("flange"));
        search->reject();
    }

    void statusTextGoesToTheInformationArea()
    {
        AppRun run;
        QVERIFY(run.Start());
        run.app->Context().ShowStatusText(QStringLiteral("3 of 10 rules selected"));
        QCOMPARE(run.Frame()->InformationText(), QStringLiteral("3 of 10 rules selected"));
        QCOMPARE(run.Frame()->PaneText(), QStringLiteral("Pane 1"));
    }

    void windowsDialogActivatesAndClosesDocuments()
    {
        AppRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->OnFileNew());
        CMainFrame* frame = run.Frame();
        QCOMPARE(frame->Children().size(), 2);
        CChildFrame* first = frame->Children().first();
        CWindowsDlg dialog(frame->MdiArea(), frame);
        QCOMPARE(dialog.List()->count(), 2);
        QCOMPARE(dialog.List()->item(0)->text(), first->windowTitle());
        dialog.List()->setCurrentRow(0);
        dialog.ActivateSelected();
        QCOMPARE(frame->ActiveChild(), first);
        dialog.List()->clearSelection();
        dialog.List()->item(0)->setSelected(true);
        dialog.CloseSelected();
        QTRY_COMPARE(frame->Children().size(), 1);
        QCOMPARE(dialog.List()->count(), 1);
        // The command opens the dialog modally.
        int listed = -1;
        CloseNextModal([&](QWidget* w) {
            if (auto* d = qobject_cast<CWindowsDlg*>(w))
                listed = d->List()->count();
        });
        run.Command(CmdId::ID_WINDOW_MANAGER);
        QCOMPARE(listed, 1);
        // So does the "&Windows..." item of the Windows button.
        listed = -1;
        CloseNextModal([&](QWidget* w) {
            if (auto* d = qobject_cast<CWindowsDlg*>(w))
                listed = d->List()->count();
        });
        run.Frame()->Ribbon()->Button(CmdId::ID_WINDOW_MANAGER)->menu()->actions().value(1)->trigger();
        QCOMPARE(listed, 1);
        // A second window on one document is refused with a message.
        run.messages.shown.clear();
        run.Command(CmdId::ID_WINDOW_NEW);
        QCOMPARE(run.messages.shown.size(), size_t(1));
        QCOMPARE(frame->Children().size(), 1);
    }

    void aboutBoxShowsVersionBuildAndLink()
    {
        AppRun run;
        QVERIFY(run.Start());
        QStringList texts;
        QString title;
        QString target;
        CloseNextModal([&](QWidget* w) {
            title = w->windowTitle();
            for (QLabel* l : w->findChildren<QLabel*>())
                texts << l->text();
            if (auto* link = w->findChild<CHyperLink*>())
                target = link->Target();
        });
        run.Command(CmdId::ID_EDIT_ABOUT);
        QCOMPARE(title, QStringLiteral("About VTRPro Rule Manager"));
        QVERIFY(texts.contains(QStringLiteral("Version : ")));
        QVERIFY(texts.contains(QStringLiteral("Build : ")));
        QVERIFY(texts.contains(QStringLiteral("Build Date :")));
        QVERIFY(texts.contains(CAboutDlg::VersionText()));
        QVERIFY(texts.contains(CAboutDlg::BuildText()));
        QVERIFY(texts.contains(CAboutDlg::BuildDateText()));
        QVERIFY(!CAboutDlg::VersionText().isEmpty() && !CAboutDlg::BuildText().isEmpty());
        QVERIFY(target.startsWith(QStringLiteral("https://")));
    }

    void openCommandAsksForAFileAndCancelChangesNothing()
    {
        AppRun run;
        QVERIFY(run.Start());
        run.Command(CmdId::ID_FILE_OPEN);
        QCOMPARE(run.dialogs.asked.size(), size_t(1));
        QVERIFY(run.dialogs.asked[0].open);
        QVERIFY(run.dialogs.asked[0].filter.startsWith(QStringLiteral("VTRPro(*.vtr)|*.vtr|")));
        QVERIFY(run.dialogs.asked[0].filter.endsWith(QStringLiteral("||")));
        QCOMPARE(run.Frame()->Children().size(), 1);

        const QString file = run.env.Path(QStringLiteral("picked.vtr"));
        QVERIFY(run.Frame()->ActiveDocument()->OnSaveDocument(file));
        run.Command(CmdId::ID_FILE_CLOSE);
        QTRY_COMPARE(run.Frame()->Children().size(), 0);
        run.dialogs.Answer(file);
        run.Command(CmdId::ID_FILE_OPEN);
        QCOMPARE(run.Frame()->Children().size(), 1);
        QCOMPARE(run.Frame()->ActiveDocument()->GetPathName(), file);
    }

    void exitClosesEveryDocument()
    {
        AppRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->OnFileNew());
        run.Command(CmdId::ID_APP_EXIT);
        QTRY_COMPARE(run.Frame()->Children().size(), 0);
        QVERIFY(!run.Frame()->isVisible());
    }

    void exitWithUnsavedChangesCanBeCancelled()
    {
        AppRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->OnFileNew());
        CVTRRuleBuilderDoc* changed = run.Frame()->ActiveDocument();
        changed->SetModifiedFlag(true);
        run.messages.Answer(MsgAnswer::Cancel);
        run.Command(CmdId::ID_APP_EXIT);
        QTest::qWait(20);
        // Nothing was lost: both documents and the window stay.
        QVERIFY(run.Frame()->isVisible());
        QCOMPARE(run.Frame()->Children().size(), 2);
        QVERIFY(changed->IsModified());
        QCOMPARE(run.messages.shown.size(), size_t(1));
        // Answering No lets it go.
        run.messages.Answer(MsgAnswer::No);
        run.Command(CmdId::ID_APP_EXIT);
        QTRY_COMPARE(run.Frame()->Children().size(), 0);
        QVERIFY(!run.Frame()->isVisible());
    }

    void closingTheFrameEndsTheEventLoopDespiteTheSearchWindow()
    {
        AppRun run;
        QVERIFY(run.Start());
        QTimer::singleShot(0, [&] {
            run.Command(CmdId::ID_SERACH); // a modeless window that stays open
            run.Command(CmdId::ID_APP_EXIT);
        });
        bool timedOut = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        watchdog.start(5000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!timedOut);
        QVERIFY(SearchDialog()); // it was still there when the loop ended
        run.app->ExitInstance();
    }

    void mainWindowFitsTheScreenAndOpensWhereItWasLeft()
    {
        QTemporaryDir keep;
        const QString profile = keep.filePath(QStringLiteral("profile.ini"));
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect left(available.x() + 30, available.y() + 40, 700, 500);
        {
            // First start: the preferred size where it fits, wholly on the screen.
            AppRun run;
            run.options.profileFile = profile;
            QVERIFY(run.Start());
            CMainFrame* frame = run.Frame();
            QVERIFY(QTest::qWaitForWindowExposed(frame));
            QVERIFY(available.contains(frame->geometry()));
            QVERIFY(frame->width() <= CMainFrame::kPreferredSize.width());
            frame->setGeometry(left);
            QTRY_COMPARE(frame->geometry(), left);
            run.Command(CmdId::ID_APP_EXIT);
            QVERIFY(!frame->isVisible());
        }
        {
            // Where it was left; then left maximized.
            AppRun run;
            run.options.profileFile = profile;
            QVERIFY(run.Start());
            CMainFrame* frame = run.Frame();
            QCOMPARE(frame->geometry(), left);
            QVERIFY(!frame->isMaximized());
            frame->showMaximized();
            QTRY_VERIFY(frame->isMaximized());
            run.Command(CmdId::ID_APP_EXIT);
        }
        {
            AppRun run;
            run.options.profileFile = profile;
            QVERIFY(run.Start());
            QTRY_VERIFY(run.Frame()->isMaximized());
            QCOMPARE(run.Frame()->normalGeometry(), left);
            run.Command(CmdId::ID_APP_EXIT);
        }
        {
            // A place larger than this screen (another monitor, another resolution) is fitted.
            QSettings settings(profile, QSettings::IniFormat);
            VtrSaveWindowPlace(settings, QStringLiteral("MainFrame"), { QRect(-500, -400, 5000, 4000), false });
            settings.sync();
        }
        AppRun run;
        run.options.profileFile = profile;
        QVERIFY(run.Start());
        QVERIFY(QTest::qWaitForWindowExposed(run.Frame()));
        QVERIFY(!run.Frame()->isMaximized());
        QVERIFY2(available.contains(run.Frame()->geometry()),
            qPrintable(QStringLiteral("%1,%2 %3x%4")
                           .arg(run.Frame()->x())
                           .arg(run.Frame()->y())
                           .arg(run.Frame()->width())
                           .arg(run.Frame()->height())));
    }

    void mainWindowPicture()
    {
        // Shows the window as a user sees it at first start; with
        // VTRPRO_SCREENSHOT_DIR set the picture is kept for the documentation.
        AppRun run;
        QVERIFY(run.Start());
        CMainFrame* frame = run.Frame();
        frame->resize(1100, 700);
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        const QPixmap picture = frame->grab();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), frame->size() * picture.devicePixelRatio());
        const QString dir = qEnvironmentVariable("VTRPRO_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(picture.save(dir + QStringLiteral("/main-window.png")));
    }

    void configureRuleOpensTheParameterEditorTheApplicationRegistered()
    {
        {
            AppRun run;
            QVERIFY(run.Start());
            QVERIFY(VtrGetRuleEditor());
            CChildFrame* child = run.Frame()->ActiveChild();
            QVERIFY(child);
            child->View()->ListCtrl()->selectRow(0);
            QApplication::processEvents();
            QString shown;
            CloseNextModal([&shown](QWidget* modal) { shown = modal->objectName(); });
            run.Command(CmdId::ID_CONFIGURE_RULE);
            QCOMPARE(shown, QStringLiteral("ruleParameterDlg"));
        }
        QVERIFY(!VtrGetRuleEditor()); // gone with the application
    }
};

QTEST_MAIN(AppStartupTest)
#include "StartupTest.moc"
