#include "XlsReader.h"

#include "VtrRegularFile.h"
#include "XlsxReader.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <freexl.h>

#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

namespace Spreadsheet {
namespace {
// A reading that takes longer than this is taken to hang.
constexpr int kReadTimeoutMs = 60 * 1000;
// The most bytes a reading may hand back: twice the largest file read (its
// texts as UTF-16) and room for the list structure.
constexpr qint64 kMaxResultBytes = 3 * kMaxPartBytes;

// Closes the workbook however the reading ends; FreeXL wants a close even
// after a failed open.
class XlsHandle
{
public:
    ~XlsHandle()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    const void** Out() { return &m_handle; }
    const void* Get() const { return m_handle; }

private:
    const void* m_handle = nullptr;
};

// The reason FreeXL refused a workbook, in the user's words.
QString FreeXlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("The file was not found.");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("Not enough memory to read the workbook.");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return QStringLiteral("The file is not an .xls workbook (it does not begin as one).");
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
        return QStringLiteral("The workbook is cut short or damaged: part of it is missing.");
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return QStringLiteral("The workbook is damaged: its table of contents is broken.");
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("The file holds no .xls workbook.");
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
        return QStringLiteral("The workbook is damaged: its table of texts is broken.");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return QStringLiteral("The workbook's texts are in a character set that cannot be read.");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("The workbook is damaged.");
    default:
        return QStringLiteral("The file is not a readable .xls workbook (FreeXL error %1).").arg(code);
    }
}

// Reads the first worksheet with FreeXL into out.
bool ReadWithFreeXl(const QByteArray& path, ColumnTable& out, QString& error)
{
    XlsHandle xls;
    int code = freexl_open(path.constData(), xls.Out());
    if (code != FREEXL_OK) {
        error = FreeXlError(code);
        return false;
    }
    unsigned int info = 0;
    if (freexl_get_info(xls.Get(), FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) {
        error = QStringLiteral("The workbook is protected by a password.");
        return false;
    }
    if (freexl_get_info(xls.Get(), FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0) {
        error = QStringLiteral("The workbook has no worksheet.");
        return false;
    }
    unsigned int rows = 0;
    unsigned short lastColumn = 0;
    if (freexl_select_active_worksheet(xls.Get(), 0) != FREEXL_OK
        || freexl_worksheet_dimensions(xls.Get(), &rows, &lastColumn) != FREEXL_OK) {
        error = QStringLiteral("The first worksheet cannot be read.");
        return false;
    }
    if (rows > static_cast<unsigned int>(VTRCLRMangedHelper::kMaxRows)) {
        error = QStringLiteral("The sheet has more rows than a worksheet can hold (%1).")
                    .arg(VTRCLRMangedHelper::kMaxRows);
        return false;
    }
    for (unsigned int r = 0; r < rows; ++r) {
        for (int c = 0; c <= lastColumn; ++c) {
            if (!out.Wants(c))
                continue;
            FreeXL_CellValue cell;
            code = freexl_get_cell_value(xls.Get(), r, static_cast<unsigned short>(c), &cell);
            if (code != FREEXL_OK) {
                error = QStringLiteral("Cell %1%2 cannot be read (FreeXL error %3).")
                            .arg(ColumnLetters(c))
                            .arg(r + 1)
                            .arg(code);
                return false;
            }
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                text = NumberText(cell.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                text = NumberText(cell.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                if (cell.value.text_value)
                    text = CellTextFromUtf8(cell.value.text_value);
                break;
            default:
                break;
            }
            out.Set(c, static_cast<int64_t>(r) + 1, std::move(text));
        }
    }
    return true;
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// FreeXL is not safe against every damaged file (it has been seen to read
// outside its buffers), so it reads in a child process: whatever it does
// there, this process gets a table, a reason, or the news that the reader
// died, and a reading that hangs is ended.
bool ReadInChild(const QString& path, const QStringList& columns, Table& table, QString& error)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = QStringLiteral("No pipe for the reader: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = QStringLiteral("No process for the reader: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        // Reports of a reader that fails belong to the reader.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, STDERR_FILENO);
        ColumnTable out;
        QString why;
        bool ok = out.Init(columns, why) && ReadWithFreeXl(name, out, why);
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream << ok << why << (ok ? out.Take() : Table());
        }
        ::_exit(WriteAll(fds[1], bytes) ? 0 : 1);
    }

    ::close(fds[1]);
    QByteArray bytes;
    bool complete = false;
    bool tooLarge = false;
    QDeadlineTimer deadline(kReadTimeoutMs);
    char chunk[64 * 1024];
    while (!deadline.hasExpired()) {
        pollfd wait = { fds[0], POLLIN, 0 };
        const int ready = ::poll(&wait, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        if (bytes.size() + n > kMaxResultBytes) {
            tooLarge = true;
            break;
        }
        bytes.append(chunk, n);
    }
    ::close(fds[0]);
    if (!complete)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }

    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (tooLarge)
            error = QStringLiteral("The workbook's contents are too large to read.");
        else if (!complete)
            error = QStringLiteral("Reading the workbook did not end within %1 seconds.").arg(kReadTimeoutMs / 1000);
        else
            error = QStringLiteral("The workbook is damaged: reading it failed.");
        return false;
    }
    bool ok = false;
    QString why;
    Table read;
    QDataStream stream(bytes);
    stream >> ok >> why >> read;
    if (stream.status() != QDataStream::Ok) {
        error = QStringLiteral("The workbook is damaged: reading it failed.");
        return false;
    }
    if (!ok) {
        error = why;
        return false;
    }
    table = std::move(read);
    return true;
}
} // namespace

bool ReadXls(const QString& path, const QStringList& columns, Table& table, int32_t& messageId, QString& error)
{
    table.clear();
    messageId = kMsgInvalidFileFormat;
    ColumnTable check;
    if (!check.Init(columns, error)) {
        messageId = 0;
        return false;
    }
    // FreeXL opens by name: refuse a FIFO or device first (opening a FIFO
    // waits for a writer) and files far larger than any workbook.
    QString why;
    if (!VtrIsRegularFile(path, &why)) {
        error = QStringLiteral("%1 cannot be read: %2").arg(path, why);
        return false;
    }
    if (QFileInfo(path).size() == 0) {
        error = QStringLiteral("%1: The file is empty.").arg(path);
        return false;
    }
    if (QFileInfo(path).size() > kMaxPartBytes) {
        error
            = QStringLiteral("%1 is larger than %2 MiB; it is not read.").arg(path).arg(kMaxPartBytes / (1024 * 1024));
        return false;
    }
    // An .xlsx workbook under another name ("X.XLSX") reads as what it is.
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("PK\x03\x04", 4)) {
            if (ReadXlsxFile(path, columns, table, error)) {
                messageId = 0;
                return true;
            }
            return false;
        }
    }
    if (!ReadInChild(path, columns, table, why)) {
        // FreeXL reads compound documents only; one that does not begin
        // as one is no workbook, whatever FreeXL made of it.
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.read(8) != QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
            why = QStringLiteral("The file is not an .xls workbook (it does not begin as one).");
        error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    messageId = 0;
    return true;
}
} // namespace Spreadsheet
