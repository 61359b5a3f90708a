// Long work in the main window: opening and saving a file of many rules shows
// the status bar's progress indicator, which comes and goes with the work,
// and the window repaints while the work runs.
#include "TestSupport.h"

#include "app/ui/VTRRuleBuilderApp.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "Utilities/Progress.h"
#include "Utilities/ui/StatusBarProgress.h"

#include <memory>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

namespace {
QString UniqueName()
{
    static int counter = 0;
    return QStringLiteral("vtrpro-longwork-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A rule file of count rules, made of the rule elements of the all-rules file.
bool WriteManyRules(const QString& allRules, const QString& path, int count)
{
    QFile in(allRules);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(in.readAll());
    static const QRegularExpression kRule(
        QStringLiteral("<Rule\\b(?:[^>]*/>|[^>]*>.*?</Rule>)"), QRegularExpression::DotMatchesEverythingOption);
    QStringList rules;
    for (const QRegularExpressionMatch& m : kRule.globalMatch(text))
        rules << m.captured(0);
    if (rules.isEmpty())
        return false;
    QString out = QStringLiteral("<?xml version=\"1.0\"?>\n<VTRExpress Name=\"many\" Createdby=\"t\" CreatedOn=\"\" "
                                 "Unit=\"0\" AngularUnit=\"0\" Version=\"v3.4\">\n");
    for (int i = 0; i < count; ++i)
        out += rules[i % rules.size()] + QLatin1Char('\n');
    out += QStringLiteral("</VTRExpress>\n");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out.toUtf8()) > 0;
}
} // namespace

class LongWorkTest : public QObject
{
    Q_OBJECT
private slots:
    void openingAndSavingManyRulesShowProgressAndRepaint()
    {
        ScopedTestEnv env;
        ScriptedMessages messages;
        AppOptions options;
        options.instanceName = UniqueName();
        options.profileFile = env.Path(QStringLiteral("profile.ini"));
        CVTRRuleBuilderApp app(options);
        QVERIFY(app.InitInstance({}));
        CMainFrame* frame = app.MainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        CStatusBarProgress* progress = frame->Progress();
        QVERIFY(progress);
        QCOMPARE(GetProgressSink(), progress);
        // Show at once and let every report through, so the test does not
        // depend on how fast this machine is.
        progress->SetTimings(0, 0);
        PaintCounter painted;
        progress->Bar()->installEventFilter(&painted);

        const QString path = env.Path(QStringLiteral("many.vtr"));
        QVERIFY(WriteManyRules(app.Context().LastAllRulesFile(), path, 2000));
        const int shownBefore = progress->TimesShown();
        const bool opened = app.OpenDocumentFile(path);
        QVERIFY2(opened, messages.shown.empty() ? "no message" : qPrintable(messages.shown.back().text));
        QVERIFY(progress->TimesShown() > shownBefore);
        QVERIFY2(painted.paints > 0, "the window did not repaint while the file was read");
        QVERIFY(progress->Bar()->isHidden());
        QVERIFY(progress->Label()->isHidden());

        CVTRRuleBuilderDoc* doc = frame->ActiveChild()->Document();
        QCOMPARE(doc->GetPathName(), path);
        const int shownBeforeSave = progress->TimesShown();
        const int paintsBeforeSave = painted.paints;
        QVERIFY(doc->OnSaveDocument(env.Path(QStringLiteral("saved.vtr"))));
        QVERIFY(progress->TimesShown() > shownBeforeSave);
        QVERIFY(painted.paints > paintsBeforeSave);
        QVERIFY(progress->Bar()->isHidden());
        app.ExitInstance();
    }

    void shortWorkShowsNothing()
    {
        QMainWindow window;
        CStatusBarProgress progress(window.statusBar());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        progress.SetTimings(60000, 0);
        progress.Begin(QStringLiteral("Reading rules"), 100);
        progress.Advance(64);
        progress.End();
        QCOMPARE(progress.TimesShown(), 0);
        QVERIFY(progress.Bar()->isHidden());
    }

    void indicatorShowsTheWorkAndItsCount()
    {
        QMainWindow window;
        CStatusBarProgress progress(window.statusBar());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        progress.SetTimings(0, 0);
        progress.Begin(QStringLiteral("Saving rules"), 1000);
        progress.Advance(640);
        QVERIFY(!progress.Bar()->isHidden());
        QCOMPARE(progress.Bar()->maximum(), 1000);
        QCOMPARE(progress.Bar()->value(), 640);
        QCOMPARE(progress.Label()->text(), QStringLiteral("Saving rules"));
        // Inner work of unknown length counts its steps in the label.
        progress.Begin(QStringLiteral("Reading rules"), 0);
        progress.Advance(1280);
        QCOMPARE(progress.Label()->text(), QStringLiteral("Reading rules: ") + QLocale().toString(1280));
        progress.End();
        QVERIFY(!progress.Bar()->isHidden());
        progress.End();
        QVERIFY(progress.Bar()->isHidden());
        // An End without work is ignored.
        progress.End();
        QVERIFY(progress.Bar()->isHidden());
    }
};

QTEST_MAIN(LongWorkTest)
#include "LongWorkTest.moc"
