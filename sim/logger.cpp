#include "sim/logger.h"

#include "sim/clock.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvsim {

namespace {

constexpr std::size_t kQueueCap = 4 * 1024 * 1024;

std::string timestamp() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld ", local.tm_hour, local.tm_min,
                  local.tm_sec, ts.tv_nsec / 1000000);
    return text;
}

} // namespace

Logger::Logger(int fd) : m_fd(fd) {}

Logger::~Logger() {
    finish(0);
}

void Logger::writeBlocking(const std::string& text) {
    std::size_t done = 0;
    while (!m_broken && done < text.size()) {
        const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            m_broken = true; // reader gone: the device goes on without a log
    }
}

void Logger::plain(const std::string& text) {
    writeBlocking(text);
}

void Logger::startQueueing() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return;
    // Terminals and files do not fill up for long; leave them as they are so a
    // shared terminal is not left non-blocking for other processes.
    if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode))
        return;
    m_savedFlags = ::fcntl(m_fd, F_GETFL);
    if (m_savedFlags < 0 || ::fcntl(m_fd, F_SETFL, m_savedFlags | O_NONBLOCK) != 0)
        return;
    m_queueing = true;
}

void Logger::line(const std::string& text) {
    if (m_broken)
        return;
    std::string entry = timestamp() + text + "\n";
    if (!m_queueing) {
        writeBlocking(entry);
        return;
    }
    if (m_droppedLines > 0 || m_queue.size() - m_offset + entry.size() > kQueueCap) {
        // Over the cap, drop until the reader has caught up, then say how
        // many went missing, so no gap goes unnoticed.
        ++m_droppedLines;
        flush();
        return;
    }
    m_queue += entry;
    flush();
}

void Logger::flush() {
    while (!m_broken && wantsWrite()) {
        const ssize_t n = ::write(m_fd, m_queue.data() + m_offset, m_queue.size() - m_offset);
        if (n > 0) {
            m_offset += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        m_broken = true;
    }
    if (m_offset == m_queue.size() || m_broken) {
        m_queue.clear();
        m_offset = 0;
        if (m_droppedLines > 0 && !m_broken) {
            m_queue = timestamp() + std::to_string(m_droppedLines) +
                      " log lines dropped: stdout was not read\n";
            m_droppedLines = 0;
            flush();
        }
    } else if (m_offset > m_queue.size() / 2) { // amortised: each byte moves about once
        m_queue.erase(0, m_offset);
        m_offset = 0;
    }
}

void Logger::finish(int timeoutMs) {
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    while (m_queueing && wantsWrite() && !m_broken) {
        flush();
        const std::int64_t left = deadline - monotonicMs();
        if (!wantsWrite() || left <= 0)
            break;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
    if (m_savedFlags >= 0) {
        ::fcntl(m_fd, F_SETFL, m_savedFlags);
        m_savedFlags = -1;
    }
    m_queueing = false;
}

} // namespace orvsim
