// Registering and unregistering rule modules in a running program with
// documents open: OK first says which files lose how many ticked rules (No
// goes back), a list that cannot be saved is said and applies nothing; the
// reload drops the rows and the documents the rules of a module that went
// (before its library is freed), and a module registered again is listed once.
#include "AppRun.h"
#include "TestSupport.h"

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/CommandTable.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "modules/ui/VTRRuleRegDlg.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <dlfcn.h>

#include <functional>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
bool IsLoaded(const QString& path)
{
    void* h = ::dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        ::dlclose(h);
    return h != nullptr;
}

// A started application without a window on screen.
struct ReloadRun : AppRun
{
    ReloadRun() { options.showWindow = false; }
    // Runs the rule registration, acting on its dialog with act before OK.
    void Register(std::function<void(CVTRRuleRegDlg*)> act)
    {
        QTimer::singleShot(0, [act] {
            auto* dialog = qobject_cast<CVTRRuleRegDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            act(dialog);
            QVERIFY(dialog->OkButton()->isEnabled());
            dialog->OkButton()->click();
        });
        Command(CmdId::ID_REGISTER_RULE);
    }
};

void SelectRow(QListWidget* list, const QString& name)
{
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list->setCurrentItem(found.first());
}

void Unregister(CVTRRuleRegDlg* dialog, const QString& name)
{
    SelectRow(dialog->LoadedList(), name);
    dialog->UnloadOneButton()->click();
}

void RegisterAgain(CVTRRuleRegDlg* dialog, const QString& name)
{
    SelectRow(dialog->UnloadedList(), name);
    dialog->LoadOneButton()->click();
}

QString SheetMetal()
{
    return KnownModules::PathInProgramFolder(QStringLiteral("VtrSMRulesu"));
}

const RuleListModel& Rows(CChildFrame* child)
{
    return *child->View()->Controller()->Model();
}

// Rows whose rule came from a library, by name and category; each key once.
QStringList RowsOf(CChildFrame* child, const QString& library)
{
    QStringList keys;
    for (const RuleListModel::Row& row : Rows(child).Rows())
        if (row.rule->GetModulePath() == library)
            keys << row.rule->GetRuleName() + QLatin1Char('|') + row.rule->GetRuleCategory();
    return keys;
}

// Names of the checked rows.
QStringList Ticked(CChildFrame* child)
{
    QStringList names;
    for (const RuleListModel::Row& row : Rows(child).Rows())
        if (row.checked)
            names << row.rule->GetRuleName();
    names.sort();
    return names;
}

bool HoldsRuleOf(CVTRRuleBuilderDoc* doc, const QString& library)
{
    bool found = false;
    doc->SelectedRules().ForEach([&](CVtrRule* r) { found = found || r->GetModulePath() == library; });
    for (CVtrRule* r : doc->FileDetails().Rules())
        found = found || r->GetModulePath() == library;
    return found;
}

// Ticks the first count rows of a library; returns their names.
QStringList Tick(CChildFrame* child, const QString& library, int count)
{
    QStringList names;
    RuleListController* list = child->View()->Controller();
    for (int row = 0; row < list->Model()->RowCount() && names.size() < count; ++row) {
        CVtrRule* rule = list->Model()->RuleAt(row);
        if (rule->GetModulePath() == library && !list->Model()->IsChecked(row)) {
            list->SetChecked(row, true);
            names << rule->GetRuleName();
        }
    }
    return names;
}
} // namespace

