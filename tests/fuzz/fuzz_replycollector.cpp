// libFuzzer target for the reply collector: random bytes in random chunks on a
// random (monotonic) clock. Every byte must come out once and in order, in
// replies that each end at their one line feed or have waited out the bound,
// stamped when their first byte came and when they ended (the line feed's
// read, or the bound), and nothing may wait longer than it has to.
//
// Input: records of an op byte, a time-step byte and a chunk (a length byte
// and that many bytes). The op's low bit asks for expire() instead of feed();
// its next two bits scale the step by 1, 8, 64 or 1000 ms.
#include "serial/replycollector.h"
#include "support/fuzzcheck.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qint64 scales[] = {1, 8, 64, 1000};
    constexpr qint64 msNs = 1000000;
    ReplyCollector collector;
    QByteArray fed;              // every byte fed so far,
    std::vector<qint64> arrived; // when each came,
    qsizetype out = 0;           // and how many have come out.
    // Any start will do for a monotonic clock; a large one finds overflows.
    qint64 now = size > 0 ? qint64(data[0]) << 40 : 0;
    const auto check = [&](const QList<ReceivedReply>& replies, bool forced) {
        for (const ReceivedReply& reply : replies) {
            const QByteArray& text = reply.text;
            require(!text.isEmpty() && fed.mid(out, text.size()) == text,
                    "a reply is not the next bytes fed, in order");
            require(text.indexOf('\n') == -1 || text.indexOf('\n') == text.size() - 1,
                    "a reply holds a line feed before its end");
            require(text.endsWith('\n') || forced ||
                        now - arrived[std::size_t(out)] >= ReplyCollector::boundNs,
                    "a reply without a line feed came before the bound");
            require(reply.first.monotonicNs == arrived[std::size_t(out)],
                    "a reply is not stamped when its first byte came");
            const qint64 firstNs = arrived[std::size_t(out)];
            out += text.size();
            const qint64 endNs = text.endsWith('\n') ? arrived[std::size_t(out - 1)]
                                 : forced            ? now
                                                     : firstNs + ReplyCollector::boundNs;
            require(reply.at.monotonicNs == endNs, "a reply is not stamped when it ended");
        }
        const QByteArray waiting = fed.mid(out);
        require(collector.isEmpty() == waiting.isEmpty(),
                "isEmpty() does not match what is waiting");
        require(!waiting.contains('\n'), "a line feed was held back");
        require(waiting.isEmpty() ||
                    collector.deadlineNs() == arrived[std::size_t(out)] + ReplyCollector::boundNs,
                "the deadline is not the bound after the first waiting byte");
        require(waiting.isEmpty() || now < collector.deadlineNs(), "text was held past the bound");
    };
    for (std::size_t i = 0; i + 3 <= size;) {
        const std::uint8_t op = data[i];
        now += qint64(data[i + 1]) * scales[(op >> 1) & 3] * msNs;
        const std::size_t length = qMin<std::size_t>(data[i + 2], size - i - 3);
        const QByteArray chunk(reinterpret_cast<const char*>(data + i + 3), qsizetype(length));
        i += 3 + length;
        QList<ReceivedReply> replies;
        if (op & 1) {
            collector.expire(now, replies);
            require(replies.size() <= 1, "expire() gave more than one reply");
        } else {
            arrived.insert(arrived.end(), std::size_t(chunk.size()), now);
            fed += chunk;
            collector.feed(chunk, LineStamp{now / msNs, now}, replies);
        }
        check(replies, false);
    }
    // Forced, whatever waited comes out.
    QList<ReceivedReply> last;
    collector.expire(now, last, true);
    check(last, true);
    require(out == fed.size(), "bytes were lost");
    return 0;
}
