#pragma once

// What /proc tells about a process: memory, CPU time, and how busy the
// machine is.

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

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

// Whole-process CPU in ms from schedstat, over a run in which threads may
// come and go (Qt's pooled threads expire when idle; a port's reader thread
// ends with the port): a thread that has ended still counts with what it had
// used when last seen, so the total never goes back. What it used after it
// was last seen is lost; reading at every mark keeps that small.
class ProcessCpu {
public:
    explicit ProcessCpu(pid_t pid) : m_pid(pid) {}
    double ms() {
        const std::string dir = "/proc/" + std::to_string(m_pid) + "/task";
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (e->d_name[0] == '.')
                    continue;
                std::ifstream f(dir + "/" + e->d_name + "/schedstat");
                double ns = 0;
                if (f >> ns) {
                    double& seen = m_threads[e->d_name];
                    seen = std::max(seen, ns);
                }
            }
            ::closedir(d);
        }
        double total = 0;
        for (const auto& thread : m_threads)
            total += thread.second;
        return total / 1e6;
    }

private:
    pid_t m_pid;
    std::map<std::string, double> m_threads;
};

// Memory of a process at a moment, in KiB, from /proc/PID/smaps_rollup:
// resident, proportional (shared pages divided among their users) and
// private (in no other process).
struct MemorySplit {
    long rss = -1, pss = -1, priv = -1;
};

inline MemorySplit memorySplit(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
    MemorySplit m;
    long clean = 0, dirty = 0;
    std::string key;
    long value = 0;
    std::string unit;
    while (f >> key) {
        if (key.back() != ':') {
            std::getline(f, unit);
            continue;
        }
        f >> value >> unit;
        if (key == "Rss:")
            m.rss = value;
        else if (key == "Pss:")
            m.pss = value;
        else if (key == "Private_Clean:")
            clean = value;
        else if (key == "Private_Dirty:")
            dirty = value;
    }
    if (m.rss >= 0)
        m.priv = clean + dirty;
    return m;
}

// Resident KiB of each mapped file (anonymous memory as "[anon]", heap as
// "[heap]"), from /proc/PID/smaps.
inline std::map<std::string, long> rssByMapping(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, long> out;
    std::string line, name = "[anon]";
    while (std::getline(f, line)) {
        if (line.empty())
            continue;
        const std::size_t colon = line.find(':');
        const bool field =
            colon != std::string::npos && line.find(' ') > colon && line.find('-') > colon;
        if (!field) {
            // "start-end perms offset dev inode [path]"
            std::size_t at = 0;
            for (int i = 0; i < 5 && at != std::string::npos; ++i)
                at = line.find_first_not_of(' ', line.find(' ', at));
            name = at == std::string::npos ? "[anon]" : line.substr(at);
            if (name.compare(0, 12, "/usr/lib/x86") == 0)
                name = name.substr(name.rfind('/') + 1);
        } else if (line.compare(0, 4, "Rss:") == 0) {
            out[name] += std::atol(line.c_str() + 4);
        }
    }
    return out;
}

// The load average of the last minute.
inline double loadAverage() {
    std::ifstream f("/proc/loadavg");
    double l = -1;
    f >> l;
    return l;
}

} // namespace bench
