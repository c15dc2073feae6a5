#include "sim/options.h"

#include "sim/frameparser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

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

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "0B 05 10=NAK": a whole frame in hex, then ACK, NAK, CRC or none.
bool parseAnswer(const std::string& text, Options& options, std::string& error) {
    const auto eq = text.rfind('=');
    const std::string what = eq == std::string::npos ? "" : lowerCase(text.substr(eq + 1));
    std::optional<std::uint8_t> status;
    if (what == "ack")
        status = kAck;
    else if (what == "nak")
        status = kNak;
    else if (what == "crc")
        status = kChecksumError;
    else if (what != "none") {
        error = "--answer wants FRAME=ACK, NAK, CRC or none, not '" + text + "'";
        return false;
    }

    std::vector<std::uint8_t> frame;
    std::istringstream words(text.substr(0, eq));
    std::string word;
    while (words >> word) {
        if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
            !std::isxdigit(static_cast<unsigned char>(word[1]))) {
            error = "--answer wants the frame as hex bytes with blanks between, such as "
                    "\"0B 05 10\", not '" +
                    text.substr(0, eq) + "'";
            return false;
        }
        frame.push_back(static_cast<std::uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
    }
    if (frame.size() < 2 || frame[0] != kLeadByte) {
        error = "--answer wants a frame that starts with 0B and a command byte, not '" +
                text.substr(0, eq) + "'";
        return false;
    }
    const std::string command = hexText(&frame[1], 1);
    const std::size_t length = frameLength(frame[1]);
    if (length != 0 && length != frame.size()) {
        error = "--answer: a frame of command " + command + " is " + std::to_string(length) +
                " bytes long, not " + std::to_string(frame.size()) + " ('" + text + "')";
        return false;
    }
    // An unknown command is read to the length its frames are given here.
    for (const auto& named : options.answers) {
        if (named.first[1] == frame[1] && named.first.size() != frame.size()) {
            error = "--answer gives frames of command " + command + " two lengths";
            return false;
        }
    }
    if (!options.answers.emplace(frame, status).second) {
        error = "--answer names " + hexText(frame) + " twice";
        return false;
    }
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
        } else if (arg == "--read-rate") {
            if (!takeValue())
                return false;
            if (!parseNumber(value, 100000000, number) || number == 0) {
                error = "--read-rate wants bytes a second from 1 to 100000000, not '" + value + "'";
                return false;
            }
            options.readRate = static_cast<std::uint32_t>(number);
        } else if (arg == "--link") {
            if (!takeValue())
                return false;
            if (value.empty()) {
                error = "--link wants a path";
                return false;
            }
            options.link = value;
        } else if (arg == "--answer") {
            if (!takeValue() || !parseAnswer(value, options, error))
                return false;
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
  --answer "FRAME=WHAT"
                  answer the frame FRAME (hex bytes, e.g. "0B 05 10" for
                  Comm Test) with WHAT: ACK, NAK (unknown command), CRC
                  (checksum error) or none (no answer at all); may be
                  given for several frames. Other frames are answered as
                  usual, so a wrong checksum still gets CRC unless named.
                  A command the device does not know ("0B 07 12") is read
                  to the length of the frame named. --flood leaves named
                  frames alone.
  --read-rate N   read at most N bytes a second, as a slow wire drains
                  (960 is 9600 baud); the program's writes then wait
  --seed N        seed for the --split pauses, to repeat a run
  -h, --help      show this text

Ends cleanly on SIGINT, SIGTERM or SIGHUP.
)";
    return text;
}

} // namespace orvsim
