#pragma once

// What a headless run's exit status says. --help and the man page give these
// numbers from here (the man page through packaging/CMakeLists.txt, which
// reads these lines), so each stays a plain number on a line of its own.
namespace exitstatus {
inline constexpr int passed = 0;       // every expectation met; the window closed
inline constexpr int failed = 1;       // one or more expectations failed
inline constexpr int notRun = 2;       // could not start, port lost, output not written
inline constexpr int signalBase = 128; // plus the number of the signal that stopped it
} // namespace exitstatus
