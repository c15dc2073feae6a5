#include "pty.h"

#include <QDeadlineTimer>
#include <QFile>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TerminalEnd::TerminalEnd(const QString& path)
    : m_fd(::open(QFile::encodeName(path).constData(),
                  O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

TerminalEnd::~TerminalEnd() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TerminalEnd::write(const QByteArray& bytes, int timeoutMs) {
    qsizetype done = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, 50);
    }
    return done == bytes.size();
}

QByteArray TerminalEnd::readAvailable() {
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray TerminalEnd::read(int atLeast, int timeoutMs) {
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < atLeast && !deadline.hasExpired()) {
        pollfd p{m_fd, POLLIN, 0};
        ::poll(&p, 1, 20);
        out += readAvailable();
    }
    return out;
}

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_fd, &slave, name, nullptr, nullptr) != 0) {
        m_fd = -1;
        return;
    }
    // Raw, no echo: bytes must cross unchanged in both directions.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    // Neither end may leak into the programs a test starts.
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Keeping one slave descriptor open means the master never sees EIO while
    // the program closes and reopens the port.
    m_slaveKeepAlive = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

void PtyPair::closeMaster() {
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = m_slaveKeepAlive = -1;
}
