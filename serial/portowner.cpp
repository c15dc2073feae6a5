#include "serial/portowner.h"

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A single read takes at most this much: a flood is then cut into replies
// and stamped in steps the window's thread can keep up with.
constexpr qsizetype readBytes = 16384;
// After a pause, what waited in the system is read before any bound runs;
// this many reads at most, so that a device that never stops cannot hold it.
constexpr int catchUpReads = 64;

bool fatal(int error) {
    return error != EAGAIN && error != EWOULDBLOCK && error != EINTR;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// 9600 baud, 8 data bits, no parity, one stop bit, raw bytes both ways, no
// flow control; reads return what is there (VMIN 0, VTIME 0).
bool setLine(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::cfsetspeed(&tio, B9600) == 0 && ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

PortOwner::PortOwner(QObject* parent) : QObject(parent) {}

PortOwner::~PortOwner() {
    close();
}

std::optional<PortOwner::Refusal> PortOwner::open(const QString& device) {
    close();
    if (!m_lock.lock(device)) {
        const Refusal refusal{m_lock.error(), 0, m_lock.holderPid(), m_lock.holderName()};
        m_lock.unlock();
        return refusal;
    }
    const auto refuse = [this](int fd, const QString& reason, int error = 0) {
        if (fd >= 0)
            ::close(fd);
        m_lock.unlock();
        return Refusal{reason, error, 0, {}};
    };
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)
            return refuse(-1, QStringLiteral("it is in use by another program, which holds it "
                                             "exclusively"));
        if (error == EACCES || error == EPERM)
            return refuse(-1,
                          systemError(error) + QStringLiteral(" (is your user in the "
                                                              "dialout group?)"),
                          error);
        return refuse(-1, systemError(error), error);
    }
    // Exclusive from here to the close, and never lifted: no other open
    // gets in but root's, and the flock stops programs that lock as
    // picocom and tio do, root's as well.
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuse(fd, QStringLiteral("it is not a terminal (%1)").arg(systemError(errno)));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return refuse(fd, errno == EWOULDBLOCK
                              ? QStringLiteral("it is in use by another program, which holds "
                                               "a lock on it")
                              : QStringLiteral("it cannot be locked (%1)").arg(systemError(errno)));
    if (!setLine(fd))
        return refuse(
            fd, QStringLiteral("its line cannot be set to 9600 8N1 (%1)").arg(systemError(errno)));
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Watched by epoll rather than poll: set up once, not on every wake.
    const int epollFd = wakeFd < 0 ? -1 : ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u32 = 0;
    if (epollFd < 0 || ::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &wakeEvent) < 0) {
        // Without them the owner's thread could never be stopped.
        const int error = errno;
        if (wakeFd >= 0)
            ::close(wakeFd);
        if (epollFd >= 0)
            ::close(epollFd);
        return refuse(fd, systemError(error));
    }
    std::lock_guard lock(m_mutex);
    m_fd = fd;
    m_wakeFd = wakeFd;
    m_epollFd = epollFd;
    m_stopping = m_lost = m_resumed = false;
    m_lostError = 0;
    m_collector.clear();
    m_handOver.reset();
    m_events.clear();
    m_frames.clear();
    m_thread = std::thread([this] { run(); });
    return std::nullopt;
}

void PortOwner::close() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            return;
        m_stopping = true;
    }
    wakeOwner();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    ::close(m_fd);
    ::close(m_wakeFd);
    ::close(m_epollFd);
    m_fd = m_wakeFd = m_epollFd = -1;
    m_lock.unlock();
}

void PortOwner::wakeOwner() {
    const quint64 one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0) {
        // A counter that is full already wakes the owner's thread.
    }
}