class ModuleReloadTest : public QObject
{
    Q_OBJECT
private slots:
    void unregisteringAndRegisteringAgainWithDocumentsOpen()
    {
        ReloadRun run;
        QVERIFY(run.Start());
        const QString mill = KnownModules::PathInProgramFolder(QStringLiteral("VtrMillRulesu"));

        // A: a saved file that holds sheet-metal and milling rules.
        CChildFrame* a = run.Frame()->ActiveChild();
        const QStringList sheetMetalRows = RowsOf(a, SheetMetal());
        QVERIFY(sheetMetalRows.size() > 2);
        const QStringList aSheet = Tick(a, SheetMetal(), 2);
        const QStringList aMill = Tick(a, mill, 2);
        QVERIFY(a->Document()->OnSaveDocument(run.env.Path(QStringLiteral("a.vtr"))));
        // B: a saved file with milling rules only.
        QVERIFY(run.app->OnFileNew());
        CChildFrame* b = run.Frame()->ActiveChild();
        QVERIFY(b != a);
        const QStringList bMill = Tick(b, mill, 3);
        QVERIFY(b->Document()->OnSaveDocument(run.env.Path(QStringLiteral("b.vtr"))));
        // C: a new document with a ticked sheet-metal rule, modified.
        QVERIFY(run.app->OnFileNew());
        CChildFrame* c = run.Frame()->ActiveChild();
        Tick(c, SheetMetal(), 1);
        QVERIFY(c->Document()->IsModified());

        run.Register([](CVTRRuleRegDlg* d) { Unregister(d, QStringLiteral("Sheet Metal Rules")); });
        QVERIFY(!run.app->Context().Modules().configuredRuleModules.contains(SheetMetal()));
        for (CChildFrame* child : { a, b, c }) {
            QVERIFY(RowsOf(child, SheetMetal()).isEmpty());
            QVERIFY(!HoldsRuleOf(child->Document(), SheetMetal()));
        }
        // A dropped its sheet-metal rules and is modified; its milling ticks stay.
        QVERIFY(a->Document()->IsModified());
        QStringList expectedA = aMill;
        expectedA.sort();
        QCOMPARE(Ticked(a), expectedA);
        // B read its file again, unmodified, with its ticks.
        QVERIFY(!b->Document()->IsModified());
        QStringList expectedB = bMill;
        expectedB.sort();
        QCOMPARE(Ticked(b), expectedB);
        QCOMPARE(int(b->Document()->SelectedRules().Size()), int(bMill.size()));
        QVERIFY(c->Document()->IsModified());
        QVERIFY(c->Document()->SelectedRules().Size() == 0);

        run.Register([](CVTRRuleRegDlg* d) { RegisterAgain(d, QStringLiteral("Sheet Metal Rules")); });
        for (CChildFrame* child : { a, b, c }) {
            QStringList listed = RowsOf(child, SheetMetal());
            QCOMPARE(listed.size(), sheetMetalRows.size());
            listed.removeDuplicates();
            QCOMPARE(listed.size(), sheetMetalRows.size());
        }
        QVERIFY(!b->Document()->IsModified());
        QCOMPARE(Ticked(b), expectedB);
        QCOMPARE(Ticked(a), expectedA);
        for (CChildFrame* child : { a, b, c })
            child->CloseAnswered();
        QApplication::processEvents();
    }

