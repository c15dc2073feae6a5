// The sequence runner's own cost: orv-test --run against orv-sim answering
// at once, 10,000 steps (5,000 key presses, each with an expected ACK).
// Timed and costed from the first frame's line to the line of a marker frame
// sent after the last step, so start-up and the final report are left out.
//   orv-bench-sequence ORV-TEST ORV-SIM [PAIRS]
#include "common.h"
#include "procfs.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

pid_t spawn(const std::vector<std::string>& args, int outFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Reads lines from fd until one contains text, which goes to line; false
// after timeoutMs.
bool waitForLine(int fd, std::string& buffer, const char* text, int timeoutMs,
                 std::string* line = nullptr) {
    const std::int64_t deadline = bench::nowNs() + std::int64_t(timeoutMs) * 1000000;
    for (;;) {
        const std::size_t at = buffer.find(text);
        if (at != std::string::npos) {
            const std::size_t end = buffer.find('\n', at);
            if (end != std::string::npos) {
                const std::size_t start = buffer.rfind('\n', at);
                if (line)
                    *line = buffer.substr(start == std::string::npos ? 0 : start + 1,
                                          end - (start == std::string::npos ? 0 : start + 1));
                buffer.erase(0, end + 1);
                return true;
            }
        }
        const std::int64_t left = (deadline - bench::nowNs()) / 1000000;
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffer.append(chunk, std::size_t(n));
        // Keep only the tail: the marker may straddle two reads.
        if (buffer.size() > (1u << 20))
            buffer.erase(0, buffer.size() - 4096);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ORV-TEST ORV-SIM [PAIRS]\n", argv[0]);
        return 2;
    }
    const int pairs = argc > 3 ? std::atoi(argv[3]) : 5000;
    char dirTemplate[] = "/tmp/orv-bench-seq-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    {
        std::ofstream seq(dir + "/bench.seq");
        seq << "repeat " << pairs << "\n  key 1\n  expect ACK\nend\nkey 2\nwait 600000\n";
    }

    int simOut[2];
    if (::pipe(simOut) != 0)
        return 1;
    const pid_t sim = spawn({argv[2]}, simOut[1]);
    ::close(simOut[1]);
    std::string simText, device;
    if (sim < 0 || !waitForLine(simOut[0], simText, "/dev/", 5000, &device)) {
        std::fprintf(stderr, "orv-sim did not start\n");
        return 1;
    }
    // orv-sim logs a line per frame; read and drop it so it never blocks.
    std::thread drain([fd = simOut[0]] {
        char sink[65536];
        while (::read(fd, sink, sizeof sink) > 0) {
        }
    });
    int out[2];
    if (::pipe(out) != 0)
        return 1;
    const pid_t run = spawn({argv[1], "--run", dir + "/bench.seq", "--port", device}, out[1]);
    ::close(out[1]);
    std::string text;
    bool ok = waitForLine(out[0], text, "Key: 1 - ", 10000);
    const std::int64_t t0 = bench::nowNs();
    const double cpu0 = bench::cpuMsFromSchedstat(run);
    ok = ok && waitForLine(out[0], text, "Key: 2 - ", 600000);
    const std::int64_t t1 = bench::nowNs();
    const double cpu1 = bench::cpuMsFromSchedstat(run);
    ::kill(run, SIGTERM);
    int status = 0;
    ::waitpid(run, &status, 0);
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    drain.join();
    if (!ok) {
        std::fprintf(stderr, "the run did not reach its marker (device %s)\n", device.c_str());
        return 1;
    }
    const double steps = 2.0 * pairs;
    bench::result("sequence_steps_per_s", steps / (double(t1 - t0) / 1e9));
    bench::result("sequence_cpu_us_per_step", (cpu1 - cpu0) * 1000.0 / steps);
    bench::result("sequence_exit_143", WIFEXITED(status) && WEXITSTATUS(status) == 143 ? 1 : 0);
    return 0;
}
