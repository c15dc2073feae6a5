#pragma once

#include <cstdio>
#include <cstdlib>

// A fuzz target's promise: one that does not hold is named, then abort() makes
// the fuzzer keep the input and fails the corpus replay.
inline void require(bool holds, const char* why) {
    if (holds)
        return;
    std::fprintf(stderr, "broken promise: %s\n", why);
    std::abort();
}
