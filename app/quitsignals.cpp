#include "app/quitsignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalFds[2] = {-1, -1};

// A log-out, Ctrl+C, and the terminal the program was started from closing.
const int kQuitSignals[QuitSignals::kSignals] = {SIGTERM, SIGINT, SIGHUP};

void onPosixSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    ssize_t ignored = ::write(g_signalFds[0], &byte, 1);
    (void)ignored;
    errno = saved;
}
}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (g_signalFds[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
            return;
        ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignal);

    struct sigaction sa {};
    sa.sa_handler = onPosixSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignals; ++i) {
        ::sigaction(kQuitSignals[i], nullptr, &m_previous[i]);
        // Started through nohup: the closing terminal stays ignored.
        if (kQuitSignals[i] != SIGHUP || m_previous[i].sa_handler != SIG_IGN)
            ::sigaction(kQuitSignals[i], &sa, nullptr);
    }
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < kSignals; ++i)
        ::sigaction(kQuitSignals[i], &m_previous[i], nullptr);
}

void QuitSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(g_signalFds[1], &byte, 1) == 1 && m_onSignal)
        m_onSignal(byte);
}
