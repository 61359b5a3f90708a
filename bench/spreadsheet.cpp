// Exporting and importing the custom messages of 100,000 rules through the
// spreadsheet helper, beside a bare libxlsxwriter write of the same rows: the
// helper's export should stay within 2.5 times the bare write.

#include "custommsg/SpreadsheetHelper.h"

#include <array>
#include <vector>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <QFile>
#include <QTemporaryDir>

namespace {
using Table = QList<QStringList>;

Table Rows(int count)
{
    Table rows;
    rows.reserve(count + 1);
    rows.append({ QStringLiteral("Help ID"), QStringLiteral("Rule Name"), QStringLiteral("Rule Category"),
        QStringLiteral("Custom Message") });
    for (int i = 1; i <= count; ++i)
        rows.append({ QString::number(10000 + i), QStringLiteral("Minimum Hole Diameter %1").arg(i),
            QStringLiteral("Sheet Metal"),
            i % 3 ? QStringLiteral("Check the punch size against the sheet thickness (%1).").arg(i) : QString() });
    return rows;
}

// The same rows written by libxlsxwriter alone: the UTF-8 texts prepared
// beforehand, constant-memory mode, one format.
void BM_BareLibxlsxwriter(benchmark::State& state)
{
    const Table rows = Rows(static_cast<int>(state.range(0)));
    std::vector<std::array<QByteArray, 4>> utf8;
    utf8.reserve(rows.size());
    for (const QStringList& row : rows)
        utf8.push_back({ row[0].toUtf8(), row[1].toUtf8(), row[2].toUtf8(), row[3].toUtf8() });
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("bare.xlsx")));
    for (auto _ : state) {
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        lxw_workbook* workbook = workbook_new_opt(path.constData(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Custom_Message");
        lxw_format* format = workbook_add_format(workbook);
        format_set_border(format, LXW_BORDER_THIN);
        for (lxw_row_t r = 0; r < utf8.size(); ++r) {
            for (lxw_col_t c = 0; c < 4; ++c) {
                if (c == 0 && r > 0)
                    worksheet_write_number(sheet, r, c, utf8[r][0].toDouble(), format);
                else if (utf8[r][c].isEmpty())
                    worksheet_write_blank(sheet, r, c, format);
                else
                    worksheet_write_string(sheet, r, c, utf8[r][c].constData(), format);
            }
        }
        if (workbook_close(workbook) != LXW_NO_ERROR)
            state.SkipWithError("the bare write failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The export as the commands run it: the helper loaded, the sheet written
// beside the target and renamed over it, the helper freed.
void BM_HelperExport(benchmark::State& state)
{
    const Table rows = Rows(static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CustomMessageTemplate.xlsx"));
    for (auto _ : state) {
        const SpreadsheetOutcome written = SpreadsheetHelper::Export(path, rows);
        if (!written.ok)
            state.SkipWithError(written.error.toUtf8().constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Reading the exported sheet back into the column-major table.
void BM_HelperImport(benchmark::State& state)
{
    const Table rows = Rows(static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CustomMessageTemplate.xlsx"));
    if (!SpreadsheetHelper::Export(path, rows).ok) {
        state.SkipWithError("the export failed");
        return;
    }
    for (auto _ : state) {
        Table table;
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
        if (!read.ok || table.value(0).size() != rows.size())
            state.SkipWithError("the import failed");
        benchmark::DoNotOptimize(table);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
} // namespace

BENCHMARK(BM_BareLibxlsxwriter)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HelperExport)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HelperImport)->Arg(100000)->Unit(benchmark::kMillisecond);
