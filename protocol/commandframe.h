#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <string_view>

// One device command: its bytes, the hex text shown for it and the monitor
// prefix that records it. The hex texts are literals on purpose, so that what
// the operator reads is exactly what the table says, not what code computed.
struct CommandFrame {
    std::array<std::uint8_t, 5> data{};
    std::size_t size = 0;
    std::string_view hex;
    std::string_view prefix;

    QByteArray bytes() const {
        return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(size));
    }
    QByteArray monitorLine() const {
        return QByteArray(prefix.data(), qsizetype(prefix.size())) +
               QByteArray(hex.data(), qsizetype(hex.size()));
    }
};
