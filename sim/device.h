#pragma once

#include "sim/frameparser.h"
#include "sim/options.h"
#include "sim/outputqueue.h"

#include <csignal>
#include <cstdint>
#include <random>
#include <string>

namespace orvsim {

class Logger;
class PtyPort;

// The simulated device: reads frames from the port, answers them the way the
// options ask, and survives the program closing and reopening the port.
class Device {
public:
    Device(const Options& options, PtyPort& port, Logger& log, std::uint32_t seed);

    // Serves until *stop becomes non-zero. Signals are only delivered while
    // waiting, with `waitMask` in force. Returns the exit code.
    int run(const volatile std::sig_atomic_t* stop, const sigset_t& waitMask);

private:
    enum class Input {
        Drained, // all there was, and the program still has the port open
        Limited, // --read-rate's allowance ran out first: more may wait
        Gone,    // the program closed its end and all it wrote has been read
    };
    Input readInput(std::int64_t nowMs);
    // Once the last byte written before the close is read, a frame still
    // incomplete can never finish.
    void dropPartialFrame();
    // With --read-rate: how many bytes may be read now, and how long until
    // a read's worth has come (ms).
    std::size_t readAllowance(std::int64_t nowMs);
    std::int64_t msUntilReadable() const;
    void handle(const ParseEvent& event, std::int64_t nowMs);
    // `named`: chosen by --answer, so it is not flooded.
    void answer(std::uint8_t status, std::int64_t nowMs, bool named);
    void writeOutput(std::int64_t nowMs);
    bool hungUp() const;
    void portClosed();
    bool portReopened();

    const Options& m_options;
    PtyPort& m_port;
    Logger& m_log;
    FrameParser m_parser;
    OutputQueue m_output;
    std::mt19937 m_random;
    bool m_open = false;
    bool m_flooded = false;
    double m_readCredit = 0; // bytes, with --read-rate
    std::int64_t m_creditAtMs = -1;
    bool m_cutShort = false; // the last read left input waiting
};

} // namespace orvsim
