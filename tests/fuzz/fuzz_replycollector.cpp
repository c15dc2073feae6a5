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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qint64 scales[] = {1, 8, 64, 1000};
    ReplyCollector collector;
    QByteArray fed;              // every byte fed so far,
    std::vector<qint64> arrived; // when each came,
    std::vector<bool> readStart; // whether a read began with it,
    qsizetype out = 0;           // and how many have come out.
    // Any start will do for a monotonic clock; a large one finds overflows.
    qint64 now = size > 0 ? qint64(data[0]) << 40 : 0;
    const auto check = [&](const QList<QByteArray>& replies) {
        for (const QByteArray& reply : replies) {
            if (reply.isEmpty() || fed.mid(out, reply.size()) != reply)
                fail("a reply is not the next bytes fed, in order");
            if (!reply.contains('\n') && now - arrived[out] < ReplyCollector::boundMs)
                fail("a reply without a line feed came before the bound");
            out += reply.size();
            if (out < fed.size() && !readStart[out])
                fail("a reply split what one read brought");
        }
        const QByteArray waiting = fed.mid(out);
        if (collector.isEmpty() != waiting.isEmpty())
            fail("isEmpty() does not match what is waiting");
        if (waiting.contains('\n'))
            fail("a line feed was held back");
        if (!waiting.isEmpty() && collector.deadline() != arrived[out] + ReplyCollector::boundMs)
            fail("the deadline is not the bound after the first waiting byte");
        if (!waiting.isEmpty() && now >= collector.deadline())
            fail("text was held past the bound");
    };
    for (std::size_t i = 0; i + 3 <= size;) {
        const std::uint8_t op = data[i];
        now += qint64(data[i + 1]) * scales[(op >> 1) & 3];
        const std::size_t length = qMin<std::size_t>(data[i + 2], size - i - 3);
        const QByteArray chunk(reinterpret_cast<const char*>(data + i + 3), qsizetype(length));
        i += 3 + length;
        if (op & 1) {
            const QList<QByteArray> replies = collector.expire(now);
            if (replies.size() > 1)
                fail("expire() gave more than one reply");
            check(replies);
            continue;
        }
        for (qsizetype b = 0; b < chunk.size(); ++b) {
            arrived.push_back(now);
            readStart.push_back(b == 0);
        }
        fed += chunk;
        const QList<QByteArray> replies = collector.feed(chunk, now);
        if (replies.size() > 2)
            fail("feed() gave more than two replies");
        check(replies);
    }
    // Once the bound has passed, whatever waited comes out.
    now += ReplyCollector::boundMs;
    check(collector.expire(now));
    if (out != fed.size())
        fail("bytes were lost");
    return 0;
}