PortOwner::Write PortOwner::write(const QByteArray& bytes, quint64 id, LineStamp* at, int* error) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_lost) {
        *error = m_lost ? m_lostError : EBADF;
        return Write::Failed;
    }
    qsizetype written = 0;
    // Behind frames that wait, this one waits too: frames leave in order.
    while (m_frames.empty() && written < bytes.size()) {
        const ssize_t n =
            ::write(m_fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && fatal(errno)) {
            *error = errno;
            return Write::Failed;
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (written == bytes.size()) {
        *at = LineStamp::now();
        frameWent(id, *at);
        return Write::Written;
    }
    m_frames.push_back({id, bytes, written});
    wakeOwner();
    return Write::Queued;
}

QList<quint64> PortOwner::unwritten(bool forget) {
    std::lock_guard lock(m_mutex);
    QList<quint64> ids;
    for (const Frame& f : m_frames)
        ids.append(f.id);
    if (forget)
        m_frames.clear();
    return ids;
}

bool PortOwner::writeQueued() {
    while (!m_frames.empty()) {
        Frame& f = m_frames.front();
        const ssize_t n =
            ::write(m_fd, f.bytes.constData() + f.written, size_t(f.bytes.size() - f.written));
        if (n < 0)
            return !fatal(errno);
        f.written += n;
        if (f.written < f.bytes.size())
            continue;
        frameWent(f.id, LineStamp::now());
        m_frames.pop_front();
    }
    return true;
}

void PortOwner::frameWent(quint64 id, const LineStamp& at) {
    // In line with the replies: those read before it are taken before it.
    m_events.push_back({{{}, at, at}, id});
    m_handOver.queued(at.monotonicNs, 0, true);
    // Its answer is handed over as soon as it is read.
    m_handOver.sent();
}

void PortOwner::run() {
    // Named, so that top and perf tell its share from the window's.
    ::pthread_setname_np(::pthread_self(), "orv-port-owner");
    char buffer[readBytes];
    // The clock is read once per wake: a read's stamp is also its "now".
    qint64 nowNs = monotonicNs();
    qint64 pausedSinceNs = -1;
    quint32 watching = 0; // the port's events in the epoll set
    // A hang-up is reported whatever is asked for: while paused, it would wake
    // the loop at once, again and again, with nothing read. The port is then
    // left out until reading resumes and finds the end.
    bool hungUpWhilePaused = false;
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            const bool paused = m_handOver.paused();
            // Full: the port is not read until the taker has caught up, and
            // the bound of a line waiting for its line feed stands still.
            if (paused && pausedSinceNs < 0)
                pausedSinceNs = nowNs;
            if (!paused)
                hungUpWhilePaused = false;
            const quint32 wanted = hungUpWhilePaused
                                       ? 0u
                                       : (paused ? 0u : quint32(EPOLLIN)) |
                                             (m_frames.empty() ? 0u : quint32(EPOLLOUT));
            if (wanted != watching) {
                epoll_event portEvent{};
                portEvent.events = wanted;
                portEvent.data.u32 = 1;
                const int op = !watching ? EPOLL_CTL_ADD : wanted ? EPOLL_CTL_MOD : EPOLL_CTL_DEL;
                if (::epoll_ctl(m_epollFd, op, m_fd, &portEvent) < 0) {
                    endReading(errno);
                    break;
                }
                watching = wanted;
            }
            qint64 dueNs = m_handOver.dueNs();
            if (!paused && !m_collector.isEmpty())
                dueNs = qMin(dueNs, m_collector.deadlineNs());
            if (dueNs != HandOver::never)
                timeoutMs =
                    int(qBound(qint64(0), (dueNs - nowNs + 999999) / 1000000, qint64(INT_MAX)));
        }
        epoll_event events[2];
        const int ready_ = ::epoll_wait(m_epollFd, events, 2, timeoutMs);
        if (ready_ < 0 && fatal(errno)) {
            const int error = errno;
            std::lock_guard lock(m_mutex);
            endReading(error);
            break;
        }
        quint32 portEvents = 0;
        for (int i = 0; i < ready_; ++i) {
            if (events[i].data.u32 == 1) {
                portEvents = events[i].events;
            } else {
                quint64 value = 0;
                if (::read(m_wakeFd, &value, sizeof value) < 0) {
                    // Already reset by an earlier read.
                }
            }
        }
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            nowNs = -1;
            const bool hungUp = portEvents & (EPOLLHUP | EPOLLERR);
            if ((portEvents & EPOLLOUT || hungUp) && !writeQueued()) {
                endReading(errno);
                break;
            }
            hungUpWhilePaused = hungUp && m_handOver.paused();
            int reads = (portEvents & EPOLLIN || hungUp) ? 1 : 0;
            if (m_resumed && pausedSinceNs >= 0) {
                // What waited in the system is read before any bound is applied.
                m_resumed = false;
                m_collector.postpone(monotonicNs() - pausedSinceNs);
                pausedSinceNs = -1;
                reads = catchUpReads;
            }
            for (int i = 0; i < reads && !m_handOver.paused(); ++i) {
                const qsizetype got = readOnce(buffer, readBytes, hungUp, nowNs);
                if (got < 0)
                    break;
                if (got == 0)
                    break;
            }
            if (m_lost)
                break;
            if (nowNs < 0)
                nowNs = monotonicNs();
            if (!m_handOver.paused()) {
                QList<ReceivedReply> due;
                m_collector.expire(nowNs, due);
                queue(due);
            }
            wake = m_handOver.wakeDue(nowNs);
        }
        if (wake)
            Q_EMIT ready();
    }
    // Reading has ended (the device went away); the taker is told.
    Q_EMIT ready();
}

