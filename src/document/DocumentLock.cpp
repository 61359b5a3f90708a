#include "document/DocumentLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <QHostInfo>

#include "Utilities/VTRUIUtils.h"

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

bool TakeLock(int fd, short type)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileErrorCause LockFailure(int error)
{
    return (error == EAGAIN || error == EACCES) ? FileErrorCause::SharingViolation : FileErrorCauseFromErrno(error);
}

// Opens the document itself for reading and writing. A name that is not a
// regular file (a FIFO would block the reader, a device is no rule file) is
// refused.
int OpenDocument(const QByteArray& path, FileErrorCause& cause)
{
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        cause = FileErrorCauseFromErrno(errno);
        return -1;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        cause = FileErrorCause::Generic;
        return -1;
    }
    cause = FileErrorCause::None;
    return fd;
}

// Those who may write the folder may write the lock files made in it, so
// that one of them can take over a lock file whose holder died.
mode_t LockFileMode(const QByteArray& folder)
{
    struct stat info = {};
    mode_t mode = 0644;
    if (::stat(folder.constData(), &info) == 0)
        mode |= info.st_mode & (S_IWGRP | S_IWOTH);
    return mode;
}

// A lock file this user may not write (made by another user under an older
// version or a stricter umask) is removed when nobody holds it: None when it
// is gone (look again), SharingViolation while it is held.
FileErrorCause RemoveStaleLockFile(const QByteArray& lock)
{
    const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? FileErrorCause::None : FileErrorCause::AccessDenied;
    // A read lock keeps holders out while we look (a holder's write lock
    // makes it fail) ...
    if (!TakeLock(fd, F_RDLCK)) {
        const int error = errno;
        ::close(fd);
        return LockFailure(error);
    }
    // ... and flock, which needs no write access, lets one remover at a time
    // through: two could otherwise both find the old file and the second
    // remove the new one the first has just made and locked. Where flock is
    // not supported the race stays as narrow as it was.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return FileErrorCause::SharingViolation;
    }
    struct stat held = {};
    struct stat atPath = {};
    FileErrorCause cause = FileErrorCause::None;
    if (fstat(fd, &held) == 0 && ::lstat(lock.constData(), &atPath) == 0 && SameFile(held, atPath)
        && ::unlink(lock.constData()) != 0 && errno != ENOENT)
        cause = FileErrorCauseFromErrno(errno);
    ::close(fd);
    return cause;
}

// Opens the lock file for writing, making it when it is missing. Never
// follows a link planted in its place: the record is written into it.
int OpenLockFile(const QByteArray& lock, const QByteArray& folder, FileErrorCause& cause)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(lock.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd >= 0)
            return fd;
        int error = errno;
        if (error == ENOENT) {
            const mode_t mode = LockFileMode(folder);
            fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
            if (fd >= 0) {
                // The umask must not take back what the folder allows.
                [[maybe_unused]] const int changed = ::fchmod(fd, mode);
                return fd;
            }
            error = errno;
            if (error == EEXIST)
                continue;
        } else if (error == EACCES || error == EPERM) {
            cause = RemoveStaleLockFile(lock);
            if (cause != FileErrorCause::None)
                return -1;
            continue;
        }
        cause = error == ELOOP ? FileErrorCause::AccessDenied : FileErrorCauseFromErrno(error);
        return -1;
    }
    cause = FileErrorCause::SharingViolation;
    return -1;
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

QString DocumentLock::CanonicalPath(const QString& documentPath)
{
    const QFileInfo info(documentPath);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // Not there yet (a save under a new name) or a link to nothing yet.
    const QFileInfo target(info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath());
    const QString folder = QFileInfo(target.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? target.absolutePath() : folder) + QLatin1Char('/') + target.fileName();
}

