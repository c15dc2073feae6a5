// A device that chatters at a steady pace, and one that answers after quiet
// spells, against a program watched from outside: its CPU above its own idle
// rate (schedstat of every thread), its session log on disk (one row per
// device line? stamped when?) and, for the quiet spells, the X server's
// damage reports on the monitor.

#include "sessionlogfile.h"
#include "xdamage.h"
#include "xscenarios.h"

namespace bench {

namespace {

// Whole-process CPU in ms per ms of wall time while nothing comes in.
double idleRate(ProcessCpu& cpu, int seconds) {
    const double cpu0 = cpu.ms();
    const std::int64_t t0 = nowNs();
    for (int s = 0; s < seconds; ++s) {
        sleepMs(1000);
        cpu.ms();
    }
    return (cpu.ms() - cpu0) / ms(nowNs() - t0);
}

// What the log says of the lines written: a row each, every byte, and each
// line's stamp against the time it was written.
void logFigures(const std::string& stateDir, const std::vector<double>& writtenMs) {
    const int lines = int(writtenMs.size()) - 1;
    const std::vector<LogRow> rows = loggedRows(stateDir, lines);
    std::string got, sent;
    for (int i = 1; i <= lines; ++i)
        sent += tenByteLine(std::uint64_t(i));
    int single = 0;
    std::vector<double> error;
    for (const LogRow& r : rows) {
        got += r.bytes;
        if (deviceLines(r.bytes) == 1 && r.bytes.back() == '\n')
            ++single;
        // Every line in the row carries the row's stamp.
        for (std::size_t at = 0; at < r.bytes.size();) {
            const std::size_t end = r.bytes.find('\n', at);
            const int n = std::atoi(r.bytes.substr(at, 8).c_str());
            if (n >= 1 && n <= lines)
                error.push_back(r.stampMs - writtenMs[std::size_t(n)]);
            at = end == std::string::npos ? r.bytes.size() : end + 1;
        }
    }
    if (got != sent)
        std::fprintf(stderr, "orv-bench-x: the log holds %zu reply bytes of the %zu written\n",
                     got.size(), sent.size());
    std::fprintf(stderr, "orv-bench-x: %d lines written, %zu rows logged, %d of one line\n", lines,
                 rows.size(), single);
    result(key("paced", "log_rows").c_str(), double(rows.size()));
    result(key("paced", "log_bytes_ok").c_str(), got == sent ? 1 : 0);
    result(key("paced", "one_line_rows_pct").c_str(),
           rows.empty() ? 0 : 100.0 * single / double(rows.size()));
    result(key("paced", "stamp_error_median_ms").c_str(), median(error));
    result(key("paced", "stamp_error_p99_ms").c_str(), percentile(error, 0.99));
    result(key("paced", "stamp_error_max_ms").c_str(), maxOf(error));
}

} // namespace

int paced(const Target& target, int seconds, int hz, int idleSeconds) {
    X x;
    Fresh fresh(x, target);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;
    if (!p.holds(pty.path))
        die(target.program + " did not open the terminal");
    ProcessCpu processCpu(p.pid);
    const double idle = idleRate(processCpu, idleSeconds);

    const int lines = seconds * hz;
    const std::int64_t period = 1000000000 / hz;
    std::vector<double> writtenMs(std::size_t(lines) + 1, 0);
    const long rss0 = rssKiB(p.pid);
    const double cpu0 = processCpu.ms();
    const std::int64_t start = nowNs();
    for (int i = 1; i <= lines; ++i) {
        sleepUntilNs(start + std::int64_t(i - 1) * period);
        const std::string line = tenByteLine(std::uint64_t(i));
        writtenMs[std::size_t(i)] = wallMs();
        if (!pty.writeAll(line.data(), line.size()))
            die("the program stopped reading");
        // Threads that end during the run keep what they used.
        if (i % hz == 0)
            processCpu.ms();
    }
    const std::int64_t giveUp = nowNs() + 10000000000LL;
    while (pty.unread() != 0)
        if (nowNs() > giveUp)
            die("the program did not read the last line within 10 s");
        else
            sleepMs(1);
    // Time for the last repaint and log write, counted like the rest.
    sleepMs(1000);
    const double wall = ms(nowNs() - start);
    const double cpu = processCpu.ms() - cpu0;
    const double perK = double(lines) / 1000.0;
    std::fprintf(stderr, "orv-bench-x: %s: %.0f ms CPU over %.0f ms, idle %.2f ms/s\n",
                 target.program.c_str(), cpu, wall, idle * 1000);
    result(key("paced", "idle_cpu_ms_per_s").c_str(), idle * 1000);
    result(key("paced", "cpu_above_idle_ms_per_1k").c_str(), (cpu - idle * wall) / perK);
    result(key("paced", "rss_kib_per_1k").c_str(), double(rssKiB(p.pid) - rss0) / perK);
    if (!target.gtkterm)
        logFigures(p.stateDir, writtenMs);
    return 0;
}

int quiet(const Target& target, int count, int gapMs) {
    X x;
    Fresh fresh(x, target);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;
    const int top = x.geometry(p.window).height - clientHeight + monitorY;
    Damage damage(x.connection(), p.window);
    // The rows only: the scroll bar at the right is drawn as it pleases.
    const auto drawn = [&] {
        return damage.takeInside(monitorX, top, monitorWidth - scrollBarWidth, monitorHeight);
    };
    std::vector<double> latency;
    int drawnWhileQuiet = 0;
    for (int i = 1; i <= count; ++i) {
        // The last line's late drawing (the scroll bar, a second pass) goes
        // first; drawing in the last 50 ms before the write would be taken
        // for the new line's, so it is counted as a warning.
        sleepMs(gapMs - 50);
        drawn();
        sleepMs(50);
        if (drawn()) {
            ++drawnWhileQuiet;
            std::fprintf(stderr, "orv-bench-x: the monitor was drawn late in quiet spell %d\n", i);
        }
        const std::string line = tenByteLine(std::uint64_t(i));
        const std::int64_t start = nowNs();
        if (!pty.writeAll(line.data(), line.size()))
            die("the program stopped reading");
        std::int64_t seen = 0;
        while (!seen && nowNs() - start < 2000000000LL) {
            pollfd fd{x.fd(), POLLIN, 0};
            ::poll(&fd, 1, 1);
            seen = drawn();
        }
        if (!seen)
            die("a line written after a quiet spell was not drawn within 2 s");
        latency.push_back(ms(seen - start));
    }
    // The monitor drawn just before a line was written: the first damage
    // after it may then not be that line's.
    result(key("quiet", "drawn_while_quiet").c_str(), drawnWhileQuiet);
    result(key("quiet", "latency_median_ms").c_str(), median(latency));
    result(key("quiet", "latency_p99_ms").c_str(), percentile(latency, 0.99));
    return 0;
}

} // namespace bench