void PortOwner::endReading(int error) {
    m_lost = true;
    m_lostError = error;
}

qsizetype PortOwner::readOnce(char* buffer, qsizetype size, bool hungUp, qint64& nowNs) {
    const ssize_t got = ::read(m_fd, buffer, size_t(size));
    if (got > 0) {
        const LineStamp at = LineStamp::now();
        nowNs = at.monotonicNs;
        QList<ReceivedReply> done;
        m_collector.feed(QByteArray(buffer, got), at, done);
        queue(done);
        return got;
    }
    // The port reads with VMIN 0, so an empty read is also what a take(true)
    // leaves when it read the bytes first; only a hang-up ends reading.
    if ((got < 0 && !fatal(errno)) || (got == 0 && !hungUp))
        return 0;
    // End of file or a failed read: the device has hung up or gone.
    endReading(got == 0 ? 0 : errno);
    return -1;
}

void PortOwner::queue(QList<ReceivedReply>& replies) {
    for (ReceivedReply& r : replies) {
        m_handOver.queued(r.at.monotonicNs, r.text.size());
        m_events.push_back({std::move(r)});
    }
}

QList<PortEvent> PortOwner::take(bool finish, int maxEvents) {
    std::lock_guard lock(m_mutex);
    if (finish) {
        // What the system holds is read here, in order after what the owner's
        // thread has: it reads only while holding the lock.
        char buffer[4096];
        for (int i = 0; i < 64 && m_fd >= 0 && !m_lost && !m_stopping; ++i) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            QList<ReceivedReply> done;
            m_collector.feed(QByteArray(buffer, got), LineStamp::now(), done);
            queue(done);
        }
        QList<ReceivedReply> rest;
        m_collector.expire(monotonicNs(), rest, true);
        queue(rest);
        maxEvents = INT_MAX;
    }
    QList<PortEvent> out;
    const std::size_t n = qMin(m_events.size(), std::size_t(qMax(0, maxEvents)));
    out.reserve(qsizetype(n));
    qsizetype bytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        bytes += m_events.front().reply.text.size();
        out.append(std::move(m_events.front()));
        m_events.pop_front();
    }
    if (m_handOver.taken(qsizetype(n), bytes)) {
        m_resumed = true;
        wakeOwner();
    }
    return out;
}

bool PortOwner::hasWaiting() const {
    std::lock_guard lock(m_mutex);
    return !m_events.empty();
}

ReceivedReply PortOwner::unfinished() const {
    std::lock_guard lock(m_mutex);
    return {m_collector.waiting(), m_collector.waitingSince(), {}};
}

bool PortOwner::lost(int* error) const {
    std::lock_guard lock(m_mutex);
    if (error)
        *error = m_lostError;
    return m_lost;
}

std::optional<int> PortOwner::modemLines() const {
    std::lock_guard lock(m_mutex);
    int bits = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCMGET, &bits) != 0)
        return std::nullopt;
    return bits;
}

bool PortOwner::setModemLine(int line, bool on) {
    std::lock_guard lock(m_mutex);
    return m_fd >= 0 && ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}
