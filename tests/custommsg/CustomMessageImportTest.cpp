// The checks of an imported sheet: headers, counts, the three logged checks,
// and the private folder of the import log.

#include "TestSupport.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageImport.h"
#include "custommsg/CustomMessageRows.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace CustomMessageImport;

namespace {

// Listed rules with the given help ids.
struct Listed
{
    std::vector<std::unique_ptr<CVtrRule>> owned;
    std::unique_ptr<RuleMessageRows> rows;
    explicit Listed(const QList<int>& helpIds)
    {
        QList<CVtrRule*> rules;
        for (int id : helpIds) {
            auto rule = std::make_unique<CVtrRule>();
            rule->SetHelpId(id);
            rule->SetRuleName(QStringLiteral("Rule %1").arg(id));
            rules.append(rule.get());
            owned.push_back(std::move(rule));
        }
        rows = std::make_unique<RuleMessageRows>(rules, nullptr);
    }
};

// A sheet with the standard headers and the given rows (id, name, category, message).
CustomMessageColumns Sheet(const QList<QStringList>& rows)
{
    CustomMessageColumns t { { "Help ID" }, { "Rule Name" }, { "Rule Category" }, { "Custom Message" } };
    for (const QStringList& r : rows)
        for (int c = 0; c < 4; ++c)
            t[c].append(r.value(c));
    return t;
}

} // namespace

TEST(CustomMessageImportTest, HeadersAreComparedWithoutCaseAndCountsMustAgree)
{
    Listed listed({ 1 });
    const struct
    {
        const char* what;
        CustomMessageColumns table;
        int refusal;
    } cases[] = {
        { "standard", Sheet({ { "1", "Rule 1", "C", "m" } }), 0 },
        { "other case", { { "HELP id" }, { "rule NAME" }, { "rule category" }, { "CUSTOM MESSAGE" } }, 0 },
        { "wrong header", { { "Help" }, { "Rule Name" }, { "Rule Category" }, { "Custom Message" } }, 61653 },
        { "empty column", { { "Help ID" }, { "Rule Name" }, { "Rule Category" }, {} }, 61653 },
        { "three columns", { { "Help ID" }, { "Rule Name" }, { "Rule Category" } }, 61653 },
        { "name missing", { { "Help ID", "1" }, { "Rule Name" }, { "Rule Category", "C" }, { "Custom Message" } },
            61654 },
        { "category over",
            { { "Help ID", "1" }, { "Rule Name", "R" }, { "Rule Category", "C", "D" }, { "Custom Message" } }, 61654 },
        { "message shorter",
            { { "Help ID", "1" }, { "Rule Name", "R" }, { "Rule Category", "C" }, { "Custom Message" } }, 0 },
    };
    for (const auto& c : cases) {
        CustomMessageColumns table = c.table;
        const CheckResult result = Check(table, *listed.rows);
        EXPECT_EQ(result.refusal, c.refusal) << c.what;
        if (c.refusal == 0) {
            EXPECT_FALSE(result.AnyFlag()) << c.what << ": " << result.log.toStdString();
        }
    }
}

