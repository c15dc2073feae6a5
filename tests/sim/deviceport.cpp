#include "deviceport.h"

#include <QDeadlineTimer>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

DevicePort::DevicePort(const QString& path) {
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios tio{};
    ::tcgetattr(m_fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(m_fd, TCSANOW, &tio);
}

DevicePort::~DevicePort() {
    close();
}

void DevicePort::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

bool DevicePort::write(const QByteArray& bytes, int timeoutMs) {
    qsizetype done = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (deadline.hasExpired())
            break;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return done == bytes.size();
}

bool DevicePort::fill(int timeoutMs) {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n <= 0)
        return false;
    m_buffer.append(buf, n);
    return true;
}

QByteArray DevicePort::readLine(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    qsizetype end = m_buffer.indexOf('\n');
    while (end < 0 && !deadline.hasExpired()) {
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
        end = m_buffer.indexOf('\n');
    }
    const QByteArray line = end < 0 ? m_buffer : m_buffer.left(end + 1);
    m_buffer.remove(0, line.size());
    return line;
}

QByteArray DevicePort::readBytes(int count, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_buffer.size() < count && !deadline.hasExpired())
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray out = m_buffer.left(count);
    m_buffer.remove(0, out.size());
    return out;
}

bool DevicePort::waitReadable(int timeoutMs) {
    if (!m_buffer.isEmpty())
        return true;
    pollfd p{m_fd, POLLIN, 0};
    return m_fd >= 0 && ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}
