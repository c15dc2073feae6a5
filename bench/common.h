#pragma once

// Shared by the benchmark programs: clocks, the device end of a
// pseudo-terminal, the flood payload, statistics and the result lines that
// scripts/bench gathers into its table.

#include "app/twips.h"
#include "protocol/commandtable.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace bench {

// The main window's layout the probes aim at (in pixels): the client height,
// and the centres of keys "1" and "2" (keypad frame, key offset, half a key).
constexpr int clientHeight = twips(8790);
constexpr int keyY = twips(480) + twips(480) + twips(1200) / 2;
constexpr int key1X = twips(4680) + twips(360) + twips(1200) / 2;
constexpr int key2X = twips(4680) + twips(2100) + twips(1200) / 2;

// The monitor (lstComm) inside the client area: its frame's offset plus its own.
constexpr int monitorX = twips(120) + twips(120);
constexpr int monitorY = twips(1680) + twips(360);
constexpr int monitorWidth = twips(4215);
constexpr int monitorHeight = twips(5325);
// Wider than any style's vertical scroll bar.
constexpr int scrollBarWidth = 24;

// The frames keys "1" and "2" send.
inline std::string keyFrame(int index) {
    const CommandFrame& f = commands::keypad[std::size_t(index)];
    return std::string(reinterpret_cast<const char*>(f.data.data()), f.size);
}

// How long a click holds the button down, as a hand does.
constexpr int holdMs = 30;

// Argument i as a number, or fallback when it is not there.
inline int argInt(int argc, char** argv, int i, int fallback) {
    return argc > i ? std::atoi(argv[i]) : fallback;
}
inline bool argIs(int argc, char** argv, int i, const char* word) {
    return argc > i && std::strcmp(argv[i], word) == 0;
}

inline std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Wall-clock time in ms since the epoch, as the session log stamps lines.
// CPU used by the calling thread.
inline double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double wallMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double ms(std::int64_t ns) {
    return double(ns) / 1e6;
}

inline void sleepUntilNs(std::int64_t ns) {
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

inline void sleepMs(double m) {
    sleepUntilNs(nowNs() + std::int64_t(m * 1e6));
}

// One line as orv-sim's --flood numbers them: "0B 00 0B 000001\r\n".
inline std::string floodLine(std::uint64_t number) {
    char text[40];
    std::snprintf(text, sizeof text, "0B 00 0B %06" PRIu64 "\r\n", number);
    return text;
}

// A ten-byte device line numbered n: "00000042\r\n".
inline std::string tenByteLine(std::uint64_t number) {
    char text[24];
    std::snprintf(text, sizeof text, "%08" PRIu64 "\r\n", number % 100000000);
    return text;
}

inline std::string floodPayload(std::uint64_t lines) {
    std::string out;
    out.reserve(lines * 17);
    for (std::uint64_t i = 1; i <= lines; ++i)
        out += floodLine(i);
    return out;
}

// The device end of a pseudo-terminal. A slave descriptor stays open here so
// the master never sees a hang-up, and so the slave's input queue can be
// looked at (FIONREAD) without reading from it.
struct DevicePty {
    int master = -1;
    int slave = -1;
    std::string path;

    bool open() {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        path = name;
        return true;
    }
    ~DevicePty() {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }

    // Writes everything, waiting for room; false after timeoutMs without progress.
    bool writeAll(const char* data, std::size_t size, int timeoutMs = 5000) const {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(master, data + done, size - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd p{master, POLLOUT, 0};
            if (::poll(&p, 1, timeoutMs) == 0)
                return false;
        }
        return true;
    }

    // Bytes the program has not read yet from its end.
    int unread() const {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
};

inline bool writeConfig(const std::string& dir, const std::string& port) {
    std::ofstream f(dir + "/config.ini", std::ios::trunc);
    f << "[SETTINGS]\nport=" << port << "\n";
    return bool(f);
}

// The value at fraction q (0..1) of the sorted samples, nearest rank.
inline double percentile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t i = std::size_t(q * double(v.size()) + 0.999999);
    i = std::clamp<std::size_t>(i, 1, v.size());
    return v[i - 1];
}

inline double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double maxOf(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// A figure for scripts/bench: "RESULT key value load", one per line on stdout.
// The machine's load average of the last minute goes beside it: the
// machine is shared, and a figure taken under load is inflated.
inline void result(const char* key, double value) {
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    std::printf("RESULT %s %.4f %.2f\n", key, value, load);
    std::fflush(stdout);
}

} // namespace bench
