#include "VtrRegularFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace {
QString KindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    return QStringLiteral("a special file");
}

void SetWhy(QString* why, const QString& text)
{
    if (why)
        *why = text;
}

QString NotRegular(mode_t mode)
{
    return QStringLiteral("not a regular file (it is %1)").arg(KindOf(mode));
}
} // namespace

int VtrOpenRegularFileForReading(const char* path, QString* why)
{
    if (!path || !*path) {
        SetWhy(why, QStringLiteral("empty path"));
        return -1;
    }
    // Look before opening: opening a device can have effects of its own.
    struct stat st
    {
    };
    if (::stat(path, &st) != 0) {
        SetWhy(why, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        SetWhy(why, NotRegular(st.st_mode));
        return -1;
    }
    // The path may have been replaced since; a non-blocking open returns at
    // once even for a FIFO, and what was opened is checked again.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetWhy(why, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        SetWhy(why, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        SetWhy(why, NotRegular(st.st_mode));
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool VtrIsRegularFile(const QString& path, QString* why)
{
    if (path.isEmpty()) {
        SetWhy(why, QStringLiteral("empty path"));
        return false;
    }
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        SetWhy(why, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        SetWhy(why, NotRegular(st.st_mode));
        return false;
    }
    return true;
}
