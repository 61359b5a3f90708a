#include "app/TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {
constexpr int kSignals[] = { SIGTERM, SIGINT, SIGHUP };
// The handler may only write to a descriptor; the event loop reads the other end.
int g_pipe[2] = { -1, -1 };
// How each signal was handled before; put back when the object goes.
struct sigaction g_previous[std::size(kSignals)];
bool g_installed[std::size(kSignals)] = {};

extern "C" void OnTerminationSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full socket already holds a wake-up: losing this one is harmless.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void ClosePipe()
{
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void RestoreHandlers()
{
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (g_installed[i])
            ::sigaction(kSignals[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent)
    , m_onSignal(std::move(onSignal))
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // A second signal acts as it would without us: the one that asked the
    // program to end may meet a shutdown that hangs.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction previous {};
        if (::sigaction(kSignals[i], nullptr, &previous) != 0) {
            RestoreHandlers();
            ClosePipe();
            return;
        }
        // A signal the program was started to ignore (nohup) stays ignored.
        if (previous.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(kSignals[i], &action, &g_previous[i]) != 0) {
            RestoreHandlers();
            ClosePipe();
            return;
        }
        g_installed[i] = true;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::Drain);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    RestoreHandlers();
    delete m_notifier;
    m_notifier = nullptr;
    ClosePipe();
}

void TerminationSignals::Drain()
{
    unsigned char bytes[16];
    ssize_t got = 0;
    while ((got = ::read(g_pipe[0], bytes, sizeof(bytes))) > 0)
        for (ssize_t i = 0; i < got; ++i)
            if (m_onSignal)
                m_onSignal(bytes[i]);
}
