#include "CellText.h"
#include "HostileFiles.h"
#include "XlsReader.h"
#include "XlsxReader.h"
#include "TestSupport.h"
#include "VtrLibrary.h"
#include "Utilities/StringTable.h"
#include "custommsg/SpreadsheetHelper.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <tuple>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zip.h>

#include <QDataStream>
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

// Writes a zip archive of the given parts (deflated) to path.
bool WriteZip(const QString& path, const std::map<std::string, std::string>& parts)
{
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return false;
    for (const auto& [name, bytes] : parts) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// The smallest workbook: no relationships, so the usual part names apply.
std::map<std::string, std::string> Workbook(std::string sheetData, std::string sharedStrings = std::string())
{
    std::map<std::string, std::string> parts {
        { "xl/workbook.xml", "<workbook><sheets><sheet name=\"S\" sheetId=\"1\"/></sheets></workbook>" },
        { "xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + sheetData + "</sheetData></worksheet>" },
    };
    if (!sharedStrings.empty())
        parts.emplace("xl/sharedStrings.xml", "<sst>" + sharedStrings + "</sst>");
    return parts;
}

std::string Repeat(std::string_view text, size_t count)
{
    std::string out;
    out.reserve(text.size() * count);
    for (size_t i = 0; i < count; ++i)
        out.append(text);
    return out;
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
        EXPECT_FALSE(written.error.isEmpty()) << c.office;
        EXPECT_EQ(written.Message(), VtrString(c.messageId) + QLatin1Char('\n') + written.error) << c.office;
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
    ASSERT_TRUE(WriteFile(sheet, "written")); // a missing file is refused before the opener runs
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

TEST_F(SpreadsheetHelperTest, RefusedXlsSaysWhy)
{
    const QString invalid = VtrString(Spreadsheet::kMsgInvalidFileFormat);
    ASSERT_TRUE(WriteFile(env.Path(QStringLiteral("empty.xls")), QByteArray()));
    QByteArray random(64 * 1024, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 2654435761u) >> 13);
    ASSERT_TRUE(WriteFile(env.Path(QStringLiteral("random.xls")), random));
    ASSERT_TRUE(QFile::copy(Fixture("not-a-zip.xlsx"), env.Path(QStringLiteral("text.xls"))));
    // A zip archive that is no workbook, and a workbook cut short.
    ASSERT_TRUE(WriteZip(env.Path(QStringLiteral("archive.xls")), { { "notes.txt", "not a workbook" } }));
    const QByteArray xls = Contents(Fixture("openpyxl.xls"));
    ASSERT_GT(xls.size(), 4096);
    ASSERT_TRUE(WriteFile(env.Path(QStringLiteral("cut.xls")), xls.left(xls.size() / 3)));
    ASSERT_TRUE(QDir(env.Root()).mkdir(QStringLiteral("folder.xls")));
    ASSERT_TRUE(MakeFifo(env.Path(QStringLiteral("pipe.xls"))));
    const struct
    {
        const char* name;
        const char* reason; // the second line of the message names it
    } cases[] = {
        { "empty.xls", "The file is empty." },
        { "random.xls", "The file is not an .xls workbook" },
        { "text.xls", "The file is not an .xls workbook" },
        { "archive.xls", "The file is not a spreadsheet: it has no workbook part." },
        { "cut.xls", "cut short" },
        { "folder.xls", "not a regular file (it is a folder)" },
        { "pipe.xls", "not a regular file (it is a FIFO)" },
        { "missing.xls", "cannot be read" },
    };
    for (const auto& c : cases) {
        const QString path = env.Path(QLatin1String(c.name));
        FifoWatchdog watchdog(env.Path(QStringLiteral("pipe.xls")));
        Table table { { QStringLiteral("stale") } };
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
        EXPECT_FALSE(watchdog.Finish()) << c.name << ": the FIFO was opened";
        EXPECT_FALSE(read.ok) << c.name;
        EXPECT_TRUE(table.isEmpty()) << c.name;
        EXPECT_EQ(read.messageId, Spreadsheet::kMsgInvalidFileFormat) << c.name;
        const QStringList lines = read.Message().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2) << c.name << ": " << read.Message().toStdString();
        EXPECT_EQ(lines[0], invalid) << c.name;
        EXPECT_TRUE(lines[1].contains(QLatin1String(c.reason))) << c.name << ": " << lines[1].toStdString();
    }
}

TEST(SpreadsheetXlsxStreamTest, PartsReadAsXmlHasThem)
{
    using Parts = std::map<std::string, std::string>;
    // A shared string longer than the chunks the reader takes at a time, with
    // entities and line ends across every chunk boundary.
    std::string longRaw;
    QString longText;
    for (int i = 0; longRaw.size() < 300 * 1024; ++i) {
        longRaw += i % 3 ? "ab&amp;c\r\n" : "&#x41;&lt;\r";
        longText += i % 3 ? QStringLiteral("ab&c\n") : QStringLiteral("A<\n");
    }
    const struct
    {
        const char* name;
        Parts parts;
        QStringList column; // column A, or empty when refused
        const char* reason;
    } cases[] = {
        { "entities and line ends across chunks",
            Workbook("<row><c r=\"A1\" t=\"s\"><v>0</v></c></row>", "<si><t>" + longRaw + "</t></si>"), { longText },
            "" },
        { "comments, CDATA, a declaration and an attribute holding \">\"",
            Workbook("<!-- x --><row r=\"2\" spans=\"a>b\"><c r=\"A2\" t=\"inlineStr\"><is><t>a<![CDATA[<b>&amp;]]>"
                     "</t></is></c></row>"),
            { "", "a<b>&amp;" }, "" },
        { "self-closing cells and a value after a nested element",
            Workbook("<row><c/></row><row><c t='str'><f>1+1</f><v> 2 </v></c></row>"), { "", " 2 " }, "" },
        { "a byte-order mark and an XML declaration",
            { { "xl/workbook.xml",
                  "\xEF\xBB\xBF<?xml version=\"1.0\"?><workbook><sheets><sheet/></sheets></workbook>" },
                { "xl/worksheets/sheet1.xml",
                    "<?xml version=\"1.0\"?>\r\n<x:worksheet xmlns:x=\"u\"><x:sheetData><x:row><x:c><x:v>1.50</x:v>"
                    "</x:c></x:row></x:sheetData></x:worksheet>" } },
            { "1.5" }, "" },
        { "mismatched tags", Workbook("<row><c><v>1</c></v></row>"), {}, "is not valid XML: Start-end tags mismatch" },
        { "a cut sheet",
            { { "xl/workbook.xml", "<workbook><sheets><sheet/></sheets></workbook>" },
                { "xl/worksheets/sheet1.xml", "<worksheet><sheetData><row><c><v>1" } },
            {}, "is not valid XML: Unexpected end of data" },
        { "an attribute without quotes", Workbook("<row r=2><c><v>1</v></c></row>"), {}, "is not valid XML" },
        { "an empty workbook part", { { "xl/workbook.xml", "" } }, {}, "No document element found" },
        { "UTF-16", { { "xl/workbook.xml", std::string("\xFF\xFE<\0w\0", 6) } }, {}, "not written in UTF-8" },
        { "the row limit while reading", Workbook("<row r=\"1048576\"/><row><c><v>1</v></c></row>"), {},
            "more rows than a worksheet can hold (1048576)" },
    };
    for (const auto& c : cases) {
        Spreadsheet::Table table;
        QString error;
        const bool ok = Spreadsheet::ReadXlsxParts(c.parts, { QStringLiteral("A") }, table, error);
        if (c.reason[0] == '\0') {
            ASSERT_TRUE(ok) << c.name << ": " << error.toStdString();
            ASSERT_EQ(table.size(), 1) << c.name;
            EXPECT_EQ(table[0], c.column) << c.name;
        } else {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_TRUE(table.isEmpty()) << c.name;
            EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.name << ": " << error.toStdString();
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define VTR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VTR_UNDER_ASAN 1
#endif
#endif

namespace {
// A field of /proc/self/status in KiB ("VmRSS"), or -1.
long StatusKiB(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            value = std::strtol(line + length + 1, nullptr, 10);
    std::fclose(status);
    return value;
}

struct LimitedRead
{
    bool finished = false; // the child reported; else it died
    bool ok = false;
    QString error;
    Spreadsheet::Table table;
    qint64 peakKiB = -1; // growth of the resident memory while reading
};

// Reads path in a child process held to `budget` bytes more than it has at
// its start: by RLIMIT_AS where that works; under AddressSanitizer, which
// reserves terabytes of address space for itself, by the peak of its
// resident memory, which the caller checks.
LimitedRead ReadWithMemoryLimit(const QString& path, qint64 budget)
{
    LimitedRead result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
#ifndef VTR_UNDER_ASAN
        const qint64 size = static_cast<qint64>(StatusKiB("VmSize")) * 1024;
        const rlimit limit { static_cast<rlim_t>(size + budget), static_cast<rlim_t>(size + budget) };
        ::setrlimit(RLIMIT_AS, &limit);
#endif
        // Start the peak afresh ("5" resets it), so the parent's does not count.
        long before = -1;
        if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
            if (std::fputs("5", clear) >= 0 && std::fclose(clear) == 0)
                before = StatusKiB("VmRSS");
        }
        Spreadsheet::Table table;
        QString error;
        bool ok = false;
        try {
            ok = Spreadsheet::ReadXlsxFile(path, { QStringLiteral("A"), QStringLiteral("B") }, table, error);
        } catch (const std::bad_alloc&) {
            ::_exit(3);
        }
        const long peak = before < 0 ? -1 : StatusKiB("VmHWM") - before;
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream << ok << error << table << static_cast<qint64>(peak);
        }
        const char* p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, static_cast<size_t>(left));
            if (n <= 0)
                ::_exit(2);
            p += n;
            left -= n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray bytes;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return result;
    QDataStream stream(bytes);
    stream >> result.ok >> result.error >> result.table >> result.peakKiB;
    result.finished = stream.status() == QDataStream::Ok;
    return result;
}
} // namespace

TEST_F(SpreadsheetHelperTest, HostileSheetsStayWithinAFewTimesTheirText)
{
    // Each part is 12 to 24 MB of tiny nodes, which a tree of the document
    // makes more than 100 MB.
    constexpr size_t kItems = 2'400'000;
    const std::string kept = "<row><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row>";
    const std::string emptyItems = Repeat("<si/>", kItems);
    const struct
    {
        const char* name;
        std::map<std::string, std::string> parts;
        const char* cell; // column A's only cell, or null when refused
        const char* reason;
    } cases[] = {
        { "shared strings of empty items",
            Workbook("<row><c r=\"A1\" t=\"s\"><v>2400000</v></c></row>", emptyItems + "<si><t>last</t></si>"), "last",
            nullptr },
        { "a shared string the file does not hold",
            Workbook("<row><c r=\"A1\" t=\"s\"><v>2400001</v></c></row>", emptyItems + "<si><t>last</t></si>"), nullptr,
            "Cell A1 refers to shared string \"2400001\", but the file holds 2400001." },
        { "a row of empty elements", Workbook(kept + "<row r=\"2\">" + Repeat("<x/>", 3'000'000) + "</row>"), "kept",
            nullptr },
        { "cells of columns not read", Workbook(kept + "<row r=\"3\">" + Repeat("<c r=\"E3\"/>", 2'200'000) + "</row>"),
            "kept", nullptr },
        { "elements nested deep", Workbook(kept + Repeat("<a>", 3'400'000) + Repeat("</a>", 3'400'000)), "kept",
            nullptr },
        { "rows past the last row", Workbook(kept + Repeat("<row><c r=\"E1\"/></row>", 1'100'000)), nullptr,
            "more rows than a worksheet can hold (1048576)" },
    };
    for (const auto& c : cases) {
        qint64 unpacked = 0;
        for (const auto& part : c.parts)
            unpacked += static_cast<qint64>(part.second.size());
        const QString path = env.Path(QStringLiteral("hostile.xlsx"));
        ASSERT_TRUE(WriteZip(path, c.parts)) << c.name;
        const qint64 budget = 3 * unpacked + 32 * 1024 * 1024;
        const LimitedRead read = ReadWithMemoryLimit(path, budget);
        ASSERT_TRUE(read.finished) << c.name << ": the reader ran out of memory or died";
        if (c.cell) {
            ASSERT_TRUE(read.ok) << c.name << ": " << read.error.toStdString();
            EXPECT_EQ(read.table, Spreadsheet::Table({ { QString::fromLatin1(c.cell) }, {} })) << c.name;
        } else {
            EXPECT_FALSE(read.ok) << c.name;
            EXPECT_TRUE(read.error.contains(QLatin1String(c.reason))) << c.name << ": " << read.error.toStdString();
        }
        ASSERT_GE(read.peakKiB, 0) << "the peak memory of a process cannot be measured here";
        EXPECT_LE(read.peakKiB * 1024, budget) << c.name << ": " << unpacked << " bytes of text";
        std::cout << c.name << ": " << unpacked / 1024 << " KiB of text, peak " << read.peakKiB << " KiB\n";
    }
}
