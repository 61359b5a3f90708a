// One running copy per user: hand-over of the path, stale sockets, hostile
// data on the socket, and the real program started as a second copy.
#include "TestSupport.h"
#include "app/SingleInstance.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"

#include <csignal>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

namespace {
QString UniqueName(const char* what)
{
    static int counter = 0;
    return QStringLiteral("vtrpro-test-%1-%2-%3").arg(QCoreApplication::applicationPid()).arg(what).arg(++counter);
}

// Starts the real program as a copy of its own (own instance name).
void StartProgram(QProcess& copy, const char* what, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VTRPRO_INSTANCE_NAME"), UniqueName(what));
    copy.setProcessEnvironment(environment);
    copy.start(BinDir() + QStringLiteral("/VtrProRuleBuilderu"), arguments);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray RawFrame(quint32 length, const QByteArray& payload)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(length, out.data());
    return out + payload;
}
} // namespace

class AppSingleInstanceTest : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyHandsOverItsPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("file") << QStringLiteral("/data/rules/My Rules.vtr");
        QTest::newRow("no file: only raise") << QString();
        QTest::newRow("non-latin") << QStringLiteral("/data/规则/Prüfung.vtr");
    }
    void secondCopyHandsOverItsPath()
    {
        QFETCH(QString, path);
        const QString name = UniqueName("handover");
        CSingleInstance first(name);
        QCOMPARE(first.Start(QString()), CSingleInstance::Role::Primary);
        QSignalSpy received(&first, &CSingleInstance::PathReceived);

        CSingleInstance second(name);
        QCOMPARE(second.Start(path), CSingleInstance::Role::Secondary);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toString(), path);
    }

    void staleSocketIsRemovedAndTheCopyListens()
    {
        const QString name = UniqueName("stale");
        const QByteArray socketPath = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + name);
        // A socket file whose owner died: bound, never listened on, left behind.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        QVERIFY(static_cast<size_t>(socketPath.size()) < sizeof(addr.sun_path));
        std::memcpy(addr.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        ::close(fd);
        QVERIFY(QFile::exists(QFile::decodeName(socketPath)));

        CSingleInstance first(name);
        QCOMPARE(first.Start(QStringLiteral("/x.vtr")), CSingleInstance::Role::Primary);
        // And it really listens now.
        QSignalSpy received(&first, &CSingleInstance::PathReceived);
        CSingleInstance second(name);
        QCOMPARE(second.Start(QStringLiteral("/y.vtr")), CSingleInstance::Role::Secondary);
        QTRY_COMPARE(received.count(), 1);
    }

    void hostileFramesAreDropped_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("huge length") << RawFrame(0xffffffffu, QByteArray("abcd"));
        QTest::newRow("odd length") << RawFrame(3, QByteArray("abc"));
        QTest::newRow("too long path") << RawFrame(40000 * 2, QByteArray(100, 'x'));
    }
    void hostileFramesAreDropped()
    {
        QFETCH(QByteArray, frame);
        const QString name = UniqueName("hostile");
        CSingleInstance first(name);
        QCOMPARE(first.Start(QString()), CSingleInstance::Role::Primary);
        QSignalSpy received(&first, &CSingleInstance::PathReceived);
        {
            QLocalSocket attacker;
            attacker.connectToServer(name);
            QVERIFY(attacker.waitForConnected(2000));
            attacker.write(frame);
            QVERIFY(attacker.waitForBytesWritten(2000));
            QTest::qWait(100);
        }
        QTest::qWait(50);
        QCOMPARE(received.count(), 0);
        // The copy still serves honest callers.
        CSingleInstance second(name);
        QCOMPARE(second.Start(QStringLiteral("/ok.vtr")), CSingleInstance::Role::Secondary);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toString(), QStringLiteral("/ok.vtr"));
    }

    void aTruncatedFrameIsNotDelivered()
    {
        const QString name = UniqueName("truncated");
        CSingleInstance first(name);
        QCOMPARE(first.Start(QString()), CSingleInstance::Role::Primary);
        QSignalSpy received(&first, &CSingleInstance::PathReceived);
        {
            QLocalSocket sender;
            sender.connectToServer(name);
            QVERIFY(sender.waitForConnected(2000));
            sender.write(RawFrame(20, QByteArray(6, 'a'))); // promises 20 bytes, sends 6
            QVERIFY(sender.waitForBytesWritten(2000));
        }
        QTest::qWait(150);
        QCOMPARE(received.count(), 0);
    }

    void realSecondCopyHandsOverAndTheFirstOpensTheFile()
    {
        ScopedTestEnv env;
        ScriptedMessages messages;
        AppOptions options;
        options.instanceName = UniqueName("process");
        options.profileFile = env.Path(QStringLiteral("profile.ini"));
        CVTRRuleBuilderApp app(options);
        QVERIFY(app.InitInstance({}));
        CMainFrame* frame = app.MainFrame();
        QCOMPARE(frame->Children().size(), 1);

        // A real rule file to hand over, written by the program itself.
        const QString work = env.Path(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(work));
        const QString file = work + QStringLiteral("/handed.vtr");
        QVERIFY(frame->ActiveDocument()->OnSaveDocument(file));
        frame->Children().first()->close();
        QTRY_COMPARE(frame->Children().size(), 0);
        frame->showMinimized();

        QProcess second;
        second.setWorkingDirectory(work);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VTRPRO_INSTANCE_NAME"), options.instanceName);
        second.setProcessEnvironment(environment);
        second.start(BinDir() + QStringLiteral("/VtrProRuleBuilderu"), { QStringLiteral("handed.vtr") });
        QVERIFY(second.waitForStarted(5000));
        // The event loop must run while the second copy talks to this one.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 15000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QTRY_COMPARE(frame->Children().size(), 1);
        QCOMPARE(frame->ActiveDocument()->GetPathName(), file);
        QVERIFY(!frame->isMinimized());
        QVERIFY(messages.shown.empty());
        app.ExitInstance();
    }

    void vtrRuleArgumentEndsWithoutWindow()
    {
        // Run the real program: it must end by itself, without a window.
        ScopedTestEnv env;
        QProcess copy;
        StartProgram(copy, "vtrrule", { QStringLiteral("rules.VTRRULE") });
        QVERIFY(copy.waitForFinished(15000));
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(ReadLog().contains(QStringLiteral("is a vtrrule file, ending")));
    }

    void terminationSignalShutsDownLikeExit_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminationSignalShutsDownLikeExit()
    {
        QFETCH(int, signalNumber);
        ScopedTestEnv env;
        // A rule file without rules to hold open.
        const QString file = env.Path(QStringLiteral("held.vtr"));
        const QByteArray saved = "<?xml version=\"1.0\"?>\n<VTRExpress Name=\"held\" Createdby=\"t\" CreatedOn=\"\" "
                                 "Unit=\"0\" AngularUnit=\"0\" Version=\"v3.4\">\n</VTRExpress>\n";
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(saved), saved.size());
        }
        const QString lockFile = env.Path(QStringLiteral(".~lock.held.vtr#"));

        QProcess copy;
        StartProgram(copy, "signal", { file });
        QVERIFY(copy.waitForStarted(5000));
        // Ready once the list of the document has written the all-rules file.
        QTRY_VERIFY_WITH_TIMEOUT(ReadLog().contains(QStringLiteral("Start-up 21")), 20000);
        const QString allRules = env.AppData() + QStringLiteral("/VTRPRO/NX/VTRPro_All_RuleFile.vtr");
        QVERIFY(QFile::exists(allRules));
        QVERIFY(QFile::exists(lockFile));

        QCOMPARE(::kill(static_cast<pid_t>(copy.processId()), signalNumber), 0);
        QVERIFY(copy.waitForFinished(15000));
        QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(!QFile::exists(allRules));
        QVERIFY(!QFile::exists(lockFile));
        QCOMPARE(ReadAll(file), saved);
        const QString log = ReadLog();
        QVERIFY(log.contains(QStringLiteral("Asked by signal %1 to end").arg(signalNumber)));
        QVERIFY(log.contains(QStringLiteral("Shutdown 2: all-rules file")));
    }

    void aCopyThatHandsOverLeavesTheFirstCopysAllRulesFile_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::newRow("with a file") << true;
        QTest::newRow("without a file") << false;
    }
    void aCopyThatHandsOverLeavesTheFirstCopysAllRulesFile()
    {
        QFETCH(bool, withFile);
        ScopedTestEnv env;
        const QString name = UniqueName("allrules");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VTRPRO_INSTANCE_NAME"), name);
        const QString program = BinDir() + QStringLiteral("/VtrProRuleBuilderu");

        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(program, {});
        QVERIFY(first.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(ReadLog().contains(QStringLiteral("Start-up 21")), 20000);
        const QString allRules = env.AppData() + QStringLiteral("/VTRPRO/NX/VTRPro_All_RuleFile.vtr");
        QTRY_VERIFY(QFile::exists(allRules));
        const QByteArray written = ReadAll(allRules);

        const QString file = env.Path(QStringLiteral("handed.vtr"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<?xml version=\"1.0\"?>\n<VTRExpress Name=\"handed\" Createdby=\"t\" CreatedOn=\"\" Unit=\"0\" "
                    "AngularUnit=\"0\" Version=\"v3.4\">\n</VTRExpress>\n");
        }
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(program, withFile ? QStringList { file } : QStringList());
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(ReadLog().contains(QStringLiteral("another copy is running, handed over")));
        QVERIFY(!ReadLog().contains(QStringLiteral("Shutdown 2: all-rules file")));
        if (withFile) {
            // The first copy's list of the handed file writes it afresh.
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(allRules), 20000);
        } else {
            QVERIFY(QFile::exists(allRules));
            QCOMPARE(ReadAll(allRules), written);
        }

        // The copy that wrote it still removes it when it ends.
        QCOMPARE(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
        QVERIFY(first.waitForFinished(15000));
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!QFile::exists(allRules));
        QVERIFY(ReadLog().contains(QStringLiteral("Shutdown 2: all-rules file")));
    }

    void aSignalTheProgramWasStartedToIgnoreStaysIgnored()
    {
        // As under nohup: a closed terminal must not end it.
        ScopedTestEnv env;
        QProcess copy;
        copy.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
        StartProgram(copy, "nohup", {});
        QVERIFY(copy.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(ReadLog().contains(QStringLiteral("Start-up 21")), 20000);
        QCOMPARE(::kill(static_cast<pid_t>(copy.processId()), SIGHUP), 0);
        QVERIFY(!copy.waitForFinished(1500));
        QVERIFY(!ReadLog().contains(QStringLiteral("Asked by signal")));
        QCOMPARE(::kill(static_cast<pid_t>(copy.processId()), SIGTERM), 0);
        QVERIFY(copy.waitForFinished(15000));
        QCOMPARE(copy.exitCode(), 0);
    }
};

QTEST_MAIN(AppSingleInstanceTest)
#include "SingleInstanceTest.moc"
