#pragma once

// orv-sim as the device, in a process of its own: its port, and a count of
// the frames it has received, read from the line it logs for each ("recv
// ..."). A reader thread drains its log so it never blocks, and can call a
// hook at each frame: a run's progress seen from outside the program.

#include "common.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace bench {

// Starts args[0] with its standard output on outFd; -1 if it cannot.
inline pid_t spawnWithOutput(const std::vector<std::string>& args, int outFd) {
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

// The same with its output into a new pipe of 1 MiB, so that it never waits
// on the bench's reading: *readFd is the pipe's read end; -1 if it cannot.
inline pid_t spawnPiped(const std::vector<std::string>& args, int* readFd) {
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    ::fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
    const pid_t pid = spawnWithOutput(args, out[1]);
    ::close(out[1]);
    *readFd = out[0];
    return pid;
}

class SimDevice {
public:
    std::string port;
    std::atomic<long> frames{0};
    // Called from the reader thread with the new count, once per frame.
    std::function<void(long)> onFrame;

    // Starts orv-sim with args; false if it named no port within 5 s.
    bool start(const std::string& sim, std::vector<std::string> args) {
        args.insert(args.begin(), sim);
        m_pid = spawnPiped(args, &m_fd);
        if (m_pid < 0)
            return false;
        // Its first line names the device: "... waiting for the program to open /dev/pts/N".
        std::string text;
        const std::int64_t giveUp = nowNs() + 5000000000LL;
        while (text.find('\n') == std::string::npos && nowNs() < giveUp) {
            pollfd p{m_fd, POLLIN, 0};
            char chunk[512];
            if (::poll(&p, 1, 100) > 0) {
                const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                text.append(chunk, std::size_t(n));
            }
        }
        const std::size_t at = text.find("/dev/");
        if (at == std::string::npos)
            return false;
        port = text.substr(at, text.find_first_of(" \n", at) - at);
        m_reader = std::thread([this, rest = text.substr(text.find('\n') + 1)] { read(rest); });
        return true;
    }

    ~SimDevice() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_reader.joinable())
            m_reader.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    void read(std::string pending) {
        char chunk[65536];
        for (;;) {
            std::size_t start = 0, end = 0;
            while ((end = pending.find('\n', start)) != std::string::npos) {
                const std::string_view line(pending.data() + start, end - start);
                if (line.find(" recv ") != std::string_view::npos) {
                    const long n = ++frames;
                    if (onFrame)
                        onFrame(n);
                }
                start = end + 1;
            }
            pending.erase(0, start);
            // Read in gulps, not a wake-up per line: this process shares the
            // machine with the one measured.
            sleepMs(5);
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                return;
            pending.append(chunk, std::size_t(n));
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
};

} // namespace bench
