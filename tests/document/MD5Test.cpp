// MD5 of files and of text fed piece by piece.

#include "HostileFiles.h"
#include "TestSupport.h"
#include "document/VTRProMD5.h"

#include <memory>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {
void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}
} // namespace

TEST(CalculateMD5, KnownDigestsIncludingBlockBoundaries)
{
    ScopedTestEnv env;
    struct Case
    {
        QByteArray content;
        const char* digest;
    };
    const Case cases[] = {
        { QByteArray(), "d41d8cd98f00b204e9800998ecf8427e" },
        { QByteArray("abc"), "900150983cd24fb0d6963f7d28e17f72" },
        { QByteArray("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6" },
    };
    for (const Case& c : cases) {
        const QString path = env.Path(QStringLiteral("f.bin"));
        WriteFile(path, c.content);
        QString out;
        EXPECT_EQ(CVTRProMD5::CalculateMD5(path, out), 1);
        EXPECT_EQ(out, QLatin1String(c.digest));
    }
    // Lengths around the 4096-byte block agree with the in-memory digest.
    for (int size : { 4095, 4096, 4097, 3 * 4096 + 17 }) {
        QByteArray content(size, '\0');
        for (int i = 0; i < size; ++i)
            content[i] = static_cast<char>(i * 31 + 7);
        const QString path = env.Path(QStringLiteral("b.bin"));
        WriteFile(path, content);
        Md5Stream md5;
        md5.Add(content.constData(), static_cast<size_t>(size));
        QString out;
        EXPECT_EQ(CVTRProMD5::CalculateMD5(path, out), 1) << size;
        EXPECT_EQ(out, md5.Finish()) << size;
    }
}

TEST(CalculateMD5, UnreadablePathsFailAndLeaveTheOutputAlone)
{
    ScopedTestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("folder")));
    const QString fifo = env.Path(QStringLiteral("fifo"));
    ASSERT_TRUE(MakeFifo(fifo));
    FifoWatchdog watchdog(fifo);
    for (const QString& path :
        { env.Path(QStringLiteral("missing.txt")), env.Path(QStringLiteral("folder")), fifo, QString() }) {
        QString out = QStringLiteral("untouched");
        EXPECT_EQ(CVTRProMD5::CalculateMD5(path, out), 0) << path.toStdString();
        EXPECT_EQ(out, QStringLiteral("untouched"));
    }
    EXPECT_FALSE(watchdog.Finish()) << "the FIFO was opened for reading";
}

TEST(Md5Stream, Utf16TextIsHashedAsLittleEndianBytes)
{
    Md5Stream pieces;
    pieces.AddUtf16(QStringLiteral("<Rule a=\"1\"/>"));
    pieces.AddUtf16(QStringLiteral("<Rule a=\"2\"/>"));
    const QString text = QStringLiteral("<Rule a=\"1\"/><Rule a=\"2\"/>");
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xff));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    Md5Stream whole;
    whole.Add(bytes.constData(), static_cast<size_t>(bytes.size()));
    const QString digest = pieces.Finish();
    EXPECT_EQ(digest, whole.Finish());
    EXPECT_EQ(digest.size(), 32);
    // A finished digest takes no more input.
    EXPECT_TRUE(pieces.Finish().isEmpty());
}

TEST(ConvertCStringToChar, CopiesTextAndGivesNullForEmpty)
{
    EXPECT_EQ(CVTRProMD5::ConvertCStringToChar(QString()), nullptr);
    std::unique_ptr<char[]> copy(CVTRProMD5::ConvertCStringToChar(QString::fromUtf8("abc é")));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy.get(), "abc \xc3\xa9");
}
