// orv-bench-x: the real orv-test program watched from outside, the way other
// serial monitors were measured: under an X server with the xcb platform, its
// port one end of a pseudo-terminal whose device end this program plays, CPU
// from /proc/PID/stat (utime+stime) and memory from /proc/PID/status (VmRSS).
//
//   orv-bench-x PROGRAM startup RUNS             start to window mapped, idle memory
//   orv-bench-x PROGRAM flood LINES RUNS [ping]  full-speed device: drain, CPU, memory;
//                                                with "ping", the longest freeze
//   orv-bench-x PROGRAM paced SECONDS HZ         one write per line: CPU, memory
//   orv-bench-x PROGRAM click COUNT              XTest click (from its release) to the
//                                                frame readable at the device end
//
// A freeze is timed by a _NET_WM_PING round trip, the request a window
// manager sends to see whether a window still answers: the program answers
// it from its event loop, so the round trip is as long as the loop is busy.
// config.ini is written beside PROGRAM. Figures are "RESULT key value" lines.
// ORV_BENCH_TRACE=1 also prints every ping of a flood, to see when it stalls.

#include "common.h"

#include <climits>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

using namespace bench;

namespace {

// Thrown, so that a program under test is ended on the way out.
[[noreturn]] void die(const std::string& why) {
    throw std::runtime_error(why);
}

// Layout of the main window in twips, 15 to a pixel: client height, and the
// centres of keys "1" and "2" (keypad frame plus key offset plus half a key).
constexpr int px(int twips) {
    return (twips + 7) / 15;
}
constexpr int clientHeight = px(8790);
constexpr int keyY = px(480) + px(480) + px(1200) / 2;
constexpr int key1X = px(4680) + px(360) + px(1200) / 2;
constexpr int key2X = px(4680) + px(2100) + px(1200) / 2;

class X {
public:
    X() {
        int screenNumber = 0;
        m_c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_c))
            die("cannot connect to the X server (is DISPLAY set?)");
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;
        m_protocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
        m_pid = atom("_NET_WM_PID");
        // Maps of new windows; ping answers, which Qt sends to the root
        // window for structure-notify and substructure-redirect listeners.
        const std::uint32_t mask =
            XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~X() { xcb_disconnect(m_c); }

    int fd() const { return xcb_get_file_descriptor(m_c); }
    xcb_window_t root() const { return m_root; }

    // Waits up to timeoutMs for a top-level window of pid to be mapped.
    xcb_window_t waitMapped(pid_t pid, int timeoutMs, std::int64_t& mappedNs) {
        const std::int64_t end = nowNs() + std::int64_t(timeoutMs) * 1000000;
        while (nowNs() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const std::int64_t t = nowNs();
                std::unique_ptr<xcb_generic_event_t, decltype(&free)> hold(e, &free);
                if ((e->response_type & 0x7F) != XCB_MAP_NOTIFY)
                    continue;
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (windowPid(map->window) == std::uint32_t(pid)) {
                    mappedNs = t;
                    return map->window;
                }
            }
            pollfd p{fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return XCB_NONE;
    }

    // Sends a ping to window, tagged with seq.
    void sendPing(xcb_window_t window, std::uint32_t seq) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = window;
        ev.type = m_protocols;
        ev.data.data32[0] = m_ping;
        ev.data.data32[1] = seq;
        ev.data.data32[2] = window;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(m_c);
    }

