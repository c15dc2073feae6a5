#include "sim/device.h"

#include "sim/clock.h"
#include "sim/logger.h"
#include "sim/ptyport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace orvsim {

namespace {

// How often to look whether the program has opened the port again. While no
// one has it open the master reports POLLHUP at once, so polling it would spin.
constexpr int kReopenCheckMs = 20;
constexpr std::size_t kMaxReadPerWake = 64 * 1024;
constexpr std::size_t kMaxLoggedBytes = 32;

std::string loggedBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= kMaxLoggedBytes)
        return hexText(bytes);
    return hexText(bytes.data(), kMaxLoggedBytes) + " ... (" + std::to_string(bytes.size()) +
           " bytes)";
}

std::string statusName(std::uint8_t status) {
    switch (status) {
    case kAck:
        return "ACK";
    case kNak:
        return "NAK, unknown command";
    case kChecksumError:
        return "checksum error";
    default:
        return "status " + hexText(&status, 1);
    }
}

} // namespace

Device::Device(const Options& options, PtyPort& port, Logger& log, std::uint32_t seed)
    : m_options(options), m_port(port), m_log(log), m_random(seed) {
    for (const auto& named : m_options.answers)
        m_parser.setUnknownCommandLength(named.first[1], named.first.size());
}

int Device::run(const volatile std::sig_atomic_t* stop, const sigset_t& waitMask) {
    m_log.line("waiting for the program to open " + m_port.path());
    std::int64_t now = monotonicMs();
    while (*stop == 0) {
        pollfd fds[2] = {};
        nfds_t count = 0;
        std::int64_t timeout = -1;
        int portIndex = -1;
        if (m_open) {
            // With an answer due, wait for room to write it; otherwise wake
            // when the next one falls due.
            const bool due = m_output.isDue(now);
            // A slow reader leaves the bytes waiting until its wire has room.
            const bool readable = readAllowance(now) > 0;
            portIndex = static_cast<int>(count);
            fds[count++] = {m_port.fd(),
                            static_cast<short>((readable ? POLLIN : 0) | (due ? POLLOUT : 0)), 0};
            timeout = due ? -1 : m_output.msUntilDue(now);
            if (!readable && (timeout < 0 || timeout > msUntilReadable()))
                timeout = msUntilReadable();
        } else {
            timeout = kReopenCheckMs;
        }
        const int logIndex = static_cast<int>(count);
        if (m_log.wantsWrite())
            fds[count++] = {m_log.fd(), POLLOUT, 0};

        timespec ts{};
        ts.tv_sec = static_cast<time_t>(timeout / 1000);
        ts.tv_nsec = static_cast<long>(timeout % 1000) * 1000000;
        const int ready = ::ppoll(fds, count, timeout < 0 ? nullptr : &ts, &waitMask);
        if (ready < 0 && errno != EINTR) {
            m_log.line(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        now = monotonicMs();
        if (ready < 0)
            continue;

        if (logIndex < static_cast<int>(count) && fds[logIndex].revents != 0)
            m_log.flush();

        if (!m_open) {
            if (portReopened())
                m_log.line("port opened");
            continue;
        }
        const short revents = fds[portIndex].revents;
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
            // POLLHUP stays set until someone opens the port again, so it must
            // not be waited on twice; but it may be old news by now if the
            // program was quick to reopen, and then its new frame must stand.
            const Input input = readInput(now);
            if (input == Input::Gone || ((revents & (POLLHUP | POLLERR)) && hungUp())) {
                if (input == Input::Gone)
                    dropPartialFrame();
                portClosed();
                continue;
            }
        }
        if (m_output.isDue(now))
            writeOutput(now);
    }
    m_log.line("stopped");
    return 0;
}

bool Device::hungUp() const {
    pollfd p{m_port.fd(), 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
}

bool Device::portReopened() {
    pollfd p{m_port.fd(), POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    if (p.revents & POLLHUP) {
        // What the program wrote before closing is still read, at the device's
        // pace, so that no frame is lost from the log; and a frame cut by a
        // paced read is whole once the rest is read.
        if (!(p.revents & POLLIN) || readInput(monotonicMs()) == Input::Gone)
            dropPartialFrame();
        return false;
    }
    m_open = true;
    return true;
}

std::size_t Device::readAllowance(std::int64_t nowMs) {
    if (m_options.readRate == 0)
        return kMaxReadPerWake;
    // Credit comes at the rate, a tenth of a second's worth at most; reads
    // wait for a hundredth's worth, so the device wakes at most 100 times a second.
    const double rate = m_options.readRate;
    if (m_creditAtMs >= 0)
        m_readCredit = std::min(rate / 10 + 1, m_readCredit + (nowMs - m_creditAtMs) * rate / 1000);
    m_creditAtMs = nowMs;
    const double step = std::max(1.0, rate / 100);
    return m_readCredit >= step ? static_cast<std::size_t>(m_readCredit) : 0;
}

std::int64_t Device::msUntilReadable() const {
    const double rate = m_options.readRate;
    const double missing = std::max(1.0, rate / 100) - m_readCredit;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(missing * 1000 / rate) + 1);
}

Device::Input Device::readInput(std::int64_t nowMs) {
    std::uint8_t buffer[4096];
    std::size_t total = 0;
    const std::size_t allowed = std::min(kMaxReadPerWake, readAllowance(nowMs));
    // A frame cut by the last read, its rest already waiting, was cut by the
    // device's own pace, not the program: however late this read comes (a
    // loaded machine may hold the device up), the program was not slow.
    if (m_cutShort)
        m_parser.resume(nowMs);
    while (total < allowed) {
        const ssize_t n = ::read(m_port.fd(), buffer, std::min(sizeof buffer, allowed - total));
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            if (m_options.readRate != 0)
                m_readCredit -= static_cast<double>(n);
            for (const ParseEvent& event :
                 m_parser.feed(buffer, static_cast<std::size_t>(n), nowMs))
                handle(event, nowMs);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        m_cutShort = false;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Input::Drained;
        return Input::Gone; // EIO: no one has the port open any more
    }
    m_cutShort = m_port.pendingInput() > 0;
    return Input::Limited;
}

void Device::dropPartialFrame() {
    if (m_parser.pendingSize() > 0)
        m_log.line("partial frame dropped");
    m_parser.reset();
}

void Device::handle(const ParseEvent& event, std::int64_t nowMs) {
    switch (event.kind) {
    case ParseEvent::Kind::Junk:
        m_log.line("drop " + loggedBytes(event.bytes) + " (no lead byte before them)");
        break;
    case ParseEvent::Kind::Stale:
        m_log.line("drop " + loggedBytes(event.bytes) + " (frame incomplete after " +
                   std::to_string(kFrameTimeoutMs) + " ms)");
        break;
    case ParseEvent::Kind::Frame:
        if (!m_open) {
            m_log.line("recv " + loggedBytes(event.bytes) + " (port closed before an answer)");
            break;
        }
        m_log.line("recv " + loggedBytes(event.bytes));
        if (const auto named = m_options.answers.find(event.bytes);
            named == m_options.answers.end())
            answer(event.status, nowMs, false);
        else if (named->second)
            answer(*named->second, nowMs, true);
        else
            m_log.line("no answer, as --answer asks");
        break;
    }
}

void Device::answer(std::uint8_t status, std::int64_t nowMs, bool named) {
    const std::string lineEnd = m_options.noNewline ? "" : "\r\n";
    const std::int64_t due = nowMs + m_options.delayMs;
    std::uniform_int_distribution<int> pause(m_options.splitPauseMinMs, m_options.splitPauseMaxMs);
    std::string note;
    if (m_options.delayMs > 0)
        note += ", in " + std::to_string(m_options.delayMs) + " ms";
    if (m_options.split)
        note += ", in two pieces";

    if (named)
        note += ", as --answer asks";
    const std::uint64_t lines = m_flooded || named ? 0 : m_options.flood;
    m_flooded = m_flooded || !named;
    if (lines > 1) {
        m_log.line("send " + OutputQueue::floodLine(1, "") + " .. " +
                   OutputQueue::floodLine(lines, "") + " (flood of " + std::to_string(lines) +
                   " lines" + note + ")");
        const std::string doneNote = "flood of " + std::to_string(lines) + " lines written";
        if (m_options.split) {
            const std::uint64_t half = lines / 2;
            m_output.pushFlood(1, half, lineEnd, due);
            m_output.pushFlood(half + 1, lines, lineEnd, due, pause(m_random), doneNote);
        } else {
            m_output.pushFlood(1, lines, lineEnd, due, 0, doneNote);
        }
        return;
    }

    std::string text;
    if (lines == 1) {
        text = OutputQueue::floodLine(1, lineEnd);
        m_log.line("send " + OutputQueue::floodLine(1, "") + " (flood of 1 line" + note + ")");
    } else {
        text = replyText(status) + lineEnd;
        m_log.line("send " + replyText(status) + " " + statusName(status) + note);
    }
    if (!m_options.split) {
        m_output.push(std::move(text), due);
        return;
    }
    std::uniform_int_distribution<std::size_t> cut(1, text.size() - 1);
    const std::size_t at = cut(m_random);
    m_output.push(text.substr(0, at), due);
    m_output.push(text.substr(at), due, pause(m_random));
}

void Device::writeOutput(std::int64_t nowMs) {
    std::vector<std::string> notes;
    const OutputQueue::WriteResult result = m_output.write(m_port.fd(), nowMs, notes);
    const int writeError = errno;
    for (const std::string& note : notes)
        m_log.line(note);
    if (result == OutputQueue::WriteResult::Error) {
        if (writeError != EIO)
            m_log.line(std::string("write failed: ") + std::strerror(writeError));
        portClosed();
    }
}

void Device::portClosed() {
    if (!m_output.empty())
        m_log.line("answers not yet written are dropped");
    m_output.clear();
    // What the program did not read would otherwise wait for it on reopening.
    if (!m_port.discardUnread())
        m_log.line(std::string("could not flush the port: ") + std::strerror(errno));
    m_open = false;
    m_log.line("port closed by the program");
}

} // namespace orvsim
