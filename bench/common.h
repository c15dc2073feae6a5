#pragma once

// Shared by the benchmark programs: clocks, the device end of a
// pseudo-terminal, the flood payload, statistics and the result lines that
// scripts/bench gathers into its table.

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

inline std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
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

// A figure for scripts/bench: "RESULT key value", one per line on stdout.
inline void result(const char* key, double value) {
    std::printf("RESULT %s %.4f\n", key, value);
    std::fflush(stdout);
}

// Resident memory of a process in KiB (VmRSS), -1 if unknown.
inline long rssKiB(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// CPU time of a whole process (all threads) from /proc/PID/stat, utime+stime,
// in milliseconds. Its resolution is one clock tick (10 ms at USER_HZ 100).
inline double cpuMsFromStat(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    // Fields after the command name start at field 3 (state).
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (fields.size() < 13)
        return -1;
    const double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// CPU time of a whole process in milliseconds from the scheduler's own
// nanosecond counts (/proc/PID/task/*/schedstat): a finer cross-check of the
// tick-based figure above. Threads that ended earlier are not counted.
inline double cpuMsFromSchedstat(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return -1;
    double total = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream f(dir + "/" + e->d_name + "/schedstat");
        double ns = 0;
        if (f >> ns)
            total += ns;
    }
    ::closedir(d);
    return total / 1e6;
}

} // namespace bench
