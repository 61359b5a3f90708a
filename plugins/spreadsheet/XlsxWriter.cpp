#include "XlsxWriter.h"

#include "VtrRegularFile.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include <QFile>
#include <QFileInfo>

namespace Spreadsheet {
namespace {
constexpr int kColumns = 4;
constexpr double kWidths[kColumns] = { 11, 45, 22, 40 };

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The temporary file beside the target that becomes the target on success.
class SiblingFile
{
public:
    explicit SiblingFile(const QString& target)
    {
        const QFileInfo info(target);
        m_name = QFile::encodeName(
            info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
        const int fd = ::mkstemp(m_name.data());
        if (fd < 0) {
            m_error = SystemError(errno);
            m_name.clear();
            return;
        }
        // mkstemp makes the file private; the sheet gets the usual mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
    }
    ~SiblingFile()
    {
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    SiblingFile(const SiblingFile&) = delete;
    SiblingFile& operator=(const SiblingFile&) = delete;

    bool Created() const { return !m_name.isEmpty(); }
    const char* Name() const { return m_name.constData(); }
    const QString& Error() const { return m_error; }
    // Puts the file in place of the target.
    bool Commit(const QString& target)
    {
        if (::rename(m_name.constData(), QFile::encodeName(target).constData()) != 0) {
            m_error = SystemError(errno);
            return false;
        }
        m_name.clear();
        return true;
    }

private:
    QByteArray m_name;
    QString m_error;
};

// Row height that shows every line of wrapped text. Spreadsheet programs
// fit rows to wrapped text only when they format the cells themselves, and a
// written file has no heights, so one is set from the number of lines each
// cell needs at its column's width; single-line rows keep the default.
constexpr double kLineHeight = 15;
constexpr double kMaxRowHeight = 409;

int LinesNeeded(const QString& text, double width)
{
    int lines = 0;
    for (QStringView line : QStringView(text).split(u'\n'))
        lines += std::max<qsizetype>(1, static_cast<qsizetype>(std::ceil(static_cast<double>(line.size()) / width)));
    return lines;
}

bool WholeNumber(const QString& text, double& value)
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    value = static_cast<double>(n);
    return ok;
}

QString CellError(lxw_error code, int row, int column)
{
    return QStringLiteral("Cell %1%2 could not be written: %3.")
        .arg(ColumnLetters(column))
        .arg(row + 1)
        .arg(QString::fromUtf8(lxw_strerror(code)));
}
} // namespace

bool WriteXlsx(const QString& path, const Table& rows, QString& error)
{
    if (rows.size() > VTRCLRMangedHelper::kMaxRows) {
        error = QStringLiteral("%1 rows do not fit in one worksheet.").arg(rows.size());
        return false;
    }
    // Never replace a folder, a FIFO or a device by a sheet.
    QString why;
    if (QFileInfo::exists(path) && !VtrIsRegularFile(path, &why)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, why);
        return false;
    }
    SiblingFile file(path);
    if (!file.Created()) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, file.Error());
        return false;
    }

    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(file.Name(), &options);
    if (!workbook) {
        error = QStringLiteral("%1 cannot be written: out of memory.").arg(path);
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, VTRCLRMangedHelper::kSheetName);
    lxw_format* column = workbook_add_format(workbook);
    lxw_format* cell = workbook_add_format(workbook);
    for (lxw_format* format : { column, cell }) {
        format_set_text_wrap(format);
        format_set_align(format, LXW_ALIGN_VERTICAL_CENTER);
    }
    format_set_border(cell, LXW_BORDER_THIN);
    for (int c = 0; c < kColumns; ++c)
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), kWidths[c], column);
    // The four columns are wider than a portrait page: print them on one
    // landscape page width.
    worksheet_set_landscape(sheet);
    worksheet_fit_to_pages(sheet, 1, 0);

    lxw_error failure = LXW_NO_ERROR;
    int failedRow = 0;
    int failedColumn = 0;
    for (int r = 0; r < rows.size() && failure == LXW_NO_ERROR; ++r) {
        const QStringList& row = rows[r];
        int lines = 1;
        for (int c = 0; c < kColumns && c < row.size(); ++c)
            lines = std::max(lines, LinesNeeded(row[c], kWidths[c]));
        if (lines > 1)
            worksheet_set_row(sheet, static_cast<lxw_row_t>(r), std::min(kMaxRowHeight, lines * kLineHeight), nullptr);
        for (int c = 0; c < kColumns && failure == LXW_NO_ERROR; ++c) {
            const QString text = c < row.size() ? row[c] : QString();
            const auto lr = static_cast<lxw_row_t>(r);
            const auto lc = static_cast<lxw_col_t>(c);
            double number = 0;
            if (c == 0 && r > 0 && WholeNumber(text, number))
                failure = worksheet_write_number(sheet, lr, lc, number, cell);
            else if (text.isEmpty())
                failure = worksheet_write_blank(sheet, lr, lc, cell); // keeps the border
            else
                failure = worksheet_write_string(sheet, lr, lc, text.toUtf8().constData(), cell);
            failedRow = r;
            failedColumn = c;
        }
    }
    const lxw_error closed = workbook_close(workbook);
    if (failure != LXW_NO_ERROR) {
        error = CellError(failure, failedRow, failedColumn);
        return false;
    }
    if (closed != LXW_NO_ERROR) {
        error = QStringLiteral("%1 cannot be written: %2.").arg(path, QString::fromUtf8(lxw_strerror(closed)));
        return false;
    }
    if (!file.Commit(path)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, file.Error());
        return false;
    }
    return true;
}
} // namespace Spreadsheet
