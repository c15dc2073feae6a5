#include "serial/portreader.h"

#include <cerrno>
#include <climits>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A single read takes at most this much: a flood is then cut into replies
// and stamped in steps the window's thread can keep up with.
constexpr qsizetype readBytes = 16384;

bool fatal(int error) {
    return error != EAGAIN && error != EWOULDBLOCK && error != EINTR;
}

} // namespace

PortReader::PortReader(QObject* parent) : QObject(parent) {}

PortReader::~PortReader() {
    stop();
}

bool PortReader::start(int fd) {
    stop();
    std::lock_guard lock(m_mutex);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Watched by epoll rather than poll: set up once, not on every wake.
    m_epollFd = m_wakeFd < 0 ? -1 : ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u32 = 0;
    if (m_epollFd < 0 || ::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_wakeFd, &wakeEvent) < 0) {
        // Without them the reader could never be stopped.
        const int error = errno;
        ::close(fd);
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
        if (m_epollFd >= 0)
            ::close(m_epollFd);
        m_wakeFd = m_epollFd = -1;
        errno = error;
        return false;
    }
    m_fd = fd;
    m_stopping = false;
    m_lost = false;
    m_lostError = 0;
    m_sent = false;
    m_collector.clear();
    m_queue.clear();
    m_queuedBytes = 0;
    m_wakePending = false;
    m_urgent = false;
    m_paused = false;
    m_lastLineNs = -1;
    m_gapNs = 0;
    m_thread = std::thread([this] { run(); });
    return true;
}

void PortReader::stop() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            return;
        m_stopping = true;
    }
    wakeReader();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    ::close(m_fd);
    ::close(m_wakeFd);
    ::close(m_epollFd);
    m_fd = m_wakeFd = m_epollFd = -1;
}

void PortReader::wakeReader() {
    const quint64 one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0) {
        // A counter that is full already wakes the reader.
    }
}

void PortReader::run() {
    // Named, so that top and perf tell its share from the window's.
    ::pthread_setname_np(::pthread_self(), "orv-port-reader");
    char buffer[readBytes];
    // The clock is read once per wake: a read's stamp is also its "now".
    qint64 nowNs = monotonicNs();
    bool watching = false; // whether the port is in the epoll set
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            // Full: the port is left alone until the window's thread takes some.
            m_paused =
                m_queuedBytes >= maxQueuedBytes || qsizetype(m_queue.size()) >= maxQueuedLines;
            if (m_paused == watching) {
                epoll_event portEvent{};
                portEvent.events = EPOLLIN;
                portEvent.data.u32 = 1;
                if (::epoll_ctl(m_epollFd, m_paused ? EPOLL_CTL_DEL : EPOLL_CTL_ADD, m_fd,
                                &portEvent) < 0) {
                    m_lost = true;
                    m_lostError = errno;
                    m_wakePending = true;
                    break;
                }
                watching = !m_paused;
            }
            qint64 dueNs = std::numeric_limits<qint64>::max();
            if (!m_collector.isEmpty())
                dueNs = m_collector.deadlineNs();
            if (!m_queue.empty() && !m_wakePending)
                dueNs = qMin(dueNs, m_queue.front().at.monotonicNs + holdNs);
            if (dueNs != std::numeric_limits<qint64>::max())
                timeoutMs =
                    int(qBound(qint64(0), (dueNs - nowNs + 999999) / 1000000, qint64(INT_MAX)));
        }
        epoll_event events[2];
        const int ready_ = ::epoll_wait(m_epollFd, events, 2, timeoutMs);
        if (ready_ < 0 && fatal(errno)) {
            const int error = errno;
            std::lock_guard lock(m_mutex);
            m_lost = true;
            m_lostError = error;
            m_wakePending = true;
            break;
        }
        quint32 portEvents = 0;
        bool woken = false;
        for (int i = 0; i < ready_; ++i) {
            if (events[i].data.u32 == 1)
                portEvents = events[i].events;
            else
                woken = true;
        }
        if (woken) {
            quint64 value = 0;
            if (::read(m_wakeFd, &value, sizeof value) < 0) {
                // Already reset by an earlier read.
            }
        }
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            nowNs = -1;
            if (portEvents &&
                !readOnce(buffer, readBytes, portEvents & (EPOLLHUP | EPOLLERR), nowNs)) {
                m_wakePending = true;
                break;
            }
            if (nowNs < 0)
                nowNs = monotonicNs();
            QList<ReceivedReply> due;
            m_collector.expire(nowNs, due);
            queue(due, true);
            wake = wakeDue(nowNs);
        }
        if (wake)
            Q_EMIT ready();
    }
    // Reading has ended (the device went away); the window's thread is told.
    Q_EMIT ready();
}

