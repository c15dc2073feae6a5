#include "cli/signalwatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds enough to wake the loop.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &n, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), m_signals(signalNumbers) {
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : m_signals)
        ::sigaction(s, &action, nullptr);
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
}

SignalWatcher::~SignalWatcher() {
    if (!m_notifier)
        return;
    for (const int s : m_signals)
        ::signal(s, SIG_DFL);
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SignalWatcher::readPipe() {
    unsigned char n = 0;
    while (::read(pipeFds[0], &n, 1) == 1)
        Q_EMIT received(int(n));
}