QString DocumentLock::LockFilePath(const QString& documentPath)
{
    const QFileInfo info(CanonicalPath(documentPath));
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
    const QString canonical = CanonicalPath(documentPath);
    const QByteArray doc = Native(canonical);
    FileErrorCause cause = FileErrorCause::None;
    int documentFd = OpenDocument(doc, cause);
    if (documentFd < 0 && !(cause == FileErrorCause::FileNotFound && !mustExist))
        return cause;

    const QString lockPath = LockFilePath(canonical);
    const QByteArray lock = Native(lockPath);
    const QByteArray folder = Native(QFileInfo(canonical).absolutePath());
    // The lock file is removed by its holder on release; when that happens
    // between our open and our lock we hold a lock on a file nobody else
    // sees, so check that the locked file is still the one at the path.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = OpenLockFile(lock, folder, cause);
        if (fd < 0)
            break;
        if (!TakeLock(fd, F_WRLCK)) {
            cause = LockFailure(errno);
            ::close(fd);
            break;
        }
        struct stat held = {};
        struct stat atPath = {};
        if (fstat(fd, &held) != 0 || ::lstat(lock.constData(), &atPath) != 0 || !SameFile(held, atPath)) {
            ::close(fd);
            cause = FileErrorCause::SharingViolation;
            continue;
        }
        // Another name of the same file (a hard link elsewhere) has a lock
        // file of its own; the lock on the file itself is where they meet.
        if (documentFd >= 0 && !TakeLock(documentFd, F_WRLCK)) {
            cause = LockFailure(errno);
            // Ours alone, so nobody loses anything when it goes.
            ::unlink(lock.constData());
            ::close(fd);
            break;
        }
        const QByteArray who = (LoggedOnUserName() + QLatin1Char(',') + QHostInfo::localHostName() + QLatin1Char(',')
            + QString::number(::getpid()) + QLatin1Char(',') + QDateTime::currentDateTime().toString(Qt::ISODate)
            + QLatin1Char('\n'))
                                   .toUtf8();
        if (ftruncate(fd, 0) == 0) {
            // The record is informative only; a short write does not weaken the lock.
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, who.constData(), static_cast<size_t>(who.size()), 0);
        }
        m_fd = fd;
        m_documentFd = documentFd;
        m_documentPath = documentPath;
        m_canonicalPath = canonical;
        m_lockPath = lockPath;
        return FileErrorCause::None;
    }
    if (documentFd >= 0)
        ::close(documentFd);
    return cause == FileErrorCause::None ? FileErrorCause::SharingViolation : cause;
}

bool DocumentLock::FollowReplacedDocument()
{
    if (m_fd < 0)
        return false;
    FileErrorCause cause = FileErrorCause::None;
    const int fd = OpenDocument(Native(m_canonicalPath), cause);
    if (fd < 0)
        return false;
    struct stat now = {};
    struct stat before = {};
    if (m_documentFd >= 0 && fstat(fd, &now) == 0 && fstat(m_documentFd, &before) == 0 && SameFile(now, before)) {
        ::close(fd); // written in place: the lock is on it already
        return true;
    }
    if (!TakeLock(fd, F_WRLCK)) {
        ::close(fd);
        return false;
    }
    if (m_documentFd >= 0)
        ::close(m_documentFd);
    m_documentFd = fd;
    return true;
}

void DocumentLock::Release()
{
    if (m_documentFd >= 0) {
        ::close(m_documentFd);
        m_documentFd = -1;
    }
    if (m_fd < 0)
        return;
    // Unlink while still holding the lock so that nobody can lock the old file
    // after we let go (Acquire re-checks the path for the same reason).
    ::unlink(Native(m_lockPath).constData());
    ::close(m_fd);
    m_fd = -1;
    m_documentPath.clear();
    m_canonicalPath.clear();
    m_lockPath.clear();
}

void DocumentLock::TakeOver(DocumentLock& other)
{
    if (&other == this)
        return;
    Release();
    m_fd = other.m_fd;
    m_documentFd = other.m_documentFd;
    m_documentPath = other.m_documentPath;
    m_canonicalPath = other.m_canonicalPath;
    m_lockPath = other.m_lockPath;
    other.m_fd = -1;
    other.m_documentFd = -1;
    other.m_documentPath.clear();
    other.m_canonicalPath.clear();
    other.m_lockPath.clear();
}

QString DocumentLock::Holder(const QString& documentPath)
{
    const QByteArray lock = Native(LockFilePath(documentPath));
    const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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

LockHolder DocumentLock::HolderOf(const QString& documentPath)
{
    // user,host,pid,time: neither a login name nor a host name holds a comma.
    const QStringList fields = Holder(documentPath).split(QLatin1Char(','));
    LockHolder holder;
    if (fields.size() < 4)
        return holder;
    holder.user = fields[0];
    holder.host = fields[1];
    holder.pid = fields[2].toLongLong();
    holder.since = QDateTime::fromString(fields.mid(3).join(QLatin1Char(',')), Qt::ISODate);
    return holder;
}
