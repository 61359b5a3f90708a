#include "document/DocumentLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <QHostInfo>

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

QString LoginName()
{
    const QByteArray user = qgetenv("USER");
    if (!user.isEmpty())
        return QString::fromLocal8Bit(user);
    return QString::fromLocal8Bit(qgetenv("LOGNAME"));
}

bool TakeWriteLock(int fd)
{
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

} // namespace

FileErrorCause FileErrorCauseFromErrno(int error)
{
    switch (error) {
    case 0:
        return FileErrorCause::None;
    case ENOENT:
        return FileErrorCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return FileErrorCause::BadPath;
    case EACCES:
    case EPERM:
        return FileErrorCause::AccessDenied;
    case EAGAIN:
        return FileErrorCause::SharingViolation;
    case EROFS:
        return FileErrorCause::ReadOnlyMedium;
    default:
        return FileErrorCause::Generic;
    }
}

DocumentLock::~DocumentLock()
{
    Release();
}

QString DocumentLock::LockFilePath(const QString& documentPath)
{
    const QFileInfo info(documentPath);
    return info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
}

FileErrorCause DocumentLock::Acquire(const QString& documentPath, bool mustExist)
{
    Release();
    if (documentPath.isEmpty())
        return FileErrorCause::BadPath;
    if (QFileInfo(documentPath).isDir())
        return FileErrorCause::AccessDenied;

    // The document itself must be readable and writable.
    const QByteArray doc = Native(documentPath);
    const int probe = ::open(doc.constData(), O_RDWR | O_CLOEXEC);
    if (probe < 0) {
        const int error = errno;
        if (!(error == ENOENT && !mustExist))
            return FileErrorCauseFromErrno(error);
    } else {
        ::close(probe);
    }

    const QString lockPath = LockFilePath(documentPath);
    const QByteArray lock = Native(lockPath);
    // The lock file is removed by its holder on release; when that happens
    // between our open and our lock we hold a lock on a file nobody else
    // sees, so check that the locked file is still the one at the path.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return FileErrorCauseFromErrno(errno);
        if (!TakeWriteLock(fd)) {
            const int error = errno;
            ::close(fd);
            return (error == EAGAIN || error == EACCES) ? FileErrorCause::SharingViolation
                                                        : FileErrorCauseFromErrno(error);
        }
        struct stat held = {};
        struct stat atPath = {};
        if (fstat(fd, &held) != 0 || stat(lock.constData(), &atPath) != 0 || held.st_ino != atPath.st_ino
            || held.st_dev != atPath.st_dev) {
            ::close(fd);
            continue;
        }
        const QByteArray who = (LoginName() + QLatin1Char(',') + QHostInfo::localHostName() + QLatin1Char(',')
            + QString::number(::getpid()) + QLatin1Char(',') + QDateTime::currentDateTime().toString(Qt::ISODate)
            + QLatin1Char('\n'))
                                   .toUtf8();
        if (ftruncate(fd, 0) == 0) {
            // The record is informative only; a short write does not weaken the lock.
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, who.constData(), static_cast<size_t>(who.size()), 0);
        }
        m_fd = fd;
        m_documentPath = documentPath;
        m_lockPath = lockPath;
        return FileErrorCause::None;
    }
    return FileErrorCause::SharingViolation;
}

void DocumentLock::Release()
{
    if (m_fd < 0)
        return;
    // Unlink while still holding the lock so that nobody can lock the old file
    // after we let go (Acquire re-checks the path for the same reason).
    ::unlink(Native(m_lockPath).constData());
    ::close(m_fd);
    m_fd = -1;
    m_documentPath.clear();
    m_lockPath.clear();
}

void DocumentLock::TakeOver(DocumentLock& other)
{
    if (&other == this)
        return;
    Release();
    m_fd = other.m_fd;
    m_documentPath = other.m_documentPath;
    m_lockPath = other.m_lockPath;
    other.m_fd = -1;
    other.m_documentPath.clear();
    other.m_lockPath.clear();
}

QString DocumentLock::Holder(const QString& documentPath)
{
    const QByteArray lock = Native(LockFilePath(documentPath));
    const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    QString holder;
    if (fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) {
        char buffer[512];
        const ssize_t n = ::pread(fd, buffer, sizeof(buffer), 0);
        if (n > 0)
            holder = QString::fromUtf8(buffer, static_cast<int>(n)).trimmed();
    }
    ::close(fd);
    return holder;
}
