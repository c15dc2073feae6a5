#pragma once

// The device's side of the frame protocol, kept free of I/O and clocks so it
// can be unit tested and fuzzed: bytes go in with a millisecond time stamp,
// the answers to give come out.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvsim {

constexpr std::uint8_t kLeadByte = 0x0B;
constexpr std::uint8_t kAck = 0x00;
constexpr std::uint8_t kChecksumError = 0x0F;
constexpr std::uint8_t kNak = 0xFF;
// A frame still incomplete this long after its lead byte is given up.
constexpr std::int64_t kFrameTimeoutMs = 100;

// What became of the bytes fed in, in the order it happened.
struct ParseEvent {
    enum class Kind {
        Frame, // a frame (or lead plus unknown command) to answer with `status`
        Junk,  // bytes before a lead byte, dropped
        Stale, // a partial frame that waited too long, dropped
    };
    Kind kind = Kind::Frame;
    std::vector<std::uint8_t> bytes;
    std::uint8_t status = kAck;
};

class FrameParser {
public:
    FrameParser();
    // Reads frames of an unknown command to `length` bytes (at least 2)
    // instead of answering its first two bytes at once; they still get NAK.
    void setUnknownCommandLength(std::uint8_t command, std::size_t length);
    // Feeds bytes that arrived at nowMs (any monotonic millisecond clock).
    std::vector<ParseEvent> feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs);
    std::vector<ParseEvent> feed(const std::string& bytes, std::int64_t nowMs) {
        return feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), nowMs);
    }
    // Forgets a partial frame, as when the port is closed under it.
    void reset();
    // The partial frame was cut by the reader, its rest already waiting:
    // its time limit counts from nowMs.
    void resume(std::int64_t nowMs) { m_leadMs = nowMs; }
    // Bytes of the frame being collected.
    std::size_t pendingSize() const { return m_frame.size(); }

private:
    std::array<std::size_t, 256> m_lengths{}; // whole frame length per command byte
    std::vector<std::uint8_t> m_frame;
    std::size_t m_expected = 0;
    std::int64_t m_leadMs = 0;
};

// Whole length of a frame with this command byte, 0 for an unknown command.
std::size_t frameLength(std::uint8_t command);
std::uint8_t checksum(const std::uint8_t* data, std::size_t size);
// "0B 00 0B": two upper-case hex digits per byte, single spaces.
std::string hexText(const std::uint8_t* data, std::size_t size);
inline std::string hexText(const std::vector<std::uint8_t>& bytes) {
    return hexText(bytes.data(), bytes.size());
}
// The hex text of the 3-byte reply frame for a status, without line end.
std::string replyText(std::uint8_t status);

} // namespace orvsim
