#include "xscenarios.h"

#include "sessionlogfile.h"

#include <algorithm>

namespace bench {

std::string who = "out";

std::string key(const char* scenario, const char* figure) {
    return std::string(scenario) + "_" + who + "_" + figure;
}

int startup(const Target& target, int runs) {
    X x;
    std::vector<double> mapped, rss, pss, priv;
    int withGl = 0, portClosed = 0;
    for (int r = 0; r < runs; ++r) {
        Fresh fresh(x, target, false);
        const Program& p = fresh.program;
        mapped.push_back(ms(p.mappedNs - p.startNs));
        if (!p.holds(fresh.pty.path))
            ++portClosed;
        sleepMs(1000);
        const MemorySplit m = memorySplit(p.pid);
        rss.push_back(double(m.rss) / 1024.0);
        pss.push_back(double(m.pss) / 1024.0);
        priv.push_back(double(m.priv) / 1024.0);
        if (p.openGlLibraries() > 0)
            ++withGl;
    }
    result(key("startup", "mapped_median_ms").c_str(), median(mapped));
    result(key("startup", "mapped_max_ms").c_str(), maxOf(mapped));
    result(key("startup", "port_not_open_runs").c_str(), portClosed);
    result(key("idle", "rss_median_mib").c_str(), median(rss));
    result(key("idle", "pss_median_mib").c_str(), median(pss));
    result(key("idle", "private_median_mib").c_str(), median(priv));
    result(key("idle", "opengl_runs").c_str(), withGl);
    return 0;
}

// Resident memory at idle by mapping, largest first, as "MAP KiB name"
// lines: what is ours and what is shared libraries.
int idleMap(const Target& target) {
    X x;
    Fresh fresh(x, target);
    sleepMs(1000);
    const std::map<std::string, long> byName = rssByMapping(fresh.program.pid);
    std::vector<std::pair<long, std::string>> sorted;
    for (const auto& [name, kib] : byName)
        sorted.emplace_back(kib, name);
    std::sort(sorted.rbegin(), sorted.rend());
    for (const auto& [kib, name] : sorted)
        if (kib > 0)
            std::printf("MAP %ld %s\n", kib, name.c_str());
    return 0;
}

namespace {

struct FloodFigures {
    double drainMs = 0, cpuMs = 0, schedMs = 0, rssKiB = 0, worstPingMs = 0;
    int pings = 0;
    double rows = -1; // reply rows in the session log; -1 when not read
};

// One flood into a fresh program. The flood is over when the program's end
// of the terminal is empty and stays so across a ping sent after that: the
// answer means its event loop has also dealt with what it read.
FloodFigures floodOnce(X& x, const Target& target, const std::string& payload, bool pings,
                       int lines, bool readLog) {
    Fresh fresh(x, target);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;

    const long rss0 = rssKiB(p.pid);
    const double cpu0 = cpuMsFromStat(p.pid);
    ProcessCpu processCpu(p.pid);
    const double sched0 = processCpu.ms();
    FloodFigures f;
    std::size_t offset = 0;
    long outstanding = -1; // tag of the ping in flight
    std::int64_t sentNs = 0;
    bool endProbe = false; // the ping in flight was sent with the terminal empty
    std::int64_t endNs = 0;
    // A program that reads on a thread of its own empties the terminal long
    // before its window has dealt with what was read: orv-test's flood is
    // drained only once its session log also holds the last line.
    const bool watchLog = !target.gtkterm;
    const std::string lastRow = escapedLine(floodLine(std::uint64_t(lines)));
    std::int64_t loggedNs = watchLog ? 0 : 1;
    const std::int64_t start = nowNs();
    const std::int64_t giveUp = start + 60000000000LL;
    while (!endNs || !loggedNs) {
        if (nowNs() > giveUp)
            die(endNs ? "the session log did not hold the flood's last line within 60 s"
                      : "the flood was not drained within 60 s");
        if (!loggedNs && offset == payload.size() && logEndsWith(p.stateDir, lastRow))
            loggedNs = nowNs();
        const bool writing = offset < payload.size();
        const bool emptyNow = !writing && pty.unread() == 0;
        if (outstanding < 0 && (pings || emptyNow)) {
            outstanding = long(x.nextSeq());
            endProbe = emptyNow;
            sentNs = nowNs();
            x.sendPing(p.window, std::uint32_t(outstanding));
        }
        pollfd fds[2] = {{x.fd(), POLLIN, 0}, {pty.master, POLLOUT, 0}};
        ::poll(fds, writing ? 2 : 1, 1);
        while (offset < payload.size()) {
            const ssize_t n = ::write(pty.master, payload.data() + offset, payload.size() - offset);
            if (n <= 0)
                break;
            offset += std::size_t(n);
        }
        if (outstanding >= 0 && x.takePingAnswer() == outstanding) {
            const std::int64_t t = nowNs();
            f.worstPingMs = std::max(f.worstPingMs, ms(t - sentNs));
            if (std::getenv("ORV_BENCH_TRACE"))
                std::fprintf(stderr,
                             "ping sent at %.1f ms, answered after %.2f ms, %zu bytes written\n",
                             ms(sentNs - start), ms(t - sentNs), offset);
            ++f.pings;
            outstanding = -1;
            if (!endNs && endProbe && offset == payload.size() && pty.unread() == 0)
                endNs = t;
        }
    }
    endNs = std::max(endNs, loggedNs);
    f.cpuMs = cpuMsFromStat(p.pid) - cpu0;
    f.schedMs = processCpu.ms() - sched0;
    f.rssKiB = double(rssKiB(p.pid) - rss0);
    f.drainMs = ms(endNs - start);
    if (readLog && !target.gtkterm)
        f.rows = double(loggedRows(p.stateDir, lines).size());
    return f;
}

} // namespace

int flood(const Target& target, int lines, int runs, Flood kind) {
    const bool pings = kind == Flood::Pings;
    X x;
    const std::string payload = floodPayload(std::uint64_t(lines));
    std::vector<double> drain, cpu, sched, rss, ping, rows;
    for (int r = 0; r < runs; ++r) {
        const FloodFigures f = floodOnce(x, target, payload, pings, lines, kind == Flood::Plain);
        std::fprintf(stderr,
                     "orv-bench-x: flood %d: drain %.1f ms, cpu %.0f ms (sched %.1f ms), rss +%.0f "
                     "KiB, worst ping %.2f ms of %d\n",
                     r + 1, f.drainMs, f.cpuMs, f.schedMs, f.rssKiB, f.worstPingMs, f.pings);
        drain.push_back(f.drainMs);
        cpu.push_back(f.cpuMs);
        sched.push_back(f.schedMs);
        rss.push_back(f.rssKiB);
        ping.push_back(f.worstPingMs);
        if (f.rows >= 0)
            rows.push_back(f.rows);
    }
    const double perK = double(lines) / 1000.0;
    if (kind == Flood::Memory) {
        result(key("memory", "growth_mib").c_str(), median(rss) / 1024.0);
        result(key("memory", "drain_ms").c_str(), median(drain));
        return 0;
    }
    if (pings) {
        result(key("flood", "worst_ping_ms").c_str(), maxOf(ping));
        result(key("flood", "worst_ping_median_ms").c_str(), median(ping));
        return 0;
    }
    result(key("flood", "drain_median_ms").c_str(), median(drain));
    result(key("flood", "cpu_ms_per_1k").c_str(), median(cpu) / perK);
    result(key("flood", "sched_cpu_ms_per_1k").c_str(), median(sched) / perK);
    result(key("flood", "rss_kib_per_1k").c_str(), median(rss) / perK);
    if (!rows.empty())
        result(key("flood", "log_rows_min").c_str(), *std::min_element(rows.begin(), rows.end()));
    return 0;
}

int click(const Target& target, int count) {
    X x;
    Fresh fresh(x, target);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;
    const X::Rect window = x.geometry(p.window);
    const int menuBar = window.height - clientHeight;
    const int keysX[2] = {window.x + key1X, window.x + key2X};
    const int keysY = window.y + menuBar + keyY;
    const std::string expected[2] = {keyFrame(0), keyFrame(1)};
    std::vector<double> latency;
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        // Keys 1 and 2 in turn: never two presses in one place, so never a double click.
        x.movePointer(keysX[i % 2], keysY);
        sleepMs(5);
        // Held for a moment, as a hand does; the click is complete, and the
        // frame due, on release.
        x.button(true);
        sleepMs(holdMs);
        const std::int64_t start = nowNs();
        x.button(false);
        std::string frame;
        const std::int64_t giveUp = start + 2000000000LL;
        while (frame.size() < 5 && nowNs() < giveUp) {
            pollfd fd{pty.master, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            char buf[64];
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n > 0)
                frame.append(buf, std::size_t(n));
        }
        const std::int64_t end = nowNs();
        if (frame.size() < 5)
            die("a click sent nothing within 2 s (key at " + std::to_string(keysX[i % 2]) + "," +
                std::to_string(keysY) + ")");
        latency.push_back(ms(end - start));
        if (frame != expected[i % 2])
            ++wrong;
        sleepMs(10);
        x.discardEvents();
    }
    result(key("click", "wrong_frames").c_str(), wrong);
    result(key("click", "median_ms").c_str(), median(latency));
    result(key("click", "p99_ms").c_str(), percentile(latency, 0.99));
    result(key("click", "max_ms").c_str(), maxOf(latency));
    return 0;
}

} // namespace bench
