// The lock of a rule file: every name of one file meets one lock, a save
// keeps it, a lock file left by a dead holder of another user is taken over,
// and the read-only question says who holds the file.

#include "DocFixture.h"

#include "document/DocumentLock.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"

#include <csignal>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace {

// A login name nobody has, for the environment.
constexpr char kNotTheUser[] = "not-the-login-name";

ino_t Inode(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QString PasswordName()
{
    const struct passwd* entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

class DocumentLockTest : public DocFixture
{
protected:
    struct Result
    {
        int code;
        QString err;
    };
    // Runs vtrpro-rules, as the user uid when it is not -1.
    Result Tool(const QStringList& args, int uid = -1, const QProcessEnvironment& environment = {})
    {
        QProcess p;
        QStringList arguments = args;
        QString program = BinDir() + QStringLiteral("/vtrpro-rules");
        if (uid >= 0) {
            arguments.prepend(program);
            arguments = QStringList { QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
                QStringLiteral("--clear-groups") }
                + arguments;
            program = QStringLiteral("setpriv");
        }
        if (!environment.isEmpty())
            p.setProcessEnvironment(environment);
        p.start(program, arguments);
        EXPECT_TRUE(p.waitForFinished(60000));
        return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError()) };
    }
    QString NewFile(const QString& path)
    {
        const Result r = Tool({ "new", path, "--rule", "SM - Minimum Hole Diameter" });
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return path;
    }
    // The environment of a program run as another user: every folder it
    // uses inside the test's own, which that user may write.
    QProcessEnvironment OtherUserEnvironment() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("HOME"), m_env.Root());
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), m_env.Path(QStringLiteral("config")));
        e.insert(QStringLiteral("XDG_DATA_HOME"), m_env.Path(QStringLiteral("data")));
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_env.Path(QStringLiteral("run")));
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }
    // Lets everyone write the test folders (as root, for the other users).
    void OpenFoldersToEveryone() const
    {
        for (const QString& folder :
            { QStringLiteral(""), QStringLiteral("/settings"), QStringLiteral("/appdata"), QStringLiteral("/work"),
                QStringLiteral("/config"), QStringLiteral("/data"), QStringLiteral("/run") }) {
            QDir().mkpath(m_env.Root() + folder);
            ::chmod(QFile::encodeName(m_env.Root() + folder).constData(), 0777);
        }
        // The settings written so far (the log, the framework's settings).
        for (const QFileInfo& f : QDir(m_env.DataSettings()).entryInfoList(QDir::Files))
            ::chmod(QFile::encodeName(f.filePath()).constData(), 0666);
    }
};

TEST_F(DocumentLockTest, EveryNameOfAHeldFileMeetsItsLock)
{
    const QString file = WriteRuleFile(QStringLiteral("A.vtr"), { TestRuleElement("TM - Hole Depth") });
    const QString other = m_env.Path(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_TRUE(QFile::link(file, other + QStringLiteral("/symlink.vtr")));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(other + "/hardlink.vtr").constData()), 0);
    ASSERT_TRUE(QFile::link(m_env.Root(), m_env.Path(QStringLiteral("linkedfolder"))));

    const QString names[] = {
        file,
        other + QStringLiteral("/symlink.vtr"),
        other + QStringLiteral("/hardlink.vtr"),
        other + QStringLiteral("/../A.vtr"),
        m_env.Path(QStringLiteral("linkedfolder/A.vtr")),
    };
    for (const QString& held : names) {
        DocumentLock holder;
        ASSERT_EQ(holder.Acquire(held), FileErrorCause::None) << held.toStdString();
        for (const QString& name : names) {
            DocumentLock second;
            EXPECT_EQ(second.Acquire(name), FileErrorCause::SharingViolation)
                << "held as " << held.toStdString() << ", taken as " << name.toStdString();
        }
        holder.Release();
        DocumentLock after;
        EXPECT_EQ(after.Acquire(other + QStringLiteral("/hardlink.vtr")), FileErrorCause::None);
    }
}

