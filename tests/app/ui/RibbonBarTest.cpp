// The ribbon from the keyboard: Alt with a letter opens a tab or the
// application menu, Tab reaches the buttons of the open tab and Space, Enter
// or Return presses them; the labels stay as they are.
#include "app/CommandTable.h"
#include "app/ui/RibbonBar.h"

#include <memory>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
// A window holding a ribbon over one plain action per command.
struct RibbonWindow
{
    QWidget window;
    QMenu recent;
    QMenu looks;
    QHash<int, QAction*> actions;
    CRibbonBar* ribbon = nullptr;

    RibbonWindow()
    {
        for (const CommandInfo& info : CommandTable::All()) {
            auto* action = new QAction(QString::fromUtf8(info.label), &window);
            actions.insert(info.id, action);
        }
        ribbon = new CRibbonBar(actions, &recent, &looks, &window);
        window.resize(900, 200);
        ribbon->resize(900, 200);
    }
    bool Show()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};
} // namespace

class RibbonBarTest : public QObject
{
    Q_OBJECT
private slots:
    void altWithALetterOpensItsTab_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QChar>("letter");
        QTest::newRow("Tools") << 0 << QStringLiteral("Tools") << QChar(u'T');
        QTest::newRow("Customize") << 1 << QStringLiteral("Customize ") << QChar(u'C');
        QTest::newRow("Tarvo (T is taken)") << 2 << QStringLiteral("Tarvo") << QChar(u'A');
        QTest::newRow("Help") << 3 << QStringLiteral("Help") << QChar(u'H');
    }
    void altWithALetterOpensItsTab()
    {
        QFETCH(int, tab);
        QFETCH(QString, label);
        QFETCH(QChar, letter);
        RibbonWindow w;
        QVERIFY(w.Show());
        QTabWidget* tabs = w.ribbon->Categories();
        // Start from another tab so that the key has something to change.
        tabs->setCurrentIndex(tab == 0 ? 1 : 0);
        QCOMPARE(w.ribbon->TabMnemonic(tab), letter);
        QTest::keyClick(&w.window, Qt::Key(letter.unicode()), Qt::AltModifier);
        QCOMPARE(tabs->currentIndex(), tab);
        QTRY_VERIFY(tabs->tabBar()->hasFocus());
        // The label itself is unchanged: no ampersand, nothing underlined.
        QCOMPARE(tabs->tabText(tab), label);
        QVERIFY(tabs->tabToolTip(tab).endsWith(QStringLiteral("(Alt+%1)").arg(letter)));
    }

    void tabReachesTheButtonsAndSpacePressesThem()
    {
        RibbonWindow w;
        QVERIFY(w.Show());
        QTest::keyClick(&w.window, Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(w.ribbon->Categories()->tabBar()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* button = qobject_cast<QToolButton*>(QApplication::focusWidget());
        QVERIFY2(button, "Tab did not reach a ribbon button");
        QCOMPARE(button, w.ribbon->Button(CmdId::ID_RULE_INPUT_UNITS));
        QSignalSpy triggered(button->defaultAction(), &QAction::triggered);
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(triggered.count(), 1);
        // Enter and Return press it too.
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(triggered.count(), 2);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(triggered.count(), 3);
        // Every button of every tab takes the focus from the keyboard.
        for (const CommandInfo& info : CommandTable::All())
            if (QToolButton* b = w.ribbon->Button(info.id))
                QVERIFY2(b->focusPolicy() & Qt::TabFocus, info.name);
    }

    void threadDataStandsBesideTheHardwareDatabase()
    {
        RibbonWindow w;
        QVERIFY(w.Show());
        QToolButton* hardware = w.ribbon->Button(CmdId::ID_HARDWARE_DB);
        QToolButton* thread = w.ribbon->Button(CmdId::ID_THREAD_DATA);
        QVERIFY(hardware);
        QVERIFY2(thread, "Thread Data has no ribbon button");
        // One panel, the thread data to the right of the hardware database.
        QCOMPARE(thread->parentWidget(), hardware->parentWidget());
        QVERIFY(w.ribbon->Categories()->widget(1)->isAncestorOf(thread));
        w.ribbon->Categories()->setCurrentIndex(1);
        QTRY_VERIFY(thread->isVisible());
        QVERIFY(thread->x() > hardware->x());
        QCOMPARE(thread->text(), QStringLiteral("Thread Data"));
        QSignalSpy triggered(w.actions.value(CmdId::ID_THREAD_DATA), &QAction::triggered);
        QTest::mouseClick(thread, Qt::LeftButton);
        QCOMPARE(triggered.count(), 1);
    }

    void altFOpensTheApplicationMenu()
    {
        RibbonWindow w;
        QVERIFY(w.Show());
        bool shown = false;
        // The menu runs its own loop: look at it from inside, then close it.
        QTimer::singleShot(0, w.ribbon->ApplicationMenu(), [&] {
            shown = w.ribbon->ApplicationMenu()->isVisible();
            w.ribbon->ApplicationMenu()->close();
        });
        QTest::keyClick(&w.window, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(shown);
        QCOMPARE(w.ribbon->ApplicationButton()->text(), QStringLiteral("File"));
    }
};

QTEST_MAIN(RibbonBarTest)
#include "RibbonBarTest.moc"
