#pragma once

#include <QDateTime>
#include <QString>

// Why a file could not be opened for writing, in the numbering the document's
// messages are chosen by.
enum class FileErrorCause : int {
    None = 0,
    Generic = 1,
    FileNotFound = 2,
    BadPath = 3,
    AccessDenied = 5,
    SharingViolation = 11,
    ReadOnlyMedium = 13,
};

// Maps an errno value to the cause the messages are chosen by.
FileErrorCause FileErrorCauseFromErrno(int error);

// Who holds a rule file, as its lock file records it.
struct LockHolder
{
    QString user;
    QString host;
    qint64 pid = 0;
    QDateTime since;
    // Whether a record was found.
    bool IsKnown() const { return !user.isEmpty() || !host.isEmpty(); }
};

// The write lock on a rule file. Two open-file-description locks make it:
// - one on the lock file ".~lock.NAME#" beside the file's real place (links
//   and other spellings of the path resolved), which also records who holds
//   it; every name that resolves to the same place meets there;
// - one on the rule file itself, so that a hard link in another folder, which
//   has a lock file of its own, still meets the holder.
// Another holder (another program, or another open in this one) makes Acquire
// fail with SharingViolation. The system drops both when the holder dies, so
// a crash never leaves the file locked; a lock file left behind that the user
// may not write (another user's) is replaced when nobody holds it.
class DocumentLock
{
public:
    DocumentLock() = default;
    ~DocumentLock();
    DocumentLock(const DocumentLock&) = delete;
    DocumentLock& operator=(const DocumentLock&) = delete;

    // Checks that the document can be opened for reading and writing (a
    // missing document is fine when mustExist is false) and takes the lock.
    // On failure the cause says why and nothing is held.
    FileErrorCause Acquire(const QString& documentPath, bool mustExist = true);
    // A save replaces the document by a new file under the same name; this
    // locks the new file (and lets go of the old). False when it cannot be
    // locked; the lock file is still held then.
    bool FollowReplacedDocument();
    // Drops the lock and removes the lock file.
    void Release();
    // Takes over the lock other holds (other is left empty), dropping ours.
    void TakeOver(DocumentLock& other);
    // Whether the lock is held.
    bool IsHeld() const { return m_fd >= 0; }
    // The document the lock is for, as the caller named it.
    QString DocumentPath() const { return m_documentPath; }

    // The document's real place: links followed, "." and ".." resolved; for a
    // file that does not exist yet, its folder's real place and its name.
    static QString CanonicalPath(const QString& documentPath);
    // ".~lock.NAME#" beside the document's real place.
    static QString LockFilePath(const QString& documentPath);
    // Who holds the lock of a document, as recorded in its lock file
    // ("user,host,pid,time"); empty when nobody does.
    static QString Holder(const QString& documentPath);
    // The same record, taken apart; unknown when nobody holds the lock.
    static LockHolder HolderOf(const QString& documentPath);

private:
    int m_fd = -1;
    // The document itself, locked too; -1 while it does not exist yet.
    int m_documentFd = -1;
    QString m_documentPath;
    QString m_canonicalPath;
    QString m_lockPath;
};