bool PortReader::readOnce(char* buffer, qsizetype size, bool hungUp, qint64& nowNs) {
    const ssize_t got = ::read(m_fd, buffer, size_t(size));
    if (got > 0) {
        const LineStamp at = LineStamp::now();
        nowNs = at.monotonicNs;
        QList<ReceivedReply> done;
        m_collector.feed(QByteArray(buffer, got), at, done);
        queue(done, false);
        return true;
    }
    // The port reads with VMIN 0, so an empty read is also what a take(true)
    // leaves when it read the bytes first; only a hang-up ends reading.
    if ((got < 0 && !fatal(errno)) || (got == 0 && !hungUp))
        return true;
    // End of file or a failed read: the device has hung up or gone.
    m_lost = true;
    m_lostError = got == 0 ? 0 : errno;
    return false;
}

void PortReader::queue(QList<ReceivedReply>& replies, bool urgent) {
    if (replies.isEmpty())
        return;
    for (ReceivedReply& r : replies) {
        // The first reply after a quiet spell is somebody's answer: show it now.
        if (m_lastLineNs < 0 || r.at.monotonicNs - m_lastLineNs >= quietNs)
            urgent = true;
        else
            m_gapNs = qMin(r.at.monotonicNs - m_lastLineNs, holdNs / 4);
        m_lastLineNs = r.at.monotonicNs;
        m_queuedBytes += r.text.size();
        m_queue.push_back(std::move(r));
    }
    if (m_sent.exchange(false, std::memory_order_relaxed))
        urgent = true;
    m_urgent = m_urgent || urgent;
}

bool PortReader::wakeDue(qint64 nowNs) {
    if (m_wakePending || m_queue.empty())
        return false;
    // Half a gap more, for a pace that wavers.
    if (m_urgent || qsizetype(m_queue.size()) >= floodLines ||
        nowNs + m_gapNs * 3 / 2 >= m_queue.front().at.monotonicNs + holdNs) {
        m_wakePending = true;
        return true;
    }
    return false;
}

QList<ReceivedReply> PortReader::take(bool finish, int maxLines) {
    std::lock_guard lock(m_mutex);
    if (finish) {
        // What the system holds is read here, in order after what the reader
        // has: it reads only while holding the lock.
        char buffer[4096];
        for (int i = 0; i < 64 && m_fd >= 0 && !m_lost && !m_stopping; ++i) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            QList<ReceivedReply> done;
            m_collector.feed(QByteArray(buffer, got), LineStamp::now(), done);
            queue(done, false);
        }
        QList<ReceivedReply> rest;
        m_collector.expire(0, rest, true);
        queue(rest, false);
        maxLines = std::numeric_limits<int>::max();
    }
    QList<ReceivedReply> out;
    const std::size_t n = qMin(m_queue.size(), std::size_t(qMax(0, maxLines)));
    out.reserve(qsizetype(n));
    for (std::size_t i = 0; i < n; ++i) {
        m_queuedBytes -= m_queue.front().text.size();
        out.append(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    if (m_queue.empty()) {
        m_wakePending = false;
        m_urgent = false;
    }
    // However many takes it needed to get there.
    if (m_paused && m_queuedBytes < maxQueuedBytes / 2 &&
        qsizetype(m_queue.size()) < maxQueuedLines / 2) {
        m_paused = false;
        wakeReader();
    }
    return out;
}

bool PortReader::hasWaiting() const {
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}

bool PortReader::lost(int* error) const {
    std::lock_guard lock(m_mutex);
    if (error)
        *error = m_lostError;
    return m_lost;
}