    // Reads pending events; returns the tag of a ping answer among them, or -1.
    long takePingAnswer() {
        long answered = -1;
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                const auto* cm = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (cm->window == m_root && cm->type == m_protocols && cm->data.data32[0] == m_ping)
                    answered = long(cm->data.data32[1]);
            }
            free(e);
        }
        return answered;
    }

    // One ping round trip in ms, or -1 after timeoutMs.
    double pingOnce(xcb_window_t window, int timeoutMs) {
        const std::uint32_t seq = ++m_seq;
        const std::int64_t start = nowNs();
        sendPing(window, seq);
        const std::int64_t end = start + std::int64_t(timeoutMs) * 1000000;
        while (nowNs() < end) {
            pollfd p{fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
            if (takePingAnswer() == long(seq))
                return ms(nowNs() - start);
        }
        return -1;
    }
    std::uint32_t nextSeq() { return ++m_seq; }

    bool geometry(xcb_window_t w, int& x, int& y, int& width, int& height) {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr);
        if (!g)
            return false;
        xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
            m_c, xcb_translate_coordinates(m_c, w, m_root, 0, 0), nullptr);
        width = g->width;
        height = g->height;
        x = t ? t->dst_x : g->x;
        y = t ? t->dst_y : g->y;
        free(g);
        free(t);
        return true;
    }

    void movePointer(int x, int y) {
        xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, std::int16_t(x),
                            std::int16_t(y), 0);
        xcb_flush(m_c);
    }
    void button(bool press) {
        xcb_test_fake_input(m_c, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
        xcb_flush(m_c);
    }
    void discardEvents() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            free(e);
    }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        if (!r)
            die(std::string("cannot intern ") + name);
        const xcb_atom_t a = r->atom;
        free(r);
        return a;
    }
    std::uint32_t windowPid(xcb_window_t w) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_pid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        std::uint32_t pid = 0;
        if (r && xcb_get_property_value_length(r) == 4)
            std::memcpy(&pid, xcb_get_property_value(r), 4);
        free(r);
        return pid;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_protocols = XCB_NONE, m_ping = XCB_NONE, m_pid = XCB_NONE;
    std::uint32_t m_seq = 0;
};

std::string programDir(const std::string& program) {
    char real[PATH_MAX];
    if (!::realpath(program.c_str(), real))
        die("cannot find " + program);
    std::string dir = real;
    return dir.substr(0, dir.rfind('/'));
}

// The program under test, started on the device's pseudo-terminal.
struct Program {
    pid_t pid = -1;
    xcb_window_t window = XCB_NONE;
    std::int64_t startNs = 0;
    std::int64_t mappedNs = 0;

    Program(X& x, const std::string& program, const DevicePty& pty) {
        if (!writeConfig(programDir(program), pty.path))
            die("cannot write config.ini beside " + program);
        x.discardEvents();
        startNs = nowNs();
        pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            const int log = ::open("/dev/null", O_WRONLY);
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        if (pid < 0)
            die("cannot start " + program);
        window = x.waitMapped(pid, 15000, mappedNs);
        if (window == XCB_NONE)
            die(program + " mapped no window within 15 s");
    }
    ~Program() {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }

    // Whether the program holds the device's terminal open.
    bool holds(const std::string& path) const {
        const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
        DIR* d = ::opendir(dir.c_str());
        bool found = false;
        while (d && !found) {
            dirent* e = ::readdir(d);
            if (!e)
                break;
            char target[PATH_MAX] = {};
            const ssize_t n =
                ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
            found = n > 0 && path == target;
        }
        if (d)
            ::closedir(d);
        return found;
    }

    // Libraries of an OpenGL implementation in the process's address space.
    // The small vendor-neutral dispatchers (libGLX.so, libEGL.so,
    // libOpenGL.so) do not count: Debian's libQt6Gui is linked against them,
    // so every Qt program loads them whether it draws with OpenGL or not.
    int openGlLibraries() const {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::string line;
        std::vector<std::string> seen;
        for (const char* name : {"libGLX_", "libEGL_", "libglapi", "_dri.so", "libgallium",
                                 "libLLVM", "libGLESv2", "libvulkan"}) {
            maps.clear();
            maps.seekg(0);
            while (std::getline(maps, line))
                if (line.find(name) != std::string::npos) {
                    std::fprintf(stderr, "orv-bench-x: OpenGL library loaded: %s\n",
                                 line.substr(line.rfind(' ') + 1).c_str());
                    seen.push_back(name);
                    break;
                }
        }
        return int(seen.size());
    }
};

// Lets the fresh window finish its first paints before measuring.
void settle(X& x, const Program& p) {
    sleepMs(500);
    if (x.pingOnce(p.window, 5000) < 0)
        die("the window does not answer pings");
    x.discardEvents();
}

