#include "platform/QuitSignals.h"

#include "platform/Log.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesk {

namespace {
// Where the handler writes; the handler may do no more than that.
std::atomic<int> g_writeEnd {-1};

extern "C" void noteQuitSignal(int signal)
{
    const int saved = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a request to end; nothing more is needed.
        (void)::write(fd, &number, 1);
    }
    errno = saved;
}
} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    if (g_writeEnd.load() >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        veskLog(QStringLiteral("Vesk quit signal error: the handlers could not be installed."));
        return;
    }
    g_writeEnd.store(m_fds[0]);
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        // A signal the starting shell told us to ignore (nohup ignores SIGHUP) stays ignored: the user
        // asked for Vesk to outlive that terminal.
        ::sigaction(kSignals[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler == SIG_IGN && !(m_previous[i].sa_flags & SA_SIGINFO))
            continue;
        struct sigaction action {};
        action.sa_handler = noteQuitSignal;
        sigemptyset(&action.sa_mask);
        // Slow calls that the signal interrupts carry on.
        action.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &action, &m_previous[i]);
    }
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeEnd.store(-1);
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void QuitSignals::readPending()
{
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(m_fds[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(numbers[i]);
    }
}

} // namespace vesk
