#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvsim {

namespace {

bool parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    value = v;
    return true;
}

// "MIN-MAX" in milliseconds, MIN <= MAX.
bool parseRange(const std::string& text, std::uint64_t max, int& low, int& high) {
    const auto dash = text.find('-');
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (dash == std::string::npos || !parseNumber(text.substr(0, dash), max, a) ||
        !parseNumber(text.substr(dash + 1), max, b) || a > b)
        return false;
    low = static_cast<int>(a);
    high = static_cast<int>(b);
    return true;
}

} // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        // Accept both "--delay 50" and "--delay=50".
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto noValue = [&]() -> bool {
            if (hasValue)
                error = arg + " takes no value";
            return !hasValue;
        };

        std::uint64_t number = 0;
        if (arg == "--help" || arg == "-h") {
            if (!noValue())
                return false;
            options.help = true;
        } else if (arg == "--split") {
            if (!noValue())
                return false;
            options.split = true;
        } else if (arg == "--no-newline") {
            if (!noValue())
                return false;
            options.noNewline = true;
        } else if (arg == "--delay") {
            if (!takeValue())
                return false;
            if (!parseNumber(value, 600000, number)) {
                error = "--delay wants milliseconds from 0 to 600000, not '" + value + "'";
                return false;
            }
            options.delayMs = static_cast<int>(number);
        } else if (arg == "--split-pause") {
            if (!takeValue())
                return false;
            if (!parseRange(value, 600000, options.splitPauseMinMs, options.splitPauseMaxMs)) {
                error = "--split-pause wants MIN-MAX milliseconds, 0 <= MIN <= MAX <= 600000, "
                        "not '" +
                        value + "'";
                return false;
            }
        } else if (arg == "--flood") {
            if (!takeValue())
                return false;
            if (!parseNumber(value, 1000000000, number) || number == 0) {
                error = "--flood wants a line count from 1 to 1000000000, not '" + value + "'";
                return false;
            }
            options.flood = number;
        } else if (arg == "--link") {
            if (!takeValue())
                return false;
            if (value.empty()) {
                error = "--link wants a path";
                return false;
            }
            options.link = value;
        } else if (arg == "--seed") {
            if (!takeValue())
                return false;
            if (!parseNumber(value, UINT32_MAX, number)) {
                error = "--seed wants a number from 0 to 4294967295, not '" + value + "'";
                return false;
            }
            options.seed = static_cast<std::uint32_t>(number);
        } else {
            error = "unknown argument '" + std::string(argv[i]) + "'";
            return false;
        }
    }
    return true;
}

std::string usageText(const char* program) {
    std::string text = "Usage: ";
    text += program;
    text += R"( [options]

Plays an ORV device on a pseudo-terminal. The first line printed is the
device path to open (9600 8N1); then one time-stamped line per frame
received and per answer given.

Options:
  --link PATH     also make the symbolic link PATH to the device (an old
                  symbolic link there is replaced); removed on exit
  --split         write each answer in two pieces, 20 to 50 ms apart
  --split-pause MIN-MAX
                  with --split, pause MIN to MAX ms between the pieces
                  (drawn at random for each answer; default 20-50)
  --no-newline    answer without the CR LF line end (flood lines too)
  --delay MS      wait MS milliseconds before answering
  --flood N       answer the first frame with N ACK lines, numbered
                  "0B 00 0B 000001" upwards; later frames get one answer
  --seed N        seed for the --split pauses, to repeat a run
  -h, --help      show this text

Ends cleanly on SIGINT or SIGTERM.
)";
    return text;
}

} // namespace orvsim
