// The shared log: copies of the program writing at once never split a line,
// and the log stays bounded by moving aside to "VTRPro.log.1".

#include "TestSupport.h"
#include "VtrProLog.h"
#include "Utilities/VTRUIUtils.h"

#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes count lines naming who, half one by one and half as a batch, as the
// program does.
void WriteLines(const char* who, int count)
{
    const QString padding(100, QLatin1Char('x'));
    LogTextBatch batch;
    for (int i = 0; i < count; ++i) {
        const QString message = QStringLiteral("%1 %2 %s").arg(QLatin1String(who)).arg(i);
        if (i % 2 == 0)
            LogWithText(message, padding);
        else
            batch.AddWithText(message, padding);
    }
    batch.Flush();
    CVtrProLog::Flush();
}

TEST(LogTest, TwoCopiesWritingAtOnceKeepEveryLineWholeAndTheLogBounded)
{
    ScopedTestEnv env;
    CVtrProLog::Flush();
    // About 6 MB together: past the size at which the log moves aside once.
    constexpr int kLines = 20000;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WriteLines("child", kLines);
        _exit(0);
    }
    WriteLines("parent", kLines);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const QString log = CVtrProLog::LogFilePath();
    const QString moved = log + QStringLiteral(".1");
    EXPECT_TRUE(QFileInfo::exists(moved)) << "the log did not move aside";
    for (const QString& file : { log, moved })
        EXPECT_LT(QFileInfo(file).size(), qint64(5) << 20) << file.toStdString();

    const QRegularExpression line(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[[^\]]*:\d+\] (child|parent) (\d+) x{100}$)"));
    QHash<QString, int> seen;
    int broken = 0;
    for (const QString& file : { moved, log }) {
        const QList<QByteArray> lines = ReadFile(file).split('\n');
        for (const QByteArray& text : lines) {
            if (text.isEmpty())
                continue;
            const QRegularExpressionMatch m = line.match(QString::fromUtf8(text));
            if (!m.hasMatch()) {
                if (++broken <= 3)
                    ADD_FAILURE() << "split line: " << text.left(200).toStdString();
                continue;
            }
            ++seen[m.captured(1) + QLatin1Char(' ') + m.captured(2)];
        }
    }
    EXPECT_EQ(broken, 0);
    int missing = 0;
    for (const char* who : { "child", "parent" })
        for (int i = 0; i < kLines; ++i)
            missing += seen.value(QStringLiteral("%1 %2").arg(QLatin1String(who)).arg(i)) == 1 ? 0 : 1;
    EXPECT_EQ(missing, 0) << "lines lost or written twice";
}

} // namespace
