#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvsim {

struct Options {
    bool help = false;
    bool split = false;
    bool noNewline = false;
    int delayMs = 0;
    // The pause between the two pieces of a --split answer, drawn per answer.
    int splitPauseMinMs = 20;
    int splitPauseMaxMs = 50;
    std::uint64_t flood = 0; // lines for the first frame, 0 = normal answer
    // Bytes a second the device reads at most, as a slow wire drains; 0 = all at once.
    std::uint32_t readRate = 0;
    std::string link;
    std::optional<std::uint32_t> seed;
    // --answer: whole frames answered with a status of our choosing instead
    // of the usual one; no status means no answer at all.
    std::map<std::vector<std::uint8_t>, std::optional<std::uint8_t>> answers;
};

// Fills `options` from the command line; on failure returns false and says
// why in `error`.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string usageText(const char* program);

} // namespace orvsim
