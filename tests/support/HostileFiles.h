#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QString>

// Makes a FIFO at path; false when the system refuses.
bool MakeFifo(const QString& path);

// A rule file whose one user-defined rule holds `depth` elements nested in
// each other (60,000 of them make about 1.3 MB).
QByteArray DeeplyNestedRuleFile(int depth);

// Watches a FIFO while code that must not read it runs. A reader that opened
// it would wait for ever for a writer; after a grace period the watchdog
// opens it for writing (which only succeeds while someone waits to read) and
// closes it again, so the reader gets an end of file instead of hanging the
// test, and the test learns that somebody waited.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString& fifo);
    ~FifoWatchdog();
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // Stops watching; true when somebody was found waiting to read the FIFO.
    bool Finish();

private:
    void Watch();

    QByteArray m_fifo;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_foundReader = false;
    std::thread m_thread;
};
