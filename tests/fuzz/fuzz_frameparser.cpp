// libFuzzer target: arbitrary bytes split into feeds at arbitrary times must
// keep the parser's promises.

#include "sim/frameparser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvsim::FrameParser parser;
    std::int64_t now = 0;
    std::size_t fed = 0;
    std::size_t accounted = 0;
    // Each feed: one byte of length, one byte of clock step, then the bytes.
    std::size_t i = 0;
    while (i + 2 <= size) {
        const std::size_t length = data[i];
        now += data[i + 1];
        i += 2;
        const std::size_t take = length < size - i ? length : size - i;
        for (const auto& event : parser.feed(data + i, take, now)) {
            accounted += event.bytes.size();
            if (event.bytes.empty())
                std::abort();
            if (event.kind == orvsim::ParseEvent::Kind::Frame) {
                const std::size_t expected = orvsim::frameLength(event.bytes[1]);
                if (event.bytes[0] != orvsim::kLeadByte)
                    std::abort();
                if (expected == 0
                        ? (event.status != orvsim::kNak || event.bytes.size() != 2)
                        : (event.status == orvsim::kNak || event.bytes.size() != expected))
                    std::abort();
            }
        }
        fed += take;
        i += take;
        if (parser.pendingSize() >= 5 || fed != accounted + parser.pendingSize())
            std::abort();
    }
    return 0;
}
