#include "CellText.h"
#include "HostileFiles.h"
#include "TestSupport.h"
#include "VtrLibrary.h"
#include "Utilities/StringTable.h"
#include "custommsg/SpreadsheetHelper.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <tuple>

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {
using Table = QList<QStringList>;

// The table a reader gives for rows written: columns, each cut after its
// last non-empty cell.
Table Columns(const Table& rows)
{
    Table columns(4);
    for (int c = 0; c < 4; ++c) {
        for (const QStringList& row : rows)
            columns[c].append(row.value(c));
        while (!columns[c].isEmpty() && columns[c].last().isEmpty())
            columns[c].removeLast();
    }
    return columns;
}

Table SampleRows()
{
    return {
        { QStringLiteral("Help ID"), QStringLiteral("Rule Name"), QStringLiteral("Rule Category"),
            QStringLiteral("Custom Message") },
        { QStringLiteral("1234"), QStringLiteral("SM - Minimum Hole Diameter"), QStringLiteral("Sheet Metal"),
            QString(256, QLatin1Char('m')) },
        { QStringLiteral("7"), QStringLiteral("Größte Tiefe — 深さ"), QStringLiteral("Milling"), QString() },
        { QStringLiteral("2147483647"), QStringLiteral("Two\nlines\tand a tab"), QStringLiteral("Assembly"),
            QStringLiteral("  kept spaces  ") },
        { QStringLiteral("88"), QStringLiteral("Last Rule"), QStringLiteral("Turning"), QString() },
    };
}

QString Fixture(const char* name)
{
    return TestData(QStringLiteral("spreadsheet/") + QLatin1String(name));
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

class SpreadsheetHelperTest : public ::testing::Test
{
protected:
    ScopedTestEnv env;
};
} // namespace

TEST(SpreadsheetCellTextTest, NumbersPrintWithoutTrailingZerosOrPoint)
{
    const struct
    {
        double value;
        const char* text;
    } cases[] = {
        { 1234, "1234" },
        { 12.5, "12.5" },
        { 0, "0" },
        { -3.25, "-3.25" },
        { 0.1, "0.1" },
        { 1234567890123.0, "1234567890123" },
        { 0.0000001, "0" },
        { 2.000001, "2.000001" },
        { 100, "100" },
        { 1e20, "100000000000000000000" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Spreadsheet::NumberText(c.value), QLatin1String(c.text)) << c.value;
}

TEST(SpreadsheetCellTextTest, CellReferencesSplitIntoColumnAndRow)
{
    const struct
    {
        const char* reference;
        bool ok;
        int column;
        int64_t row;
    } cases[] = {
        { "A1", true, 0, 1 },
        { "d12", true, 3, 12 },
        { "AA3", true, 26, 3 },
        { "XFD1048576", true, 16383, 1048576 },
        { "XFE1", false, 0, 0 },
        { "A0", false, 0, 0 },
        { "A", false, 0, 0 },
        { "12", false, 0, 0 },
        { "A1B", false, 0, 0 },
        { "A01", false, 0, 0 },
        { "", false, 0, 0 },
        { "A9999999999", false, 0, 0 },
    };
    for (const auto& c : cases) {
        int column = -1;
        int64_t row = -1;
        EXPECT_EQ(Spreadsheet::ParseCellReference(c.reference, column, row), c.ok) << c.reference;
        if (c.ok) {
            EXPECT_EQ(column, c.column) << c.reference;
            EXPECT_EQ(row, c.row) << c.reference;
            EXPECT_EQ(
                Spreadsheet::ColumnLetters(column) + QString::number(row), QString::fromLatin1(c.reference).toUpper());
        }
    }
}

TEST_F(SpreadsheetHelperTest, ExportedSheetReadsBackUnchanged)
{
    const QString path = env.Path(QStringLiteral("CustomMessageTemplate.xlsx"));
    const Table rows = SampleRows();
    const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
    ASSERT_TRUE(written.ok) << written.error.toStdString();

    Table table;
    const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(table, Columns(rows));
    // The trailing empty messages make column D the shorter one.
    EXPECT_EQ(table[3].size(), 4);
}

TEST_F(SpreadsheetHelperTest, ExportedSheetHasTheTemplateLayoutInAnotherTool)
{
    const QString path = env.Path(QStringLiteral("layout.xlsx"));
    const Table rows = SampleRows();
    ASSERT_TRUE(SpreadsheetHelper::Export(path, rows).ok);

    QProcess check;
    check.start(QStringLiteral("/usr/bin/python3"), { Fixture("check_layout.py"), path, QString::number(rows.size()) });
    ASSERT_TRUE(check.waitForFinished(120000));
    const QString out = QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError()).trimmed();
    EXPECT_EQ(check.exitCode(), 0) << out.toStdString();
    EXPECT_EQ(out, QStringLiteral("OK"));
}

TEST_F(SpreadsheetHelperTest, SheetsOfOtherWritersRead)
{
    const QString tab = QStringLiteral("\t");
    const struct
    {
        const char* file;
        Table columns;
    } cases[] = {
        // openpyxl's inline strings, a fraction, a row that skips a cell and
        // an empty row, which is no row; only the first of two worksheets.
        { "openpyxl.xlsx",
            { { "help id", "1234", "12.5", "77" }, { "RULE NAME", "Minimum Hole Diameter", "Minimum Clearance" },
                { "Rule Category", "Sheet Metal", "Assembly", "Milling" },
                { "Custom Message", "Check the punch size.", "",
                    QStringLiteral("Ä message with ümlauts, 日本語 and a tab") + tab + QStringLiteral("here") } } },
        // The same sheet converted to .xls by LibreOffice.
        { "openpyxl.xls",
            { { "help id", "1234", "12.5", "77" }, { "RULE NAME", "Minimum Hole Diameter", "Minimum Clearance" },
                { "Rule Category", "Sheet Metal", "Assembly", "Milling" },
                { "Custom Message", "Check the punch size.", "",
                    QStringLiteral("Ä message with ümlauts, 日本語 and a tab") + tab + QStringLiteral("here") } } },
        // The same sheet as LibreOffice writes it, with shared strings.
        { "libreoffice.xlsx",
            { { "help id", "1234", "12.5", "77" }, { "RULE NAME", "Minimum Hole Diameter", "Minimum Clearance" },
                { "Rule Category", "Sheet Metal", "Assembly", "Milling" },
                { "Custom Message", "Check the punch size.", "",
                    QStringLiteral("Ä message with ümlauts, 日本語 and a tab") + tab + QStringLiteral("here") } } },
        // Inline strings, namespace prefixes, rich text, cells without or
        // out of reference order, escapes and a formula's text.
        { "inline.xlsx",
            { { "Help ID", "501", "502" }, { "Rule Name", "Bend Radius", "Weld Gap" }, { "Rule Category", "Sheet Metal" },
                { "Custom Message", "Line one\nline two _x0041_", "last" } } },
        // One data row at the last row of a worksheet: two rows, not a
        // million.
        { "last-row.xlsx",
            { { "Help ID", "999999" }, { "Rule Name", "Far Down" }, { "Rule Category", "Nowhere" },
                { "Custom Message", "last row" } } },
        // Control characters go (tab stays), bytes that are not UTF-8 become
        // replacement characters.
        { "control.xlsx", { { "Help ID", QStringLiteral("abc\td\uFFFD\uFFFDe") }, {}, {}, {} } },
    };
    for (const auto& c : cases) {
        Table table;
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(Fixture(c.file), table);
        ASSERT_TRUE(read.ok) << c.file << ": " << read.error.toStdString();
        EXPECT_EQ(table, c.columns) << c.file;
    }
}

TEST(SpreadsheetColumnTableTest, RowsWithoutTextAreLeftOutAndRowOneStaysFirst)
{
    using Cell = std::tuple<int, int64_t, const char*>; // column, row, text
    const struct
    {
        const char* what;
        QList<Cell> cells;
        Table columns;
    } cases[] = {
        { "far down", { { 0, 1, "Help ID" }, { 3, 1, "Custom Message" }, { 0, 1048576, "7" }, { 3, 1048576, "m" } },
            { { "Help ID", "7" }, {}, {}, { "Custom Message", "m" } } },
        { "gaps and empty texts",
            { { 0, 1, "H" }, { 1, 3, "" }, { 0, 5, "5" }, { 2, 9, "c9" }, { 5, 7, "not asked for" } },
            { { "H", "5" }, {}, { "", "", "c9" }, {} } },
        { "out of order, last text wins",
            { { 1, 40, "b40" }, { 0, 1, "H" }, { 0, 20, "a20" }, { 1, 40, "b40 again" }, { 0, 20, "a20 again" } },
            { { "H", "a20 again" }, { "", "", "b40 again" }, {}, {} } },
        { "no headers", { { 2, 8, "c8" } }, { {}, {}, { "", "c8" }, {} } },
        { "nothing", {}, { {}, {}, {}, {} } },
    };
    for (const auto& c : cases) {
        Spreadsheet::ColumnTable table;
        QString error;
        ASSERT_TRUE(table.Init(QStringList { "A", "B", "C", "D" }, error)) << c.what;
        for (const Cell& cell : c.cells)
            table.Set(std::get<0>(cell), std::get<1>(cell), QString::fromUtf8(std::get<2>(cell)));
        EXPECT_EQ(table.Take(), c.columns) << c.what;
    }
}

TEST_F(SpreadsheetHelperTest, HostileFilesAreRefusedWithAReason)
{
    ASSERT_TRUE(WriteFile(env.Path(QStringLiteral("empty.xlsx")), QByteArray()));
    ASSERT_TRUE(QFile::copy(Fixture("not-a-zip.xlsx"), env.Path(QStringLiteral("text.xls"))));
    const struct
    {
        QString path;
        const char* reason; // part of the message shown
    } cases[] = {
        { Fixture("zip-bomb.xlsx"), "unpacks to more than 256 MiB" },
        { Fixture("row-1048577.xlsx"), "more rows than a worksheet can hold (1048576)" },
        { Fixture("rows-1048577.xlsx"), "more rows than a worksheet can hold (1048576)" },
        { Fixture("no-shared-strings.xlsx"), "Cell A1 refers to a shared string, but the file holds none." },
        { Fixture("shared-index-out-of-range.xlsx"), "Cell A1 refers to shared string \"3\", but the file holds 1." },
        { Fixture("not-a-zip.xlsx"), "not an .xlsx workbook" },
        { env.Path(QStringLiteral("empty.xlsx")), "not an .xlsx workbook" },
        { env.Path(QStringLiteral("missing.xlsx")), "cannot be read" },
        { Fixture("truncated.xls"), "Invalid file format. Please check Help for Correct format." },
        // Makes FreeXL read outside its buffers; the reader's process ends
        // (or FreeXL gives up) and this one reports the file.
        { Fixture("freexl-overread.xls"), "Invalid file format. Please check Help for Correct format." },
        { env.Path(QStringLiteral("text.xls")), "Invalid file format. Please check Help for Correct format." },
    };
    for (const auto& c : cases) {
        Table table { { QStringLiteral("stale") } };
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(c.path, table);
        EXPECT_FALSE(read.ok) << c.path.toStdString();
        EXPECT_TRUE(table.isEmpty()) << c.path.toStdString();
        EXPECT_TRUE(read.Message().contains(QLatin1String(c.reason)))
            << c.path.toStdString() << ": " << read.Message().toStdString();
    }
}

TEST_F(SpreadsheetHelperTest, FifoIsRefusedWithoutWaiting)
{
    for (const char* name : { "pipe.xlsx", "pipe.xls" }) {
        const QString fifo = env.Path(QLatin1String(name));
        ASSERT_TRUE(MakeFifo(fifo));
        FifoWatchdog watchdog(fifo);
        Table table;
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(fifo, table);
        EXPECT_FALSE(watchdog.Finish()) << name << " was opened for reading";
        EXPECT_FALSE(read.ok) << name;
        EXPECT_FALSE(read.Message().isEmpty()) << name;
    }
}

TEST_F(SpreadsheetHelperTest, FailedExportLeavesTheOldFile)
{
    const QString path = env.Path(QStringLiteral("kept.xlsx"));
    ASSERT_TRUE(WriteFile(path, "what the user had"));
    Table rows = SampleRows();
    rows[2][1] = QString(40000, QLatin1Char('x')); // longer than a cell holds
    const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
    EXPECT_FALSE(written.ok);
    EXPECT_TRUE(written.Message().startsWith(QLatin1String("Cell B3 could not be written")))
        << written.Message().toStdString();
    EXPECT_EQ(Contents(path), QByteArray("what the user had"));
    // No temporary file stays behind.
    EXPECT_EQ(QDir(env.Root()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("kept.xlsx") });

    for (const QString& target :
        { env.Path(QStringLiteral("no/such/folder.xlsx")), env.Path(QStringLiteral("kept.xlsx/inner.xlsx")) }) {
        const SpreadsheetOutcome refused = SpreadsheetHelper::Export(target, SampleRows());
        EXPECT_FALSE(refused.ok) << target.toStdString();
        EXPECT_TRUE(refused.Message().contains(QLatin1String("cannot be written"))) << refused.Message().toStdString();
    }
    ASSERT_TRUE(QDir(env.Root()).mkdir(QStringLiteral("folder.xlsx")));
    EXPECT_FALSE(SpreadsheetHelper::Export(env.Path(QStringLiteral("folder.xlsx")), SampleRows()).ok);
    EXPECT_TRUE(QFileInfo(env.Path(QStringLiteral("folder.xlsx"))).isDir());
}

TEST_F(SpreadsheetHelperTest, XlsExportIsConvertedByLibreOfficeAndReadsBack)
{
    const QString path = env.Path(QStringLiteral("Messages.xls"));
    ASSERT_TRUE(WriteFile(path, "old"));
    const Table rows = SampleRows();
    const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
    ASSERT_TRUE(written.ok) << written.error.toStdString();

    Table table;
    const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(table, Columns(rows));
}

TEST_F(SpreadsheetHelperTest, XlsExportWithoutLibreOfficeSaysSo)
{
    const struct
    {
        const char* office;
        int messageId;
    } cases[] = {
        { "/nonexistent/soffice", 108 }, // not installed
        { "no-such-office-program", 108 }, { "/bin/false", 109 }, // starts, but converts nothing
    };
    for (const auto& c : cases) {
        env.Set("VTRPRO_SOFFICE", QLatin1String(c.office));
        const QString path = env.Path(QStringLiteral("Messages.xls"));
        ASSERT_TRUE(WriteFile(path, "old"));
        const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, SampleRows());
        EXPECT_FALSE(written.ok) << c.office;
        EXPECT_EQ(written.messageId, c.messageId) << c.office;
        EXPECT_EQ(written.Message(), VtrString(c.messageId)) << c.office;
        EXPECT_FALSE(written.error.isEmpty()) << c.office;
        EXPECT_EQ(Contents(path), QByteArray("old")) << c.office;
    }
}

