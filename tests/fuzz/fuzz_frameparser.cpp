// libFuzzer target: arbitrary bytes split into feeds at arbitrary times must
// keep the parser's promises.

#include "sim/frameparser.h"
#include "support/fuzzcheck.h"

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
            require(!event.bytes.empty(), "an event holds no bytes");
            if (event.kind == orvsim::ParseEvent::Kind::Frame) {
                const std::size_t expected = orvsim::frameLength(event.bytes[1]);
                require(event.bytes[0] == orvsim::kLeadByte, "a frame begins with another byte");
                require(expected == 0
                            ? event.status == orvsim::kNak && event.bytes.size() == 2
                            : event.status != orvsim::kNak && event.bytes.size() == expected,
                        "a frame's length or answer does not fit its command");
            }
        }
        fed += take;
        i += take;
        require(parser.pendingSize() < 5 && fed == accounted + parser.pendingSize(),
                "bytes held past a frame's length, or not accounted for");
    }
    return 0;
}