TEST(CustomMessageImportTest, MessagesOver256CharactersAreCutAndReported)
{
    Listed listed({ 1, 2, 3 });
    const QString exact(256, QLatin1Char('a'));
    const QString over = QString(256, QLatin1Char('b')) + QLatin1Char('!');
    // A character outside the basic plane straddling the limit is not split.
    const QString pair = QString(255, QLatin1Char('c')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QLatin1Char('x');
    CustomMessageColumns table
        = Sheet({ { "1", "Rule 1", "C", exact }, { "2", "Rule 2", "C", over }, { "3", "Rule 3", "C", pair } });
    const CheckResult result = Check(table, *listed.rows);
    EXPECT_EQ(result.refusal, 0);
    EXPECT_TRUE(result.longMessages);
    EXPECT_FALSE(result.duplicateIds);
    EXPECT_FALSE(result.unknownIds);
    EXPECT_EQ(table[3][1], exact);
    EXPECT_EQ(table[3][2], QString(256, QLatin1Char('b')));
    EXPECT_EQ(table[3][3], QString(255, QLatin1Char('c')));
    EXPECT_EQ(result.log,
        QStringLiteral(
            "\n\nCustom messages longer than 256 characters will be truncated:\n2\t : Rule 2\n3\t : Rule 3\n"));
}

TEST(CustomMessageImportTest, EachRepeatedHelpIdIsLoggedOnceUnderOneHeading)
{
    Listed listed({ 7, 8 });
    CustomMessageColumns table = Sheet({ { "7", "First", "C", "a" }, { "8", "Other", "C", "b" },
        { "7", "Second", "C", "c" }, { "7", "Third", "C", "d" }, { " 07", "Fourth", "C", "e" } });
    const CheckResult result = Check(table, *listed.rows);
    EXPECT_TRUE(result.duplicateIds);
    EXPECT_FALSE(result.unknownIds);
    // " 07" is 7 when stored, so it repeats 7 too. The repetitions are not
    // imported: the first row of a rule wins.
    EXPECT_EQ(result.notImported, 3);
    EXPECT_EQ(result.log,
        QStringLiteral("Duplicate Help ID List\n7\t : Second\n7\t : Third\n 07\t : Fourth\n"
                       "\n\nRows not imported: 3 of 5\n"));
}

TEST(CustomMessageImportTest, HelpIdsNoListedRuleHasOrThatDoNotReadAreReported)
{
    Listed listed({ 7 });
    // "07" reads as 7, as storing reads it; "+7" and "7.0" do not read.
    CustomMessageColumns table = Sheet({ { "7", "Known", "C", "" }, { "9", "Unknown", "C", "" },
        { "+7", "Signed", "C", "" }, { "7.0", "Decimal", "C", "" } });
    const CheckResult result = Check(table, *listed.rows);
    EXPECT_TRUE(result.unknownIds);
    EXPECT_FALSE(result.duplicateIds);
    EXPECT_EQ(result.notImported, 3);
    EXPECT_EQ(result.log,
        QStringLiteral("\n\nWrong And Missing Help ID List\n9\t : Unknown\n+7\t : Signed\n7.0\t : Decimal\n"
                       "\n\nRows not imported: 3 of 4\n"));
}

TEST(CustomMessageImportTest, HelpIdsReadAsPlainDecimalWholeNumbersOnly)
{
    const struct
    {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        { "1234", true, 1234 },
        { " 20701 ", true, 20701 },
        { "\t42\n", true, 42 },
        { "020701", true, 20701 },
        { "0000000000000000000000007", true, 7 },
        { "-3", true, -3 },
        { "2147483647", true, 2147483647 },
        { "-2147483648", true, INT32_MIN },
        { "0", true, 0 },
        { "+20701", false, 0 },
        { "2147483648", false, 0 },
        { "99999999999", false, 0 },
        { "12abc", false, 0 },
        { "", false, 0 },
        { " ", false, 0 },
        { "-", false, 0 },
        { "- 7", false, 0 },
        { "1.5", false, 0 },
        { "1e3", false, 0 },
        { "0x10", false, 0 },
        { "2 0701", false, 0 },
    };
    for (const auto& c : cases) {
        int32_t id = 0;
        EXPECT_EQ(ReadHelpId(QString::fromLatin1(c.text), id), c.ok) << c.text;
        EXPECT_EQ(id, c.value) << c.text;
    }
    // Digits of other scripts are not decimal digits of a help id.
    int32_t id = 0;
    EXPECT_FALSE(ReadHelpId(QStringLiteral("\u0667"), id));
}

TEST(CustomMessageImportTest, RowsWithoutTextAreNoRows)
{
    Listed listed({ 1, 2 });
    // Blank rows between and after the data, as a sheet with its last cell
    // far down reads; column D runs longest.
    CustomMessageColumns table = Sheet({ {}, { "1", "Rule 1", "C", "a" }, {}, {}, { "2", "Rule 2", "C", "" }, {} });
    table[3].append(QStringLiteral("a message on a row of its own"));
    for (int c = 0; c < 3; ++c)
        table[c].append(QString());
    const CheckResult result = Check(table, *listed.rows);
    EXPECT_EQ(result.refusal, 0);
    // Only the row that holds a message alone is reported, once.
    EXPECT_EQ(result.log,
        QStringLiteral("\n\nWrong And Missing Help ID List\n\t : \n\n\nRows not imported: 1 of 3\n"));

    const RowMatch match = MatchRows(table, *listed.rows);
    using Fate = RowMatch::Fate;
    EXPECT_EQ(match.fate,
        (QList<Fate> { Fate::Blank, Fate::Blank, Fate::Imported, Fate::Blank, Fate::Blank, Fate::Imported, Fate::Blank,
            Fate::WrongId }));
    EXPECT_EQ(match.sheetRow, (QList<qsizetype> { 2, 5 }));
}

TEST(CustomMessageImportTest, LogIsNamedAfterTheSheetInTheTemporaryFolder)
{
    EXPECT_EQ(LogPath(QStringLiteral("/home/u/Messages.xls"), QStringLiteral("/tmp")),
        QStringLiteral("/tmp/VTRProTemp/Messages_log.txt"));
    EXPECT_EQ(LogPath(QStringLiteral("/x/shop.v2.xlsx"), QStringLiteral("/var/tmp/")),
        QStringLiteral("/var/tmp/VTRProTemp/shop.v2_log.txt"));
}

TEST(CustomMessageImportTest, LogFolderIsPrivateToTheUser)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto mode = [](const QString& path) {
        struct stat st
        {
        };
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0xffffu;
    };
    QString reason;

    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    ASSERT_TRUE(PreparePrivateFolder(fresh, reason)) << reason.toStdString();
    EXPECT_EQ(mode(fresh), 0700u);

    // A folder anyone could write, as an older copy left it, is closed.
    const QString open = dir.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    ASSERT_TRUE(PreparePrivateFolder(open, reason)) << reason.toStdString();
    EXPECT_EQ(mode(open), 0700u);

    // A link or a file in its place is not used.
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(fresh, link));
    EXPECT_FALSE(PreparePrivateFolder(link, reason));
    EXPECT_TRUE(reason.contains(QStringLiteral("not a folder")));
    const QString file = dir.filePath(QStringLiteral("file"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(PreparePrivateFolder(file, reason));
    EXPECT_FALSE(PreparePrivateFolder(dir.filePath(QStringLiteral("missing/deeper")), reason));

    // Another user's folder of that name is not written into (root can make one).
    if (::geteuid() == 0) {
        const QString other = dir.filePath(QStringLiteral("other"));
        ASSERT_TRUE(QDir().mkdir(other));
        ASSERT_EQ(::chown(QFile::encodeName(other).constData(), 1, 1), 0);
        EXPECT_FALSE(PreparePrivateFolder(other, reason));
        EXPECT_TRUE(reason.contains(QStringLiteral("another user")));
    }
}
