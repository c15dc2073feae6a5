// libFuzzer target for the reply collector: random bytes in random chunks on a
// random (monotonic) clock. Every byte must come out once and in order, in
// replies that each hold a line feed or have waited out the bound, and nothing
// may wait longer than it has to.
//
// Input: records of an op byte, a time-step byte and a chunk (a length byte
// and that many bytes). The op's low bit asks for expire() instead of feed();
// its next two bits scale the step by 1, 8, 64 or 1000 ms.
#include "serial/replycollector.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "fuzz-replycollector: %s\n", why);
    std::abort();
}

// Everything fed, with when each chunk came, and how much has come out.
class Stream {
public:
    void fed(const QByteArray& chunk, qint64 nowMs) {
        if (chunk.isEmpty())
            return;
        m_chunkStarts.push_back({m_bytes.size(), nowMs});
        m_bytes += chunk;
    }

    // Checks the replies given at nowMs and counts them out.
    void cameOut(const QList<QByteArray>& replies, qint64 nowMs) {
        for (const QByteArray& reply : replies) {
            if (reply.isEmpty())
                fail("an empty reply");
            if (m_bytes.mid(m_out, reply.size()) != reply)
                fail("a reply is not the next bytes fed, in order");
            if (!reply.contains('\n') && nowMs - arrival(m_out) < ReplyCollector::boundMs)
                fail("a reply without a line feed came before the bound");
            m_out += reply.size();
            if (!isChunkEnd(m_out))
                fail("a reply split what one read brought");
        }
    }

    // What the collector holds now: no line feed, and not past the bound.
    void checkWaiting(const ReplyCollector& c, qint64 nowMs) const {
        const QByteArray waiting = m_bytes.mid(m_out);
        if (c.isEmpty() != waiting.isEmpty())
            fail("isEmpty() does not match what is waiting");
        if (waiting.isEmpty())
            return;
        if (waiting.contains('\n'))
            fail("a line feed was held back");
        if (c.deadline() != arrival(m_out) + ReplyCollector::boundMs)
            fail("the deadline is not the bound after the first waiting byte");
        if (nowMs >= c.deadline())
            fail("text was held past the bound");
    }

    bool allOut() const { return m_out == m_bytes.size(); }

private:
    qint64 arrival(qsizetype offset) const {
        qint64 at = -1;
        for (const auto& [start, ms] : m_chunkStarts) {
            if (start > offset)
                break;
            at = ms;
        }
        return at;
    }
    bool isChunkEnd(qsizetype offset) const {
        if (offset == m_bytes.size())
            return true;
        for (const auto& start : m_chunkStarts) {
            if (start.first == offset)
                return true;
        }
        return false;
    }

    QByteArray m_bytes;
    std::vector<std::pair<qsizetype, qint64>> m_chunkStarts;
    qsizetype m_out = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qint64 scales[] = {1, 8, 64, 1000};
    ReplyCollector collector;
    Stream stream;
    // Any start will do for a monotonic clock; a large one finds overflows.
    qint64 now = size > 0 ? qint64(data[0]) << 40 : 0;
    std::size_t i = 0;
    while (i + 3 <= size) {
        const std::uint8_t op = data[i];
        now += qint64(data[i + 1]) * scales[(op >> 1) & 3];
        const std::size_t length = qMin<std::size_t>(data[i + 2], size - i - 3);
        const QByteArray chunk(reinterpret_cast<const char*>(data + i + 3), qsizetype(length));
        i += 3 + length;

        QList<QByteArray> replies;
        if (op & 1) {
            replies = collector.expire(now);
            if (replies.size() > 1)
                fail("expire() gave more than one reply");
        } else {
            replies = collector.feed(chunk, now);
            stream.fed(chunk, now);
            if (replies.size() > 2)
                fail("feed() gave more than two replies");
        }
        stream.cameOut(replies, now);
        stream.checkWaiting(collector, now);
    }
    // Once the bound has passed, whatever waited comes out.
    now += ReplyCollector::boundMs;
    stream.cameOut(collector.expire(now), now);
    stream.checkWaiting(collector, now);
    if (!stream.allOut())
        fail("bytes were lost");
    return 0;
}