// A program started on a device of its own, by default settled after its
// first paints.
struct Fresh {
    DevicePty pty;
    Program program;

    Fresh(X& x, const std::string& path, bool settled = true) : program(x, path, opened(pty)) {
        if (settled)
            settle(x, program);
    }

private:
    static const DevicePty& opened(DevicePty& d) {
        if (!d.open())
            die("cannot open a pseudo-terminal");
        return d;
    }
};

int startup(const std::string& program, int runs) {
    X x;
    std::vector<double> mapped, rss;
    int withGl = 0, portClosed = 0;
    for (int r = 0; r < runs; ++r) {
        Fresh fresh(x, program, false);
        const DevicePty& pty = fresh.pty;
        const Program& p = fresh.program;
        mapped.push_back(ms(p.mappedNs - p.startNs));
        if (!p.holds(pty.path))
            ++portClosed;
        sleepMs(1000);
        rss.push_back(double(rssKiB(p.pid)) / 1024.0);
        if (p.openGlLibraries() > 0)
            ++withGl;
    }
    result("startup_out_mapped_median_ms", median(mapped));
    result("startup_out_mapped_max_ms", maxOf(mapped));
    result("startup_out_port_not_open_runs", portClosed);
    result("idle_out_rss_median_mib", median(rss));
    result("idle_out_opengl_runs", withGl);
    return 0;
}

struct FloodFigures {
    double drainMs = 0, cpuMs = 0, schedMs = 0, rssKiB = 0, worstPingMs = 0;
    int pings = 0;
};

// One flood into a fresh program. The flood is over when the program's end
// of the terminal is empty and stays so across a ping sent after that: the
// answer means its event loop has also dealt with what it read.
FloodFigures floodOnce(X& x, const std::string& program, const std::string& payload, bool pings) {
    Fresh fresh(x, program);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;

    const long rss0 = rssKiB(p.pid);
    const double cpu0 = cpuMsFromStat(p.pid);
    const double sched0 = cpuMsFromSchedstat(p.pid);
    FloodFigures f;
    std::size_t offset = 0;
    long outstanding = -1; // tag of the ping in flight
    std::int64_t sentNs = 0;
    bool endProbe = false; // the ping in flight was sent with the terminal empty
    std::int64_t endNs = 0;
    const std::int64_t start = nowNs();
    const std::int64_t giveUp = start + 60000000000LL;
    while (!endNs) {
        if (nowNs() > giveUp)
            die("the flood was not drained within 60 s");
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
            if (endProbe && offset == payload.size() && pty.unread() == 0)
                endNs = t;
        }
    }
    f.cpuMs = cpuMsFromStat(p.pid) - cpu0;
    f.schedMs = cpuMsFromSchedstat(p.pid) - sched0;
    f.rssKiB = double(rssKiB(p.pid) - rss0);
    f.drainMs = ms(endNs - start);
    return f;
}

int flood(const std::string& program, int lines, int runs, bool pings) {
    X x;
    const std::string payload = floodPayload(std::uint64_t(lines));
    std::vector<double> drain, cpu, sched, rss, ping;
    for (int r = 0; r < runs; ++r) {
        const FloodFigures f = floodOnce(x, program, payload, pings);
        std::fprintf(stderr,
                     "orv-bench-x: flood %d: drain %.1f ms, cpu %.0f ms (sched %.1f ms), rss +%.0f "
                     "KiB, worst ping %.2f ms of %d\n",
                     r + 1, f.drainMs, f.cpuMs, f.schedMs, f.rssKiB, f.worstPingMs, f.pings);
        drain.push_back(f.drainMs);
        cpu.push_back(f.cpuMs);
        sched.push_back(f.schedMs);
        rss.push_back(f.rssKiB);
        ping.push_back(f.worstPingMs);
    }
    const double perK = double(lines) / 1000.0;
    if (pings) {
        result("flood_out_worst_ping_ms", maxOf(ping));
        result("flood_out_worst_ping_median_ms", median(ping));
        return 0;
    }
    result("flood_out_drain_median_ms", median(drain));
    result("flood_out_cpu_ms_per_1k", median(cpu) / perK);
    result("flood_out_sched_cpu_ms_per_1k", median(sched) / perK);
    result("flood_out_rss_kib_per_1k", median(rss) / perK);
    return 0;
}

