#pragma once

#include "protocol/commandframe.h"

// Every frame the program can send. Lead byte 0x0B, command byte, for keypad
// keys the odd/even byte and 0x50, and last the sum of the others modulo 256.
namespace commands {

inline constexpr CommandFrame commTest{{0x0B, 0x05, 0x10}, 3, "0B 05 10", "Comm Test - "};
inline constexpr CommandFrame reset{{0x0B, 0x06, 0x11}, 3, "0B 06 11", "Reset - "};

inline constexpr int keypadSize = 12;

// Indexed like the keypad buttons; "*" (9) and "#" (11) have no frame (size 0).
// The "0" key is the device's key number 10.
inline constexpr std::array<CommandFrame, keypadSize> keypad{{
    {{0x0B, 0x00, 0x02, 0x50, 0x5D}, 5, "0B 00 02 50 5D", "Key: 1 - "},
    {{0x0B, 0x00, 0x03, 0x50, 0x5E}, 5, "0B 00 03 50 5E", "Key: 2 - "},
    {{0x0B, 0x01, 0x02, 0x50, 0x5E}, 5, "0B 01 02 50 5E", "Key: 3 - "},
    {{0x0B, 0x01, 0x03, 0x50, 0x5F}, 5, "0B 01 03 50 5F", "Key: 4 - "},
    {{0x0B, 0x02, 0x02, 0x50, 0x5F}, 5, "0B 02 02 50 5F", "Key: 5 - "},
    {{0x0B, 0x02, 0x03, 0x50, 0x60}, 5, "0B 02 03 50 60", "Key: 6 - "},
    {{0x0B, 0x03, 0x02, 0x50, 0x60}, 5, "0B 03 02 50 60", "Key: 7 - "},
    {{0x0B, 0x03, 0x03, 0x50, 0x61}, 5, "0B 03 03 50 61", "Key: 8 - "},
    {{0x0B, 0x04, 0x02, 0x50, 0x61}, 5, "0B 04 02 50 61", "Key: 9 - "},
    {{}, 0, {}, {}},
    {{0x0B, 0x04, 0x03, 0x50, 0x62}, 5, "0B 04 03 50 62", "Key: 10 - "},
    {{}, 0, {}, {}},
}};

// The frame of a keypad index, or nullptr for "*", "#" and any other index.
constexpr const CommandFrame* keypadFrame(int index) {
    if (index < 0 || index >= keypadSize || keypad[std::size_t(index)].size == 0)
        return nullptr;
    return &keypad[std::size_t(index)];
}

// Compile-time guard against a mistyped constant: the checksum must hold.
constexpr bool checksumHolds(const CommandFrame& f) {
    if (f.size == 0)
        return true;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < f.size; ++i)
        sum += f.data[i];
    return (sum & 0xFF) == f.data[f.size - 1];
}
constexpr bool tableChecksumsHold() {
    for (const auto& f : keypad)
        if (!checksumHolds(f))
            return false;
    return checksumHolds(commTest) && checksumHolds(reset);
}
static_assert(tableChecksumsHold(), "a command frame's checksum is wrong");

} // namespace commands
