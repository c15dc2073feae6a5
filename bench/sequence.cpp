// A burn-in without a window: orv-test --run against orv-sim answering at
// once, `repeat N` / `key 5` / `expect ACK` / `end` / `wait 1000`, watched
// from outside.
// Progress is the count of reply lines on the program's standard output;
// at set points of it the program's resident memory (/proc/PID/status) and
// whole-process CPU (/proc/PID/task/*/schedstat) are read. Afterwards the
// report's size, the verdict line and the exit status.
//   orv-bench-sequence ORV-TEST ORV-SIM [EXPECTATIONS]
// or, a send loop to a device that drains as slowly as a 9600-baud wire
// (orv-sim --read-rate): FRAMES keys, each expecting its ACK, which the
// device gives only once it has read the frame; the run's time against what
// the bytes need, its CPU, and whether any frame was reported unsent or the
// port lost. (2,000 frames fit in a pseudo-terminal's buffer, so without the
// expects the loop would end long before the device had read them.)
//   orv-bench-sequence ORV-TEST ORV-SIM slow FRAMES [BYTES-PER-S]
#include "burnin.h"
#include "procfs.h"
#include "simdevice.h"

#include <sys/stat.h>

using namespace bench;

namespace {

BurnInMark mark(pid_t pid, ProcessCpu& cpu) {
    return {nowNs(), cpu.ms(), rssKiB(pid)};
}

// A private state folder for the run's log, and no display: the headless run
// as CI starts it. Returns the folder.
std::string headlessFolder(const char* name) {
    std::string path = std::string("/tmp/orv-bench-") + name + "-XXXXXX";
    const std::string dir = ::mkdtemp(path.data());
    ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    return dir;
}

} // namespace

int slowDevice(const char* orvTest, const char* orvSim, long frames, long rate) {
    const std::string dir = headlessFolder("slow");
    {
        std::ofstream seq(dir + "/slow.seq");
        seq << "repeat " << frames << "\n  key 5\n  expect ACK within 60000\nend\n";
    }
    SimDevice sim;
    if (!sim.start(orvSim, {"--read-rate", std::to_string(rate)})) {
        std::fprintf(stderr, "orv-sim did not start\n");
        return 1;
    }
    int out = -1;
    const std::int64_t startNs = nowNs();
    const pid_t run = spawnPiped({orvTest, "--run", dir + "/slow.seq", "--port", sim.port}, &out);
    if (out < 0)
        return 1;
    ProcessCpu cpu(run);
    std::string text;
    char chunk[65536];
    double cpuMs = 0;
    for (;;) {
        cpuMs = std::max(cpuMs, cpu.ms());
        sleepMs(20);
        const ssize_t got = ::read(out, chunk, sizeof chunk);
        if (got <= 0)
            break;
        text.append(chunk, std::size_t(got));
    }
    int status = 0;
    ::waitpid(run, &status, 0);
    const double wallS = double(nowNs() - startNs) / 1e9;
    const auto count = [&](const char* what) {
        long n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1))
            ++n;
        return double(n);
    };
    // Five bytes a key; what the device had to read before it could answer the last.
    const double neededS = double(frames) * 5 / double(rate);
    std::fprintf(stderr, "orv-bench-sequence slow: %.1f s (bytes need %.1f s), output ends:\n%s",
                 wallS, neededS, text.substr(text.size() > 300 ? text.size() - 300 : 0).c_str());
    result("slow_out_run_s", wallS);
    result("slow_out_bytes_need_s", neededS);
    result("slow_out_cpu_ms", cpuMs);
    result("slow_out_cpu_us_per_frame", cpuMs * 1000 / double(frames));
    result("slow_out_not_sent_or_lost", count("Not sent") + count("Lost "));
    const std::string verdict = "PASS: " + std::to_string(frames) + " of " + std::to_string(frames);
    result("slow_out_verdict_ok", text.find(verdict) != std::string::npos ? 1 : 0);
    result("slow_out_exit_status", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ORV-TEST ORV-SIM [EXPECTATIONS]\n", argv[0]);
        return 2;
    }
    if (argc > 4 && std::string(argv[3]) == "slow")
        return slowDevice(argv[1], argv[2], std::atol(argv[4]),
                          argc > 5 ? std::atol(argv[5]) : 960);
    const long n = argc > 3 ? std::atol(argv[3]) : 1000000;
    const std::string dir = headlessFolder("seq");
    {
        std::ofstream seq(dir + "/burn.seq");
        // The closing wait keeps the program running, its port open, while
        // the last mark is read: after the run it writes the report and ends
        // its threads, which would count in (or drop out of) the last tenth.
        seq << "repeat " << n << "\n  key 5\n  expect ACK\nend\nwait 1000\n";
    }
    SimDevice sim;
    if (!sim.start(argv[2], {})) {
        std::fprintf(stderr, "orv-sim did not start\n");
        return 1;
    }
    int out = -1;
    const std::string report = dir + "/report.xml";
    const pid_t run = spawnPiped(
        {argv[1], "--run", dir + "/burn.seq", "--port", sim.port, "--report", report}, &out);
    if (out < 0)
        return 1;

    const BurnInPoints points(n);
    const long* at = points.at;
    BurnInMark marks[5];
    int next = 0;
    long replies = 0;
    std::string pending, tail;
    char chunk[65536];
    ProcessCpu cpu(run);
    for (int gulp = 1;; ++gulp) {
        // Threads that end during the run keep what they used.
        if (gulp % 20 == 0)
            cpu.ms();
        // In gulps (the pipe holds a MiB): this process shares the machine
        // with the one measured, and a mark a few ms late changes nothing.
        sleepMs(5);
        const ssize_t got = ::read(out, chunk, sizeof chunk);
        if (got <= 0)
            break;
        pending.append(chunk, std::size_t(got));
        std::size_t start = 0, end = 0;
        while ((end = pending.find('\n', start)) != std::string::npos) {
            // "YYYY-MM-DD HH:MM:SS.mmm  Reply: ..."
            if (end - start > 32 && pending.compare(start + 23, 9, "  Reply: ") == 0) {
                ++replies;
                while (next < 5 && replies >= at[next])
                    marks[next++] = mark(run, cpu);
            }
            start = end + 1;
        }
        tail.append(pending, 0, start);
        if (tail.size() > 4096)
            tail.erase(0, tail.size() - 4096);
        pending.erase(0, start);
    }
    int status = 0;
    ::waitpid(run, &status, 0);
    const std::int64_t exitNs = nowNs();
    struct stat st {};
    const double reportMB = ::stat(report.c_str(), &st) == 0 ? double(st.st_size) / 1e6 : -1;
    const std::string verdict = "PASS: " + std::to_string(n) + " of " + std::to_string(n);
    std::fprintf(stderr, "orv-bench-sequence: %ld replies seen, exit %d, output ends:\n%s", replies,
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                 tail.substr(tail.size() > 300 ? tail.size() - 300 : 0).c_str());
    if (next < 5) {
        std::fprintf(stderr, "the run ended after %ld of %ld expectations\n", replies, n);
        return 1;
    }
    burnInFigures("burnin_head", points, marks);
    result("burnin_head_report_mb", reportMB);
    // The closing wait, then the report written and the program ended.
    result("burnin_head_last_reply_to_exit_s", double(exitNs - marks[4].ns) / 1e9);
    result("burnin_head_verdict_ok", tail.find(verdict) != std::string::npos ? 1 : 0);
    result("burnin_head_exit_status", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}
