#pragma once

#include "protocol/commandframe.h"

// Every frame the program can send. Lead byte 0x0B, command byte, for keypad
// keys the odd/even byte and 0x50, and last the sum of the others modulo 256.
namespace commands {

inline constexpr CommandFrame commTest{{0x0B, 0x05, 0x10}, 3, "0B 05 10", "Comm Test - "};
inline constexpr CommandFrame reset{{0x0B, 0x06, 0x11}, 3, "0B 06 11", "Reset - "};

inline constexpr int keypadSize = 12;

// The keypad's captions by index, as the buttons show them and sequence files
// name the keys: "*" is 9, "0" is 10, "#" is 11.
inline constexpr std::string_view keypadCaptions = "123456789*0#";
static_assert(keypadCaptions.size() == keypadSize);

// The keypad index of a caption, or -1.
constexpr int keypadIndex(char caption) {
    const std::size_t at = keypadCaptions.find(caption);
    return at == std::string_view::npos ? -1 : int(at);
}

// Indexed like the keypad; "*" and "#" have no frame (size 0). The "0" key is
// the device's key number 10.
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

// Each keypad frame's monitor prefix names its own caption's key ("0" is 10).
constexpr bool prefixesMatchCaptions() {
    for (std::size_t i = 0; i < keypad.size(); ++i) {
        const char c = keypadCaptions[i];
        const std::string_view number = c == '0' ? "10" : keypadCaptions.substr(i, 1);
        const std::string_view p = keypad[i].prefix;
        if (keypad[i].size != 0 &&
            (p.substr(0, 5) != "Key: " || p.substr(5, number.size()) != number ||
             p.substr(5 + number.size()) != " - "))
            return false;
    }
    return true;
}
static_assert(prefixesMatchCaptions(), "a keypad prefix names another key");

} // namespace commands
