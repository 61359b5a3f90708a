#include "modules/IniFile.h"

#include "HostileFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {
std::string Narrow(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

void WriteText(const std::string& file, const std::string& text)
{
    QFile f(QFile::decodeName(QByteArray::fromStdString(file)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(text.data(), static_cast<qint64>(text.size())), static_cast<qint64>(text.size()));
}

std::string ReadText(const std::string& file)
{
    QFile f(QFile::decodeName(QByteArray::fromStdString(file)));
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

// A record in one line: commented mark, section, key, value, comments.
std::string Describe(const IniRecord& r)
{
    return std::string(1, r.Commented) + "|" + r.Section + "|" + r.Key + "|" + r.Value + "|" + r.Comments;
}

std::vector<std::string> Describe(const std::vector<IniRecord>& records)
{
    std::vector<std::string> out;
    for (const IniRecord& r : records)
        out.push_back(Describe(r));
    return out;
}

class IniFileTest : public ::testing::Test
{
protected:
    ScopedTestEnv env;
    std::string file = Narrow(env.Path(QStringLiteral("test.ini")));
};

struct ParseCase
{
    const char* name;
    std::string text;
    std::vector<std::string> records;
};

TEST(IniParse, LinesBecomeRecords)
{
    const ParseCase cases[] = {
        { "header and key", " [A]\n k=v\n", { " |A|||", " |A|k|v|" } },
        { "blanks around '=' stay in key and value", "[A]\nkey = value \n", { " |A|||", " |A|key | value|" } },
        { "tabs, CR and blank lines are trimmed and skipped", "\t[A]\r\n\r\n\t k=v\t\r\n", { " |A|||", " |A|k|v|" } },
        { "value keeps everything after the first '='", "[A]\nk=a=b\n", { " |A|||", " |A|k|a=b|" } },
        { "disabled key keeps its mark", "[A]\n#k=v\n; j = w\n", { " |A|||", "#|A|k|v|", ";|A|j | w|" } },
        { "disabled header", ";[B]\nk=v\n", { ";|B|||", " |B|k|v|" } },
        { "comments attach to the next record", "# one\n; two\n[A]\nk=v\n", { " |A|||# one\n; two\n", " |A|k|v|" } },
        { "comment waits across blank lines", "[A]\n# c\n\n\nk=v\n", { " |A|||", " |A|k|v|# c\n" } },
        { "comments at the end are dropped", "[A]\nk=v\n# tail\n", { " |A|||", " |A|k|v|" } },
        { "header without ']' takes the rest of the line", "[Open\nk=v\n", { " |Open|||", " |Open|k|v|" } },
        { "text after ']' is ignored", "[A] trailing\n", { " |A|||" } },
        { "keys before any header have the empty section", "k=v\n[A]\n", { " ||k|v|", " |A|||" } },
        { "last line without a line break is read", "[A]\nk=v", { " |A|||", " |A|k|v|" } },
        { "a line of neither kind is an empty header; section unchanged", "[A]\njunk\nk=v\n",
            { " |A|||", " ||||", " |A|k|v|" } },
        { "a line of neither kind under pending comments is dropped", "[A]\n# c\njunk\nk=v\n",
            { " |A|||", " |A|k|v|# c\n" } },
        { "a '[' inside a value does not make a header", "[A]\nk=/opt/app[2]/m.so\n",
            { " |A|||", " |A|k|/opt/app[2]/m.so|" } },
        { "a bracket in a comment keeps it a comment", "# see [notes]\n[A]\n", { " |A|||# see [notes]\n" } },
        { "a mark alone is a comment", "#\n[A]\n", { " |A|||#\n" } },
        { "empty text", "", {} },
    };
    for (const ParseCase& c : cases) {
        std::vector<IniRecord> records(1); // must be cleared
        CIniFile::Parse(c.text, records);
        EXPECT_EQ(Describe(records), c.records) << c.name;
    }
}

TEST(IniFormat, EveryLiveLineStartsWithABlank)
{
    std::vector<IniRecord> records;
    CIniFile::Parse("[A]\nk=v\n#d=1\n;[B]\n", records);
    EXPECT_EQ(CIniFile::Format(records), " [A]\n k=v\n#d=1\n;[B]\n");
}

TEST(IniFormat, NeitherLineIsWrittenAsEmptyHeader)
{
    std::vector<IniRecord> records;
    CIniFile::Parse("junk\n", records);
    EXPECT_EQ(CIniFile::Format(records), " []\n");
}

TEST(IniFormat, RegroupsBySectionInOrderOfFirstOccurrence)
{
    std::vector<IniRecord> records;
    CIniFile::Parse("[A]\na=1\n[B]\n; about b\nb=1\n[A]\n# about c\nc=1\n[C]\n[B]\nb2=2\n# tail\n", records);
    EXPECT_EQ(
        CIniFile::Format(records), " [A]\n a=1\n [A]\n# about c\n c=1\n [B]\n; about b\n b=1\n [B]\n b2=2\n [C]\n");
}

TEST(IniFormat, BytesSurviveUnchanged)
{
    const std::string text = " [S\xc3\xa9]\n k\xff=v\x01\xe2\x82\xac\n";
    std::vector<IniRecord> records;
    CIniFile::Parse(text, records);
    EXPECT_EQ(CIniFile::Format(records), text);
}

TEST_F(IniFileTest, LoadSaveRoundTripIsStable)
{
    WriteText(file, "; head\n[RULE_CONFIGURATION_MODULES]\nmodule1=/a/M.so\n#module2=/a/N.so\n");
    std::vector<IniRecord> records;
    ASSERT_TRUE(CIniFile::Load(file, records));
    ASSERT_TRUE(CIniFile::Save(file, records));
    const std::string once = ReadText(file);
    EXPECT_EQ(once, "; head\n [RULE_CONFIGURATION_MODULES]\n module1=/a/M.so\n#module2=/a/N.so\n");
    ASSERT_TRUE(CIniFile::Load(file, records));
    ASSERT_TRUE(CIniFile::Save(file, records));
    EXPECT_EQ(ReadText(file), once);
}

TEST_F(IniFileTest, CommentsMoveWithTheirKeyAndTrailingOnesAreLost)
{
    WriteText(file, "[A]\na=1\n[B]\nb=1\n[A]\n# why c\nc=1\n# trailing\n");
    ASSERT_TRUE(CIniFile::AppendRecord("d", "4", "B", file));
    EXPECT_EQ(ReadText(file), " [A]\n a=1\n [A]\n# why c\n c=1\n [B]\n b=1\n d=4\n");
}

TEST_F(IniFileTest, AppendRecordGoesToTheEndOfItsSection)
{
    WriteText(file, "[A]\na=1\n[B]\nb=1\n");
    ASSERT_TRUE(CIniFile::AppendRecord("a2", "2", "A", file));
    EXPECT_EQ(ReadText(file), " [A]\n a=1\n a2=2\n [B]\n b=1\n");
}

TEST_F(IniFileTest, AddSectionOnExistingSectionAddsSecondHeader)
{
    WriteText(file, "[A]\na=1\n[B]\nb=1\n");
    ASSERT_TRUE(CIniFile::AddSection("A", file));
    ASSERT_TRUE(CIniFile::AppendRecord("a2", "2", "A", file));
    EXPECT_EQ(ReadText(file), " [A]\n a=1\n [A]\n a2=2\n [B]\n b=1\n");
}

TEST_F(IniFileTest, SetValueCases)
{
    struct Case
    {
        const char* name;
        std::string before;
        std::string key, value, section;
        std::string after;
    };
    const Case cases[] = {
        { "replaces the first record's value", "[A]\nk=1\nk=2\n", "k", "9", "A", " [A]\n k=9\n k=2\n" },
        { "replaces a disabled record's value and keeps the mark", "[A]\n#k=1\n", "k", "9", "A", " [A]\n#k=9\n" },
        { "inserts after the first header", "[A]\nx=1\n[B]\n[A]\n", "k", "9", "A", " [A]\n k=9\n x=1\n [A]\n [B]\n" },
        { "appends a missing section", "[A]\nx=1\n", "k", "9", "B", " [A]\n x=1\n [B]\n k=9\n" },
        { "section of keys without a header", "x=1\n[A]\n", "k", "9", "", " x=1\n k=9\n [A]\n" },
        { "keys compare case-sensitively", "[A]\nKey=1\n", "key", "2", "A", " [A]\n key=2\n Key=1\n" },
    };
    for (const Case& c : cases) {
        WriteText(file, c.before);
        ASSERT_TRUE(CIniFile::SetValue(c.key, c.value, c.section, file)) << c.name;
        EXPECT_EQ(ReadText(file), c.after) << c.name;
    }
}

TEST_F(IniFileTest, LookupsFindDisabledRecordsAndCompareBytes)
{
    WriteText(file, "[A]\n#k=disabled\nk=live\nK=upper\n[B]\n");
    EXPECT_EQ(CIniFile::GetValue("k", "A", file), "disabled");
    EXPECT_EQ(CIniFile::GetValue("K", "A", file), "upper");
    EXPECT_EQ(CIniFile::GetValue("k", "a", file), "");
    EXPECT_EQ(CIniFile::GetValue("none", "A", file), "");
    EXPECT_TRUE(CIniFile::RecordExists("k", "A", file));
    EXPECT_FALSE(CIniFile::RecordExists("k", "B", file));
    EXPECT_TRUE(CIniFile::SectionExists("B", file));
    EXPECT_FALSE(CIniFile::SectionExists("C", file));

    const std::vector<IniRecord> keys = CIniFile::GetSection("A", file);
    EXPECT_EQ(Describe(keys), (std::vector<std::string> { "#|A|k|disabled|", " |A|k|live|", " |A|K|upper|" }));
    EXPECT_TRUE(CIniFile::GetSection("B", file).empty());
}

TEST_F(IniFileTest, DeleteRecordAndSection)
{
    WriteText(file, "[A]\nk=1\nk=2\n[B]\nb=1\n[A]\nz=1\n");
    ASSERT_TRUE(CIniFile::DeleteRecord("k", "A", file));
    EXPECT_EQ(ReadText(file), " [A]\n k=2\n [A]\n z=1\n [B]\n b=1\n");
    EXPECT_FALSE(CIniFile::DeleteRecord("missing", "A", file));
    EXPECT_EQ(ReadText(file), " [A]\n k=2\n [A]\n z=1\n [B]\n b=1\n");
    ASSERT_TRUE(CIniFile::DeleteSection("A", file));
    EXPECT_EQ(ReadText(file), " [B]\n b=1\n");
}

TEST_F(IniFileTest, MissingFileGivesFalseOrEmptyAndIsNotCreated)
{
    const std::string missing = Narrow(env.Path(QStringLiteral("none.ini")));
    std::vector<IniRecord> records(2);
    EXPECT_FALSE(CIniFile::Load(missing, records));
    EXPECT_FALSE(CIniFile::CanOpen(missing));
    EXPECT_FALSE(CIniFile::AddSection("A", missing));
    EXPECT_FALSE(CIniFile::AppendRecord("k", "v", "A", missing));
    EXPECT_FALSE(CIniFile::SetValue("k", "v", "A", missing));
    EXPECT_EQ(CIniFile::GetValue("k", "A", missing), "");
    EXPECT_FALSE(CIniFile::RecordExists("k", "A", missing));
    EXPECT_TRUE(CIniFile::SectionExists("A", missing));
    EXPECT_FALSE(CIniFile::DeleteRecord("k", "A", missing));
    EXPECT_FALSE(CIniFile::DeleteSection("A", missing));
    EXPECT_TRUE(CIniFile::GetSection("A", missing).empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));

    ASSERT_TRUE(CIniFile::Create(missing));
    EXPECT_TRUE(CIniFile::CanOpen(missing));
    EXPECT_EQ(ReadText(missing), "");
    EXPECT_TRUE(CIniFile::Load(missing, records));
    EXPECT_TRUE(records.empty());
}

TEST_F(IniFileTest, DirectoryOrUnwritablePathFailsCleanly)
{
    const std::string folder = Narrow(env.Path(QStringLiteral("folder.ini")));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    std::vector<IniRecord> records;
    EXPECT_FALSE(CIniFile::CanOpen(folder));
    EXPECT_FALSE(CIniFile::Load(folder, records));
    EXPECT_FALSE(CIniFile::Save(folder, records));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(folder)).isDir());

    EXPECT_FALSE(CIniFile::Create(Narrow(env.Path(QStringLiteral("no/such/folder/x.ini")))));
    EXPECT_FALSE(CIniFile::Create(""));
}

TEST_F(IniFileTest, SaveLeavesNoTemporaryFilesBehind)
{
    WriteText(file, "[A]\nk=1\n");
    ASSERT_TRUE(CIniFile::SetValue("k", "2", "A", file));
    const QStringList entries = QDir(env.Root()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList { QStringLiteral("test.ini") });
}
// A FIFO in place of the file is unreadable like a missing one: nobody waits
// on it, nothing is written over it.
TEST_F(IniFileTest, FifoIsRefusedWithoutBeingOpened)
{
    const QString fifo = env.Path(QStringLiteral("fifo.ini"));
    ASSERT_TRUE(MakeFifo(fifo));
    const std::string name = Narrow(fifo);
    FifoWatchdog watchdog(fifo);
    std::vector<IniRecord> records;
    EXPECT_FALSE(CIniFile::CanOpen(name));
    EXPECT_FALSE(CIniFile::Load(name, records));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(CIniFile::GetValue("k", "A", name), "");
    EXPECT_FALSE(CIniFile::SetValue("k", "v", "A", name));
    EXPECT_FALSE(watchdog.Finish()) << "something waited to read the FIFO";
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(fifo).exists());
}
} // namespace
