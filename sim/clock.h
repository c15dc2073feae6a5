#pragma once

#include <cstdint>
#include <ctime>

namespace orvsim {

// Milliseconds on a clock that never jumps: frame ages and answer times.
inline std::int64_t monotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace orvsim
