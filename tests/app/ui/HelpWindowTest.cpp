// The program's own help window: F1 on a selected rule opens the rule's page,
// F1 elsewhere the commands page, and the window moves between pages (links,
// back, forward, home) and finds text, all without a browser.
#include "AppRun.h"
#include "TestSupport.h"

#include "VtrRule.h"
#include "app/CommandTable.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"
#include "Utilities/HelpTopics.h"
#include "Utilities/ui/HelpWindow.h"

#include <memory>

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTextBrowser>

namespace {
// A started application whose help goes to its own window.
struct HelpRun : AppRun
{
    HelpRun() { env.Set("VTRPRO_HELP_OPENER", QString()); }
    bool Start() { return StartShown(QSize(1000, 700)); }
    QString PageOf(int helpId) const
    {
        return app->Context().ResourceFolder() + QStringLiteral("/vtrpro/%1.html").arg(helpId);
    }
    QString Shown() const
    {
        CHelpWindow* help = app->HelpWindow();
        return help && help->isVisible() ? help->CurrentPage().toLocalFile() : QString();
    }
};
} // namespace

class HelpWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void f1OnASelectedRuleOpensItsPage()
    {
        HelpRun run;
        QVERIFY(run.Start());
        CVTRRuleBuilderView* view = run.Frame()->ActiveChild()->View();
        CVTRRMListCtrlEx* list = view->ListCtrl();
        const RuleListModel* model = view->Controller()->Model();
        QVERIFY(model->RowCount() > 10);
        // Two rules in turn: the window follows the selection.
        for (int row : { 3, 10 }) {
            const CVtrRule* rule = model->RuleAt(row);
            list->selectRow(row);
            list->setFocus();
            QTRY_VERIFY(list->hasFocus());
            QTest::keyClick(list, Qt::Key_F1);
            QTRY_COMPARE(run.Shown(), run.PageOf(rule->GetHelpId()));
            const QString text = run.app->HelpWindow()->Browser()->toPlainText();
            QVERIFY2(text.contains(rule->GetDisplayName()), qPrintable(rule->GetDisplayName()));
            QVERIFY(text.contains(QStringLiteral("Why it matters in manufacture")));
            QCOMPARE(run.app->HelpWindow()->windowTitle(),
                rule->GetDisplayName() + QStringLiteral(" - VTRPro Rule Manager"));
            run.Frame()->activateWindow();
        }
    }

    void f1WithoutASelectedRuleOpensTheCommandsPage()
    {
        HelpRun run;
        QVERIFY(run.Start());
        CVTRRMListCtrlEx* list = run.Frame()->ActiveChild()->View()->ListCtrl();
        list->clearSelection();
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_F1);
        QTRY_COMPARE(run.Shown(), run.PageOf(HelpTopic::Commands));
        // The ribbon's Help command opens the same page.
        run.app->HelpWindow()->close();
        run.Frame()->OnCommand(CmdId::ID_EDIT_HELP);
        QTRY_COMPARE(run.Shown(), run.PageOf(HelpTopic::Commands));
    }

    void windowFollowsLinksBackForwardAndHome()
    {
        HelpRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->Help(run.app->HelpFilePath(), HelpTopic::ResetToDefault));
        CHelpWindow* help = run.app->HelpWindow();
        QVERIFY(help);
        QTextBrowser* browser = help->Browser();
        QCOMPARE(help->HomePage(), run.app->Context().ResourceFolder() + QStringLiteral("/vtrpro/index.html"));

        // A link of the page, as a click on it follows it.
        browser->setSource(browser->source().resolved(QUrl(QStringLiteral("1000.html"))));
        QCOMPARE(run.Shown(), run.PageOf(HelpTopic::Commands));
        help->Home();
        QCOMPARE(run.Shown(), help->HomePage());
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Rules by module")));
        help->Back();
        QCOMPARE(run.Shown(), run.PageOf(HelpTopic::Commands));
        help->Back();
        QCOMPARE(run.Shown(), run.PageOf(HelpTopic::ResetToDefault));
        help->Forward();
        QCOMPARE(run.Shown(), run.PageOf(HelpTopic::Commands));

        // A click on a link in the contents opens that rule's page.
        help->Home();
        const QString anchor = QStringLiteral("20301.html");
        QVERIFY(browser->toHtml().contains(anchor));
        browser->setSource(browser->source().resolved(QUrl(anchor)));
        QCOMPARE(QFileInfo(run.Shown()).fileName(), anchor);
    }

    void findLooksThroughThePageAndWrapsRound_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        QTest::newRow("a command") << QStringLiteral("Rule input units") << true;
        QTest::newRow("any case") << QStringLiteral("RULE INPUT UNITS") << true;
        QTest::newRow("not there") << QStringLiteral("xylophone") << false;
    }
    void findLooksThroughThePageAndWrapsRound()
    {
        QFETCH(QString, text);
        QFETCH(bool, found);
        HelpRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->Help(run.app->HelpFilePath(), HelpTopic::Commands));
        CHelpWindow* help = run.app->HelpWindow();
        help->FindField()->setText(text);
        QCOMPARE(help->FindNext(), found);
        if (!found)
            return;
        QCOMPARE(help->Browser()->textCursor().selectedText().toLower(), text.toLower());
        const int first = help->Browser()->textCursor().position();
        // Once past the last match, the search starts again at the top.
        int again = -1;
        for (int i = 0; i < 20 && again != first; ++i) {
            QVERIFY(help->FindNext());
            again = help->Browser()->textCursor().position();
        }
        QCOMPARE(again, first);
    }

    // Writes the documentation's picture of a rule's page when
    // VTRPRO_HELP_SCREENSHOT names a file (run under xvfb-run for real fonts).
    void screenshotOfARulePage()
    {
        const QString target = qEnvironmentVariable("VTRPRO_HELP_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("VTRPRO_HELP_SCREENSHOT not set");
        HelpRun run;
        QVERIFY(run.Start());
        QVERIFY(run.app->Help(run.app->HelpFilePath(), 20309));
        CHelpWindow* help = run.app->HelpWindow();
        help->resize(860, 720);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QVERIFY(help->grab().save(target));
    }

    void anOpenerStillTakesThePagesWhenNamed()
    {
        HelpRun run;
        run.env.Set("VTRPRO_HELP_OPENER", QStringLiteral("true"));
        QVERIFY(run.Start());
        QVERIFY(run.app->Help(run.app->HelpFilePath(), HelpTopic::Commands));
        QVERIFY(!run.app->HelpWindow());
    }
};

QTEST_MAIN(HelpWindowTest)
#include "HelpWindowTest.moc"
