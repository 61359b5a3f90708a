#pragma once

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

// The write lock on a rule file: an open-file-description lock on the lock
// file ".~lock.NAME#" beside the document, which also records who holds it.
// Another holder (another program, or another open of the lock file in this
// one) makes Acquire fail with SharingViolation. The system drops the lock
// when its holder dies, so a crash never leaves the file locked.
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
    // Drops the lock and removes the lock file.
    void Release();
    // Takes over the lock other holds (other is left empty), dropping ours.
    void TakeOver(DocumentLock& other);
    // Whether the lock is held.
    bool IsHeld() const { return m_fd >= 0; }
    // The document the lock is for.
    QString DocumentPath() const { return m_documentPath; }

    // ".~lock.NAME#" beside the document.
    static QString LockFilePath(const QString& documentPath);
    // Who holds the lock of a document, as recorded in its lock file
    // ("user,host,pid,time"); empty when nobody does.
    static QString Holder(const QString& documentPath);

private:
    int m_fd = -1;
    QString m_documentPath;
    QString m_lockPath;
};
