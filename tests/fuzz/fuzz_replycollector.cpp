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

void require(bool holds, const char* why) {
    if (holds)
        return;
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
            require(!reply.isEmpty() && fed.mid(out, reply.size()) == reply,
                    "a reply is not the next bytes fed, in order");
            require(reply.contains('\n') || now - arrived[out] >= ReplyCollector::boundMs,
                    "a reply without a line feed came before the bound");
            out += reply.size();
            require(out >= fed.size() || readStart[out], "a reply split what one read brought");
        }
        const QByteArray waiting = fed.mid(out);
        require(collector.isEmpty() == waiting.isEmpty(),
                "isEmpty() does not match what is waiting");
        require(!waiting.contains('\n'), "a line feed was held back");
        require(waiting.isEmpty() || collector.deadline() == arrived[out] + ReplyCollector::boundMs,
                "the deadline is not the bound after the first waiting byte");
        require(waiting.isEmpty() || now < collector.deadline(), "text was held past the bound");
    };
    for (std::size_t i = 0; i + 3 <= size;) {
        const std::uint8_t op = data[i];
        now += qint64(data[i + 1]) * scales[(op >> 1) & 3];
        const std::size_t length = qMin<std::size_t>(data[i + 2], size - i - 3);
        const QByteArray chunk(reinterpret_cast<const char*>(data + i + 3), qsizetype(length));
        i += 3 + length;
        if (!(op & 1)) {
            for (qsizetype b = 0; b < chunk.size(); ++b) {
                arrived.push_back(now);
                readStart.push_back(b == 0);
            }
            fed += chunk;
        }
        const QList<QByteArray> replies =
            op & 1 ? collector.expire(now) : collector.feed(chunk, now);
        require(replies.size() <= (op & 1 ? 1 : 2),
                "expire() gave more than one reply, or feed() two");
        check(replies);
    }
    // Once the bound has passed, whatever waited comes out.
    now += ReplyCollector::boundMs;
    check(collector.expire(now));
    require(out == fed.size(), "bytes were lost");
    return 0;
}
