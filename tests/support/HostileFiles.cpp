#include "HostileFiles.h"

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

bool MakeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

QByteArray DeeplyNestedRuleFile(int depth)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<VTRExpress Unit=\"0\" AngularUnit=\"0\">"
                      "<Rule Name=\"Deep\" RuleModule=\"Interactive User Defined Rule\">";
    text.reserve(text.size() + static_cast<qsizetype>(depth) * 23 + 40);
    for (int i = 0; i < depth; ++i)
        text += "<Parameter>";
    for (int i = 0; i < depth; ++i)
        text += "</Parameter>";
    text += "</Rule></VTRExpress>";
    return text;
}

FifoWatchdog::FifoWatchdog(const QString& fifo)
    : m_fifo(QFile::encodeName(fifo))
    , m_thread([this] { Watch(); })
{ }

FifoWatchdog::~FifoWatchdog()
{
    Finish();
}

bool FifoWatchdog::Finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    return m_foundReader;
}

void FifoWatchdog::Watch()
{
    using namespace std::chrono_literals;
    std::unique_lock<std::mutex> lock(m_mutex);
    // Code that refuses the FIFO never opens it, so the grace period only
    // bounds how long a faulty reader holds the test up.
    if (m_wake.wait_for(lock, 3s, [this] { return m_stop; }))
        return;
    while (!m_stop) {
        // Without a reader this fails with ENXIO at once.
        const int fd = ::open(m_fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            m_foundReader = true;
            ::close(fd);
        }
        m_wake.wait_for(lock, 100ms, [this] { return m_stop; });
    }
}
