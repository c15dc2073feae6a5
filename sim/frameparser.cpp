#include "sim/frameparser.h"

namespace orvsim {

std::size_t frameLength(std::uint8_t command) {
    if (command <= 0x04)
        return 5;
    if (command <= 0x06)
        return 3;
    return 0;
}

std::uint8_t checksum(const std::uint8_t* data, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string hexText(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0)
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

std::string replyText(std::uint8_t status) {
    const std::uint8_t frame[3] = {kLeadByte, status,
                                   static_cast<std::uint8_t>((kLeadByte + status) & 0xFF)};
    return hexText(frame, sizeof frame);
}

FrameParser::FrameParser() {
    for (std::size_t command = 0; command < m_lengths.size(); ++command) {
        const std::size_t length = frameLength(static_cast<std::uint8_t>(command));
        // No length to wait for: answer the lead and command at once so the
        // sender is not left hanging.
        m_lengths[command] = length == 0 ? 2 : length;
    }
}

void FrameParser::setUnknownCommandLength(std::uint8_t command, std::size_t length) {
    if (frameLength(command) == 0 && length >= 2)
        m_lengths[command] = length;
}

void FrameParser::reset() {
    m_frame.clear();
    m_expected = 0;
}

std::vector<ParseEvent> FrameParser::feed(const std::uint8_t* data, std::size_t size,
                                          std::int64_t nowMs) {
    std::vector<ParseEvent> events;
    if (size == 0)
        return events;

    // Unsigned difference: the clock is caller supplied and must not overflow.
    if (!m_frame.empty() && nowMs > m_leadMs &&
        static_cast<std::uint64_t>(nowMs) - static_cast<std::uint64_t>(m_leadMs) >
            static_cast<std::uint64_t>(kFrameTimeoutMs)) {
        events.push_back({ParseEvent::Kind::Stale, m_frame, kAck});
        reset();
    }

    std::vector<std::uint8_t> junk;
    auto flushJunk = [&] {
        if (!junk.empty()) {
            events.push_back({ParseEvent::Kind::Junk, junk, kAck});
            junk.clear();
        }
    };

    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (m_frame.empty()) {
            if (byte != kLeadByte) {
                junk.push_back(byte);
                continue;
            }
            flushJunk();
            m_frame.push_back(byte);
            m_leadMs = nowMs;
            continue;
        }
        m_frame.push_back(byte);
        if (m_frame.size() == 2)
            m_expected = m_lengths[byte];
        if (m_frame.size() == m_expected) {
            std::uint8_t status = kNak;
            if (frameLength(m_frame[1]) != 0)
                status = checksum(m_frame.data(), m_frame.size() - 1) == m_frame.back()
                             ? kAck
                             : kChecksumError;
            events.push_back({ParseEvent::Kind::Frame, m_frame, status});
            reset();
        }
    }
    flushJunk();
    return events;
}

} // namespace orvsim