TEST_F(DocumentLockTest, TheLockFollowsTheFileASaveReplacesIt)
{
    const QString file = WriteRuleFile(QStringLiteral("saved.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file));
    const ino_t before = Inode(file);
    ASSERT_TRUE(doc.OnSaveDocument(file));
    ASSERT_NE(Inode(file), before) << "the save is expected to put a new file in place";

    // A hard link made after the save names the new file: it meets the lock.
    const QString link = m_env.Path(QStringLiteral("elsewhere/link.vtr"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(link).path()));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);
    DocumentLock second;
    EXPECT_EQ(second.Acquire(link), FileErrorCause::SharingViolation);
    doc.OnCloseDocument();
}

TEST_F(DocumentLockTest, ToolRefusesEveryNameOfAFileAnotherCopyHolds)
{
    const QString file = NewFile(m_env.Path(QStringLiteral("held.vtr")));
    const QString other = m_env.Path(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    const QString symlink = other + QStringLiteral("/symlink.vtr");
    const QString hardlink = other + QStringLiteral("/hardlink.vtr");
    ASSERT_TRUE(QFile::link(file, symlink));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(hardlink).constData()), 0);

    DocumentLock holder; // this process is the copy that holds the file
    ASSERT_EQ(holder.Acquire(file), FileErrorCause::None);
    const QByteArray before = ReadAll(file);
    for (const QString& name : { symlink, hardlink }) {
        for (const char* command : { "select", "new" }) {
            const Result r = Tool({ command, name, "--rule", "SM - Minimum Flange Width" });
            EXPECT_EQ(r.code, 4) << command << " " << name.toStdString() << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("open for writing elsewhere"))) << r.err.toStdString();
            EXPECT_EQ(ReadAll(file), before);
            EXPECT_TRUE(QFileInfo(symlink).isSymLink());
            EXPECT_EQ(Inode(hardlink), Inode(file));
        }
    }
    holder.Release();
    EXPECT_EQ(Tool({ "select", symlink, "--rule", "SM - Minimum Flange Width" }).code, 0);
    EXPECT_EQ(Tool({ "new", hardlink, "--rule", "SM - Minimum Flange Width" }).code, 0);
}