int paced(const std::string& program, int seconds, int hz) {
    X x;
    Fresh fresh(x, program);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;
    const int lines = seconds * hz;
    const std::int64_t period = 1000000000 / hz;
    const long rss0 = rssKiB(p.pid);
    const double cpu0 = cpuMsFromStat(p.pid);
    const double sched0 = cpuMsFromSchedstat(p.pid);
    const std::int64_t start = nowNs();
    for (int i = 1; i <= lines; ++i) {
        sleepUntilNs(start + std::int64_t(i - 1) * period);
        const std::string line = floodLine(std::uint64_t(i));
        if (!pty.writeAll(line.data(), line.size()))
            die("the program stopped reading");
    }
    // The last line read and handled, as a ping after it shows.
    while (pty.unread() != 0)
        sleepMs(1);
    if (x.pingOnce(p.window, 5000) < 0)
        die("the window stopped answering");
    const double perK = double(lines) / 1000.0;
    result("paced_out_cpu_ms_per_1k", (cpuMsFromStat(p.pid) - cpu0) / perK);
    result("paced_out_sched_cpu_ms_per_1k", (cpuMsFromSchedstat(p.pid) - sched0) / perK);
    result("paced_out_rss_kib_per_1k", double(rssKiB(p.pid) - rss0) / perK);
    return 0;
}

// How long a click holds the button down.
constexpr int holdMs = 30;

int click(const std::string& program, int count) {
    X x;
    Fresh fresh(x, program);
    DevicePty& pty = fresh.pty;
    Program& p = fresh.program;
    int wx = 0, wy = 0, ww = 0, wh = 0;
    if (!x.geometry(p.window, wx, wy, ww, wh))
        die("cannot read the window's geometry");
    const int menuBar = wh - clientHeight;
    const int keysX[2] = {wx + key1X, wx + key2X};
    const int keysY = wy + menuBar + keyY;
    const std::string expected[2] = {std::string("\x0B\x00\x02\x50\x5D", 5),
                                     std::string("\x0B\x00\x03\x50\x5E", 5)};
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
    result("click_out_wrong_frames", wrong);
    result("click_out_median_ms", median(latency));
    result("click_out_p99_ms", percentile(latency, 0.99));
    result("click_out_max_ms", maxOf(latency));
    return 0;
}

int arg(int argc, char** argv, int i, int fallback) {
    return argc > i ? std::atoi(argv[i]) : fallback;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: orv-bench-x PROGRAM startup RUNS | flood LINES RUNS [ping] | "
                   "paced SECONDS HZ | click COUNT\n",
                   stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // The program's session log goes to a folder thrown away afterwards.
    char state[] = "/tmp/orv-bench-state-XXXXXX";
    if (!::mkdtemp(state))
        die("cannot make a temporary folder");
    ::setenv("XDG_STATE_HOME", state, 1);
    const std::string program = argv[1];
    const std::string what = argv[2];
    int code = 2;
    try {
        if (what == "startup")
            code = startup(program, arg(argc, argv, 3, 20));
        else if (what == "flood")
            code = flood(program, arg(argc, argv, 3, 100000), arg(argc, argv, 4, 5),
                         argc > 5 && std::string(argv[5]) == "ping");
        else if (what == "paced")
            code = paced(program, arg(argc, argv, 3, 20), arg(argc, argv, 4, 100));
        else if (what == "click")
            code = click(program, arg(argc, argv, 3, 1000));
        else
            std::fprintf(stderr, "orv-bench-x: unknown scenario %s\n", what.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orv-bench-x: %s\n", e.what());
        code = 1;
    }
    const std::string cleanup = std::string("rm -rf '") + state + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "orv-bench-x: could not remove %s\n", state);
    return code;
}