    void unregisteringSaysWhichFilesLoseTickedRulesAndNoGoesBack()
    {
        ReloadRun run;
        QVERIFY(run.Start());
        const QString mill = KnownModules::PathInProgramFolder(QStringLiteral("VtrMillRulesu"));
        // A: saved, two sheet-metal and one milling rule ticked.
        CChildFrame* a = run.Frame()->ActiveChild();
        QCOMPARE(Tick(a, SheetMetal(), 2).size(), 2);
        QCOMPARE(Tick(a, mill, 1).size(), 1);
        const QString aPath = run.env.Path(QStringLiteral("a.vtr"));
        QVERIFY(a->Document()->OnSaveDocument(aPath));
        // B: milling only, so it loses nothing and is not named.
        QVERIFY(run.app->OnFileNew());
        CChildFrame* b = run.Frame()->ActiveChild();
        QCOMPARE(Tick(b, mill, 2).size(), 2);
        const QString bPath = run.env.Path(QStringLiteral("b.vtr"));
        QVERIFY(b->Document()->OnSaveDocument(bPath));
        // C: never saved, one sheet-metal rule ticked.
        QVERIFY(run.app->OnFileNew());
        CChildFrame* c = run.Frame()->ActiveChild();
        QCOMPARE(Tick(c, SheetMetal(), 1).size(), 1);
        const QString cTitle = c->Document()->GetBaseTitle();
        const QStringList aTicked = Ticked(a);
        const QStringList configured = run.app->Context().Modules().configuredRuleModules;

        bool stayedOpen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CVTRRuleRegDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            Unregister(dialog, QStringLiteral("Sheet Metal Rules"));
            run.messages.Answer(MsgAnswer::No);
            const size_t before = run.messages.shown.size();
            dialog->OkButton()->click();
            // The question named the files that lose rules, and how many.
            QCOMPARE(run.messages.shown.size(), before + 1);
            const ScriptedMessages::Shown& question = run.messages.shown.back();
            QCOMPARE(question.buttons, MsgButtons::YesNo);
            QVERIFY2(question.text.contains(aPath + QStringLiteral(": 2 ticked rules")), qPrintable(question.text));
            QVERIFY2(question.text.contains(cTitle + QStringLiteral(": 1 ticked rule\n")), qPrintable(question.text));
            QVERIFY2(!question.text.contains(bPath), qPrintable(question.text));
            // No: back in the dialog, nothing applied.
            stayedOpen = dialog->isVisible();
            QCOMPARE(run.app->Context().Modules().configuredRuleModules, configured);
            QCOMPARE(Ticked(a), aTicked);
            QVERIFY(!a->Document()->IsModified());
            // Yes this time.
            run.messages.Answer(MsgAnswer::Yes);
            dialog->OkButton()->click();
        });
        run.Command(CmdId::ID_REGISTER_RULE);
        QVERIFY(stayedOpen);
        QVERIFY(!run.app->Context().Modules().configuredRuleModules.contains(SheetMetal()));
        QVERIFY(RowsOf(a, SheetMetal()).isEmpty());
        QVERIFY(a->Document()->IsModified());
        QVERIFY(c->Document()->SelectedRules().Size() == 0);

        // A registration that drops nothing asks nothing.
        const size_t before = run.messages.shown.size();
        run.Register([](CVTRRuleRegDlg* d) { RegisterAgain(d, QStringLiteral("Sheet Metal Rules")); });
        QCOMPARE(run.messages.shown.size(), before);
        for (CChildFrame* child : { a, b, c })
            child->CloseAnswered();
        QApplication::processEvents();
    }

    void aSaveThatFailsIsSaidAndAppliesNothing()
    {
        ReloadRun run;
        QVERIFY(run.Start());
        CChildFrame* child = run.Frame()->ActiveChild();
        QCOMPARE(Tick(child, SheetMetal(), 1).size(), 1);
        const QStringList configured = run.app->Context().Modules().configuredRuleModules;
        // A folder where "ConfigModule.ini" belongs: it can be neither read nor written.
        const QString ini = run.env.DataSettings() + QStringLiteral("ConfigModule.ini");
        QFile::remove(ini);
        QVERIFY(QDir().mkpath(ini));

        bool stayedOpen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CVTRRuleRegDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            Unregister(dialog, QStringLiteral("Sheet Metal Rules"));
            const size_t before = run.messages.shown.size();
            dialog->OkButton()->click(); // Yes to the question, then the save fails
            QCOMPARE(run.messages.shown.size(), before + 2);
            const ScriptedMessages::Shown& failure = run.messages.shown.back();
            QCOMPARE(failure.icon, MsgIcon::Error);
            QVERIFY2(failure.text.contains(ini), qPrintable(failure.text));
            QVERIFY(failure.text.contains(QStringLiteral("could not be saved")));
            stayedOpen = dialog->isVisible();
            dialog->reject();
        });
        run.Command(CmdId::ID_REGISTER_RULE);
        QVERIFY(stayedOpen);
        QCOMPARE(run.app->Context().Modules().configuredRuleModules, configured);
        QVERIFY(!RowsOf(child, SheetMetal()).isEmpty());
        QVERIFY(QFileInfo(ini).isDir());
        child->CloseAnswered();
        QApplication::processEvents();
    }

    void aModuleThatIsNotInstalledIsUnloadedAfterItsRulesAreGone()
    {
        ReloadRun run;
        QDir().mkpath(run.env.Path(QStringLiteral("libs")));
        const QString module = run.env.Path(QStringLiteral("libs/Extra.so"));
        QVERIFY(QFile::copy(BinDir() + QStringLiteral("/VtrTestModuleu.so"), module));
        QDir().mkpath(run.env.DataSettings());
        QFile ini(run.env.DataSettings() + QStringLiteral("ConfigModule.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            (" [RULE_CONFIGURATION_MODULES]\n module1=" + SheetMetal() + "\n module2=" + module + "\n").toLocal8Bit());
        ini.close();
        QVERIFY(run.Start());
        CChildFrame* child = run.Frame()->ActiveChild();
        QCOMPARE(RowsOf(child, module).size(), 3);
        QCOMPARE(Tick(child, module, 2).size(), 2);
        QVERIFY(child->Document()->OnSaveDocument(run.env.Path(QStringLiteral("extra.vtr"))));
        Tick(child, module, 1); // modified again: the list, not a new read, drops the rules
        // A second document stays unmodified: it reads its file again.
        QVERIFY(run.app->OnFileNew());
        CChildFrame* unmodified = run.Frame()->ActiveChild();
        QCOMPARE(Tick(unmodified, module, 1).size(), 1);
        QVERIFY(unmodified->Document()->OnSaveDocument(run.env.Path(QStringLiteral("other.vtr"))));

        run.Register([](CVTRRuleRegDlg* d) { Unregister(d, QStringLiteral("Test Rules")); });
        QVERIFY(!IsLoaded(module));
        QVERIFY(RowsOf(child, module).isEmpty());
        QVERIFY(!HoldsRuleOf(child->Document(), module));
        QVERIFY(child->Document()->IsModified());
        QVERIFY(RowsOf(unmodified, module).isEmpty());
        QVERIFY(!HoldsRuleOf(unmodified->Document(), module));
        QVERIFY(unmodified->Document()->IsModified());
        unmodified->CloseAnswered();
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(ini.readAll()),
            QStringLiteral(" [RULE_DATABASE_MODULES]\n module1=%1\n [RULE_CONFIGURATION_MODULES]\n module1=%2\n")
                .arg(KnownModules::PathInProgramFolder(KnownModules::DefaultDatabaseModule()), SheetMetal()));
        ini.close();
        // Saved and closed: what is left is released without touching the freed library.
        QVERIFY(child->Document()->OnSaveDocument(run.env.Path(QStringLiteral("extra.vtr"))));
        child->CloseAnswered();
        QApplication::processEvents();
        QVERIFY(run.Frame()->Children().isEmpty());
    }
};

QTEST_MAIN(ModuleReloadTest)
#include "ModuleReloadTest.moc"
