#include "sim/outputqueue.h"

#include "sim/frameparser.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace orvsim {

void OutputQueue::push(std::string bytes, std::int64_t dueMs, int gapMs, std::string doneNote) {
    Chunk chunk;
    chunk.bytes = std::move(bytes);
    chunk.dueMs = dueMs;
    chunk.gapMs = gapMs;
    chunk.doneNote = std::move(doneNote);
    m_chunks.push_back(std::move(chunk));
}

void OutputQueue::pushFlood(std::uint64_t first, std::uint64_t last, std::string lineEnd,
                            std::int64_t dueMs, int gapMs, std::string doneNote) {
    Chunk chunk;
    chunk.floodNext = first;
    chunk.floodLast = last;
    chunk.lineEnd = std::move(lineEnd);
    chunk.dueMs = dueMs;
    chunk.gapMs = gapMs;
    chunk.doneNote = std::move(doneNote);
    m_chunks.push_back(std::move(chunk));
}

std::string OutputQueue::floodLine(std::uint64_t number, const std::string& lineEnd) {
    char digits[32];
    std::snprintf(digits, sizeof digits, " %06" PRIu64, number);
    return replyText(kAck) + digits + lineEnd;
}

bool OutputQueue::isDue(std::int64_t nowMs) const {
    return !m_chunks.empty() && m_chunks.front().dueMs <= nowMs;
}

std::int64_t OutputQueue::msUntilDue(std::int64_t nowMs) const {
    if (m_chunks.empty())
        return -1;
    return std::max<std::int64_t>(0, m_chunks.front().dueMs - nowMs);
}

bool OutputQueue::refill(Chunk& chunk) {
    if (chunk.offset < chunk.bytes.size())
        return true;
    if (chunk.floodNext == 0 || chunk.floodNext > chunk.floodLast)
        return false;
    chunk.bytes.clear();
    chunk.offset = 0;
    // Batches of a few KiB: enough to fill the terminal buffer in few writes.
    for (int i = 0; i < 256 && chunk.floodNext <= chunk.floodLast; ++i)
        chunk.bytes += floodLine(chunk.floodNext++, chunk.lineEnd);
    return true;
}

OutputQueue::WriteResult OutputQueue::write(int fd, std::int64_t nowMs,
                                            std::vector<std::string>& doneNotes,
                                            std::size_t maxBytes) {
    std::size_t written = 0;
    while (isDue(nowMs)) {
        Chunk& chunk = m_chunks.front();
        if (!refill(chunk)) {
            if (!chunk.doneNote.empty())
                doneNotes.push_back(std::move(chunk.doneNote));
            m_chunks.pop_front();
            if (!m_chunks.empty()) {
                Chunk& next = m_chunks.front();
                next.dueMs = std::max(next.dueMs, nowMs + next.gapMs);
            }
            continue;
        }
        if (written >= maxBytes)
            return WriteResult::Waiting;
        const std::size_t want = std::min(chunk.bytes.size() - chunk.offset, maxBytes - written);
        const ssize_t n = ::write(fd, chunk.bytes.data() + chunk.offset, want);
        if (n > 0) {
            chunk.offset += static_cast<std::size_t>(n);
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return WriteResult::Waiting;
        return WriteResult::Error;
    }
    return m_chunks.empty() ? WriteResult::Done : WriteResult::Waiting;
}

} // namespace orvsim