TEST_F(DocumentLockTest, ALockFileOfAnotherUserWhoseHolderIsGoneIsTakenOver)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        GTEST_SKIP() << "needs setpriv";
    constexpr int kHolderUid = 1; // daemon: the user whose copy died
    constexpr int kTakerUid = 65534; // nobody: a user who may write the file

    // A: the lock file of a copy killed while it held the file (made by the
    // program as that user). B: one made under the old rules, 0644 and
    // owned by that user, which the taker may not open for writing.
    const QString work = m_env.Path(QStringLiteral("work"));
    ASSERT_TRUE(QDir().mkpath(work));
    const QString killed = NewFile(work + QStringLiteral("/killed.vtr"));
    const QString old = NewFile(work + QStringLiteral("/old.vtr"));
    OpenFoldersToEveryone();
    for (const QString& f : { killed, old })
        ASSERT_EQ(::chmod(QFile::encodeName(f).constData(), 0666), 0);

    {
        QProcess copy;
        QProcessEnvironment e = OtherUserEnvironment();
        e.insert(QStringLiteral("VTRPRO_INSTANCE_NAME"), QStringLiteral("lock-test-%1").arg(::getpid()));
        copy.setProcessEnvironment(e);
        copy.start(QStringLiteral("setpriv"),
            { QStringLiteral("--reuid=%1").arg(kHolderUid), QStringLiteral("--regid=%1").arg(kHolderUid),
                QStringLiteral("--clear-groups"), BinDir() + QStringLiteral("/VtrProRuleBuilderu"), killed });
        ASSERT_TRUE(copy.waitForStarted(5000));
        for (int i = 0; i < 400 && DocumentLock::Holder(killed).isEmpty(); ++i)
            QThread::msleep(50);
        ASSERT_FALSE(DocumentLock::Holder(killed).isEmpty()) << "the copy did not take the lock";
        ::kill(static_cast<pid_t>(copy.processId()), SIGKILL);
        ASSERT_TRUE(copy.waitForFinished(15000));
    }
    const QString oldLock = DocumentLock::LockFilePath(old);
    {
        QFile f(oldLock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("someone,somewhere,1,2020-01-01T00:00:00\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(oldLock).constData(), 0644), 0);
    ASSERT_EQ(::chown(QFile::encodeName(oldLock).constData(), kHolderUid, kHolderUid), 0);

    for (const QString& file : { killed, old }) {
        const QFileInfo lock(DocumentLock::LockFilePath(file));
        ASSERT_TRUE(lock.exists()) << file.toStdString();
        EXPECT_EQ(lock.ownerId(), static_cast<uint>(kHolderUid));
        EXPECT_TRUE(DocumentLock::Holder(file).isEmpty()) << "nobody holds it any more";
        const Result r
            = Tool({ "select", file, "--rule", "SM - Minimum Flange Width" }, kTakerUid, OtherUserEnvironment());
        EXPECT_EQ(r.code, 0) << file.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(ReadAll(file).contains("SM - Minimum Flange Width")) << file.toStdString();
        EXPECT_EQ(QFileInfo(file).ownerId(), static_cast<uint>(kTakerUid));
    }
}

TEST_F(DocumentLockTest, TheLoginNameComesFromThePasswordDatabase)
{
    const QString name = PasswordName();
    ASSERT_FALSE(name.isEmpty());
    m_env.Set("USER", QString());
    m_env.Set("LOGNAME", QString());
    ::unsetenv("USER");
    ::unsetenv("LOGNAME");
    EXPECT_EQ(LoggedOnUserName(), name);

    // The holder of a lock and the creator of a saved file.
    const QString file = WriteRuleFile(QStringLiteral("mine.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file));
    EXPECT_EQ(DocumentLock::HolderOf(file).user, name);
    ASSERT_TRUE(doc.OnSaveDocument(file));
    EXPECT_TRUE(ReadAll(file).contains("Createdby=\"" + name.toUtf8() + "\"")) << ReadAll(file).toStdString();
    doc.OnCloseDocument();

    // The environment names someone else: the password database still wins.
    m_env.Set("USER", QString::fromLatin1(kNotTheUser));
    EXPECT_EQ(LoggedOnUserName(), name);
}

TEST_F(DocumentLockTest, TheReadOnlyQuestionSaysWhoHoldsTheFile)
{
    // In a folder whose name has ". " in it, as the question's sentences do.
    const QString folder = m_env.Path(QStringLiteral("Mr. Smith"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/held.vtr");
    QFile::copy(WriteRuleFile(QStringLiteral("x.vtr"), { TestRuleElement("TM - Hole Depth") }), file);
    DocumentLock other;
    ASSERT_EQ(other.Acquire(file), FileErrorCause::None);
    const LockHolder holder = DocumentLock::HolderOf(file);
    ASSERT_TRUE(holder.IsKnown());
    EXPECT_EQ(holder.user, LoggedOnUserName());
    EXPECT_EQ(holder.host, QHostInfo::localHostName());
    EXPECT_EQ(holder.pid, static_cast<qint64>(::getpid()));
    EXPECT_LE(qAbs(holder.since.secsTo(QDateTime::currentDateTime())), 60);

    m_messages.Answer(MsgAnswer::No);
    CVTRRuleBuilderDoc doc;
    EXPECT_FALSE(doc.OnOpenDocument(file));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    const QString expected = file + QStringLiteral(" file is not available for write access. It is being edited by ")
        + holder.user + QStringLiteral(" on ") + holder.host + QStringLiteral(" since ")
        + holder.since.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        + QStringLiteral(". Do you want to open document read only?");
    EXPECT_EQ(m_messages.shown[0].text, expected);

    // Nobody holds it and we may not write it: the question says so, and
    // names no other copy.
    other.Release();
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    if (::geteuid() != 0) {
        m_messages.shown.clear();
        m_messages.Answer(MsgAnswer::No);
        CVTRRuleBuilderDoc again;
        EXPECT_FALSE(again.OnOpenDocument(file));
        ASSERT_EQ(m_messages.shown.size(), 1u);
        EXPECT_EQ(m_messages.shown[0].text, QString(VtrString(62104)).replace(QStringLiteral("%s"), file));
    }
}

TEST_F(DocumentLockTest, ALinkPlantedAsTheLockFileIsNotWrittenThrough)
{
    const QString file = WriteRuleFile(QStringLiteral("planted.vtr"), { TestRuleElement("TM - Hole Depth") });
    const QString victim = m_env.Path(QStringLiteral("victim.txt"));
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious\n");
    }
    ASSERT_TRUE(QFile::link(victim, DocumentLock::LockFilePath(file)));
    DocumentLock lock;
    EXPECT_NE(lock.Acquire(file), FileErrorCause::None);
    EXPECT_EQ(ReadAll(victim), QByteArray("precious\n"));
}

} // namespace