TEST_F(SpreadsheetHelperTest, OpenerGetsTheWrittenFile)
{
    const QString seen = env.Path(QStringLiteral("opened.txt"));
    const QString opener = env.Path(QStringLiteral("opener.sh"));
    ASSERT_TRUE(WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/opened.txt\"\n"));
    ASSERT_TRUE(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    env.Set("VTRPRO_FILE_OPENER", opener);
    const QString sheet = env.Path(QStringLiteral("a sheet.xlsx"));
    ASSERT_TRUE(SpreadsheetHelper::OpenWithDefaultProgram(sheet));
    QDeadlineTimer deadline(30000);
    while (Contents(seen).isEmpty() && !deadline.hasExpired())
        QThread::msleep(20);
    EXPECT_EQ(QString::fromUtf8(Contents(seen)), sheet);

    env.Set("VTRPRO_FILE_OPENER", env.Path(QStringLiteral("no-such-opener")));
    EXPECT_FALSE(SpreadsheetHelper::OpenWithDefaultProgram(sheet));
}

TEST(SpreadsheetHelperLibraryTest, ExportsRefuseMissingArguments)
{
    void* library = VtrLibrary::Load(SpreadsheetHelper::LibraryPath());
    ASSERT_NE(library, nullptr) << VtrLibrary::LastError().toStdString();
    auto exportXlsx
        = reinterpret_cast<PFN_RuleManagerExportCustomMsg>(VtrLibrary::Find(library, VTRCLRMangedHelper::kExport));
    auto readXlsx
        = reinterpret_cast<PFN_ReadExcelAndFillTableColByCol>(VtrLibrary::Find(library, VTRCLRMangedHelper::kRead));
    auto exportXls = reinterpret_cast<PFN_RuleManagerExportCustomMsgXls>(
        VtrLibrary::Find(library, VTRCLRMangedHelper::kExportXls));
    auto readXls
        = reinterpret_cast<PFN_ReadXlsAndFillTableColByCol>(VtrLibrary::Find(library, VTRCLRMangedHelper::kReadXls));
    ASSERT_TRUE(exportXlsx && readXlsx && exportXls && readXls);

    QString error;
    int32_t messageId = 0;
    EXPECT_FALSE(exportXlsx(nullptr, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(readXlsx(nullptr, nullptr, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(exportXls(nullptr, nullptr, &messageId, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(readXls(nullptr, nullptr, nullptr, &messageId, &error));
    EXPECT_FALSE(error.isEmpty());

    // A request for a column that no worksheet has is refused by name.
    const QString path = Fixture("openpyxl.xlsx");
    const QStringList columns { QStringLiteral("A"), QStringLiteral("XFE") };
    Table table;
    EXPECT_FALSE(readXlsx(&path, &columns, &table, &error));
    EXPECT_EQ(error, QStringLiteral("\"XFE\" is not a column of a worksheet."));
    VtrLibrary::Free(library);
}

TEST_F(SpreadsheetHelperTest, UpperCaseXlsxNameStaysAnXlsxWorkbook)
{
    // Such a name goes the .xls way, which must neither need LibreOffice nor
    // put an .xls workbook under an .xlsx name.
    env.Set("VTRPRO_SOFFICE", QStringLiteral("/nonexistent/soffice"));
    const QString path = env.Path(QStringLiteral("MESSAGES.XLSX"));
    const Table rows = SampleRows();
    const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
    ASSERT_TRUE(written.ok) << written.error.toStdString();
    EXPECT_TRUE(Contents(path).startsWith("PK\x03\x04"));

    Table table;
    const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(table, Columns(rows));
}
