// orv-bench-inproc: the real main window (made by Windows, as the program
// makes it) inside this process, its port one end of a pseudo-terminal whose
// device end this program plays. Measures what only the inside can see: the
// bytes in the monitor, when a line's row reaches the screen, the event loop's
// lateness, and the monitor at a million lines.
//
//   orv-bench-inproc flood [LINES]          full-speed device, then checks every byte
//   orv-bench-inproc paced [SECONDS] [HZ]   one write per line at a steady rate
//   orv-bench-inproc bigsession [LINES] [nolog]  lines appended, the last selected
//                                           after each; nolog without the session log
//   orv-bench-inproc click [COUNT]          key release to its last byte at the device end
//
// Figures are "RESULT key value" lines on stdout.

#include "app/commandbutton.h"
#include "app/mainwindow.h"
#include "app/windows.h"
#include "common.h"
#include "settings/configuration.h"

#include <QApplication>
#include <QEventLoop>
#include <QListView>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <thread>

using namespace bench;

namespace {

// Calls a hook each time the outermost event handler returns, which is when a
// repaint done inside it has been handed to the window system.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    std::function<void()> afterOuterEvent;

    bool notify(QObject* receiver, QEvent* event) override {
        ++m_depth;
        const bool handled = QApplication::notify(receiver, event);
        if (--m_depth == 0 && afterOuterEvent)
            afterOuterEvent();
        return handled;
    }

private:
    int m_depth = 0;
};

// The view's own kind of delegate, noting which rows it actually drew.
class RecordingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    mutable std::vector<int> rows;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        rows.push_back(index.row());
        QStyledItemDelegate::paint(painter, option, index);
    }
};

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// One repaint handed out: when, and the highest row it drew.
struct Pass {
    std::int64_t ns;
    int maxRow;
};

struct Harness {
    BenchApp& app;
    QTemporaryDir dir;
    DevicePty pty;
    Windows windows;
    MainWindow* window = nullptr;
    QListView* view = nullptr;
    RecordingDelegate* delegate = nullptr;
    // Rows drawn in each pass, while recording.
    std::function<void(std::int64_t, const std::vector<int>&)> onShown;

    explicit Harness(BenchApp& a) : app(a) {}

    bool start() {
        if (!dir.isValid() || !pty.open())
            return fail("cannot make a temporary folder or a pseudo-terminal");
        const std::string d = dir.path().toStdString();
        if (!writeConfig(d, pty.path))
            return fail("cannot write config.ini");
        setProgramDirectoryForTesting(dir.path());
        windows.endProgram = [] {};
        window = windows.showMain();
        if (!QTest::qWaitForWindowExposed(window))
            return fail("the main window was never exposed");
        if (!window->session().portOpen())
            return fail("the program did not open " + pty.path);
        view = window->findChild<QListView*>(QStringLiteral("lstComm"));
        if (!view)
            return fail("no lstComm in the main window");
        delegate = new RecordingDelegate(view);
        view->setItemDelegate(delegate);
        app.afterOuterEvent = [this] {
            if (delegate->rows.empty())
                return;
            const std::int64_t t = nowNs();
            if (onShown)
                onShown(t, delegate->rows);
            delegate->rows.clear();
        };
        settle(300);
        return true;
    }

    const MonitorModel& model() { return window->session().monitor(); }

    // Runs the event loop for msecs milliseconds.
    void settle(int msecs) {
        QEventLoop loop;
        QTimer::singleShot(msecs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Runs the event loop until done() or timeoutMs; false on timeout. done()
    // is asked every checkMs: figures are timed where they happen, never here.
    bool runUntil(const std::function<bool()>& done, int timeoutMs, int checkMs = 10) {
        if (done())
            return true;
        const std::int64_t end = nowNs() + std::int64_t(timeoutMs) * 1000000;
        bool met = false;
        QEventLoop loop;
        QTimer check;
        check.setTimerType(Qt::PreciseTimer);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            met = done();
            if (met || nowNs() > end)
                loop.quit();
        });
        check.start(checkMs);
        loop.exec();
        return met;
    }

    static bool fail(const std::string& why) {
        std::fprintf(stderr, "orv-bench-inproc: %s\n", why.c_str());
        return false;
    }
};

// Everything the monitor holds as replies, in order, without the prefix.
QByteArray replyBytes(const MonitorModel& m) {
    static const QByteArray prefix("Reply: ");
    QByteArray out;
    for (int r = 0; r < m.count(); ++r) {
        const QByteArray& line = m.at(r).text;
        if (line.startsWith(prefix))
            out.append(line.constData() + prefix.size(), line.size() - prefix.size());
    }
    return out;
}

// A 10 ms timer that notes how late it fires: the window cannot answer
// anything for longer than its worst lateness.
struct LatenessProbe {
    QTimer timer;
    std::int64_t last = 0;
    double worstMs = 0;
    bool measuring = false;

    LatenessProbe() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const std::int64_t now = nowNs();
            if (measuring && last)
                worstMs = std::max(worstMs, ms(now - last) - 10.0);
            last = now;
        });
        timer.start();
    }
};

int flood(Harness& h, int lines) {
    const std::string payload = floodPayload(std::uint64_t(lines));
    qint64 received = 0;
    std::int64_t allInNs = 0;
    int lastRow = -1;
    std::vector<Pass> passes;
    QObject::connect(&h.window->session(), &MainSession::replyReceived, h.window,
                     [&](const QByteArray& reply) {
                         received += reply.size();
                         if (received >= qint64(payload.size()) && !allInNs) {
                             allInNs = nowNs();
                             lastRow = h.model().count() - 1;
                         }
                     });
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        passes.push_back({t, *std::max_element(rows.begin(), rows.end())});
    };
    LatenessProbe probe;
    h.settle(100);

    std::atomic<std::int64_t> firstNs{0};
    std::atomic<bool> written{false};
    probe.measuring = true;
    const double cpu0 = threadCpuMs();
    std::thread writer([&] {
        firstNs = nowNs();
        written = h.pty.writeAll(payload.data(), payload.size(), 20000);
    });
    auto shownAt = [&]() -> std::int64_t {
        if (lastRow < 0)
            return 0;
        for (const Pass& p : passes)
            if (p.ns >= allInNs && p.maxRow >= lastRow)
                return p.ns;
        return 0;
    };
    const bool done = h.runUntil([&] { return shownAt() != 0; }, 30000);
    const double cpu1 = threadCpuMs();
    probe.measuring = false;
    writer.join();
    if (!done || !written)
        return Harness::fail("the flood did not reach the screen within 30 s"), 1;

    const QByteArray got = replyBytes(h.model());
    const bool same = got == QByteArray::fromStdString(payload);
    if (!same)
        std::fprintf(stderr, "orv-bench-inproc: monitor holds %lld reply bytes, %zu were sent%s\n",
                     static_cast<long long>(got.size()), payload.size(),
                     got.size() == qsizetype(payload.size()) ? " (different bytes)" : "");
    const double perK = double(lines) / 1000.0;
    result("flood_in_bytes_ok", same ? 1 : 0);
    result("flood_in_monitor_lines", h.model().count());
    result("flood_in_drain_ms", ms(shownAt() - firstNs));
    result("flood_in_model_ms", ms(allInNs - firstNs));
    result("flood_in_worst_timer_late_ms", probe.worstMs);
    result("flood_in_main_thread_cpu_ms_per_1k", (cpu1 - cpu0) / perK);
    return same ? 0 : 1;
}

int paced(Harness& h, int seconds, int hz) {
    const int lines = seconds * hz;
    const std::int64_t period = 1000000000 / hz;
    std::vector<std::int64_t> writeNs(std::size_t(lines) + 1, 0);
    std::map<int, std::int64_t> firstShown;
    std::size_t passes = 0, rowsDrawn = 0;
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        ++passes;
        rowsDrawn += rows.size();
        for (int r : rows)
            firstShown.emplace(r, t);
    };
    LatenessProbe probe;
    h.settle(100);

    std::atomic<bool> written{true};
    probe.measuring = true;
    const double cpu0 = threadCpuMs();
    std::thread writer([&] {
        const std::int64_t start = nowNs();
        for (int i = 1; i <= lines; ++i) {
            sleepUntilNs(start + std::int64_t(i - 1) * period);
            const std::string line = floodLine(std::uint64_t(i));
            if (!h.pty.writeAll(line.data(), line.size(), 5000)) {
                written = false;
                return;
            }
            writeNs[std::size_t(i)] = nowNs();
        }
    });
    // Which row holds each line number, read back from the monitor.
    std::vector<int> rowOf(std::size_t(lines) + 1, -1);
    auto mapRows = [&] {
        for (int r = 0; r < h.model().count(); ++r) {
            const QByteArray& text = h.model().at(r).text;
            for (qsizetype at = text.indexOf("0B 00 0B "); at >= 0;
                 at = text.indexOf("0B 00 0B ", at + 1)) {
                const int n = text.mid(at + 9, 6).toInt();
                if (n >= 1 && n <= lines && rowOf[std::size_t(n)] < 0)
                    rowOf[std::size_t(n)] = r;
            }
        }
    };
    bool done = h.runUntil(
        [&] {
            const int last = h.model().count() - 1;
            return last >= 0 &&
                   h.model().at(last).text.contains(floodLine(std::uint64_t(lines)).c_str()) &&
                   firstShown.count(last);
        },
        seconds * 1000 + 10000);
    const double cpu1 = threadCpuMs();
    probe.measuring = false;
    writer.join();
    if (!done || !written)
        return Harness::fail("the paced lines did not all reach the screen"), 1;
    mapRows();

    std::vector<double> latency;
    int missing = 0;
    for (int n = 1; n <= lines; ++n) {
        const int r = rowOf[std::size_t(n)];
        const auto shown = firstShown.find(r);
        if (r < 0 || shown == firstShown.end()) {
            ++missing;
            continue;
        }
        latency.push_back(ms(shown->second - writeNs[std::size_t(n)]));
    }
    result("paced_in_repaints_per_s", double(passes) / seconds);
    result("paced_in_rows_drawn_per_repaint", passes ? double(rowsDrawn) / double(passes) : 0);
    result("paced_in_lines_missing", missing);
    result("paced_in_latency_median_ms", median(latency));
    result("paced_in_latency_p99_ms", percentile(latency, 0.99));
    result("paced_in_latency_max_ms", maxOf(latency));
    result("paced_in_worst_timer_late_ms", probe.worstMs);
    result("paced_in_main_thread_cpu_ms_per_1k", (cpu1 - cpu0) / (double(lines) / 1000.0));
    return missing == 0 ? 0 : 1;
}

std::size_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// With withLog false, the session log's handler is detached from the monitor
// first: a diagnostic that shows the monitor's own share of the time.
int bigSession(Harness& h, int lines, bool withLog) {
    // Filled directly, bypassing the link, to time the monitor and the log alone.
    auto& m = const_cast<MonitorModel&>(h.model());
    if (!withLog)
        QObject::disconnect(&m, &MonitorModel::lineAppended, &h.window->session(), nullptr);
    const std::string key = withLog ? "big_in_" : "big_in_nolog_";
    auto report = [&](const char* name, double value) { result((key + name).c_str(), value); };
    const int before = m.count();
    const int lastRow = before + lines - 1;
    std::int64_t shownNs = 0;
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        if (!shownNs && *std::max_element(rows.begin(), rows.end()) >= lastRow)
            shownNs = t;
    };
    h.settle(100);
    malloc_trim(0);
    const long rss0 = rssKiB(getpid());
    const std::size_t heap0 = heapBytes();

    const std::int64_t t0 = nowNs();
    char text[64];
    for (int i = 1; i <= lines; ++i) {
        const int n = std::snprintf(text, sizeof text, "Reply: 0B 00 0B %06d\r\n", i % 1000000);
        m.append(QByteArray(text, n));
        m.selectLast();
        // A busy device still lets the event loop turn now and then.
        if (i % 1000 == 0)
            QCoreApplication::processEvents();
    }
    if (!h.runUntil([&] { return shownNs != 0; }, 60000))
        return Harness::fail("the last of the big session's lines never reached the screen"), 1;
    const std::int64_t t1 = shownNs;
    const long rss1 = rssKiB(getpid());
    const std::size_t heap1 = heapBytes();

    // Scrolling: a random row to the top of the view, timed until drawn.
    int target = -1;
    std::int64_t drawnNs = 0;
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        if (!drawnNs && std::find(rows.begin(), rows.end(), target) != rows.end())
            drawnNs = t;
    };
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pick(0, m.count() - 1);
    std::vector<double> scroll;
    for (int i = 0; i < 200; ++i) {
        target = pick(random);
        drawnNs = 0;
        const std::int64_t start = nowNs();
        h.view->scrollTo(m.index(target), QAbstractItemView::PositionAtTop);
        if (!h.runUntil([&] { return drawnNs != 0; }, 5000))
            return Harness::fail("a row scrolled to was never drawn"), 1;
        scroll.push_back(ms(drawnNs - start));
    }

    report("total_ms", ms(t1 - t0));
    report("rss_bytes_per_line", double(rss1 - rss0) * 1024.0 / lines);
    report("heap_bytes_per_line", (double(heap1) - double(heap0)) / lines);
    report("scroll_median_ms", median(scroll));
    report("scroll_max_ms", maxOf(scroll));
    return 0;
}

// How long a click holds the button down.
constexpr int holdMs = 30;

int click(Harness& h, int count) {
    QList<CommandButton*> keys(2, nullptr);
    for (CommandButton* b : h.window->findChildren<CommandButton*>(QStringLiteral("cmdKeyPress"))) {
        const int index = b->property("Index").toInt();
        if (index == 0 || index == 1)
            keys[index] = b;
    }
    if (!keys[0] || !keys[1])
        return Harness::fail("keys 1 and 2 not found"), 1;
    const QByteArray expected[2] = {QByteArray("\x0B\x00\x02\x50\x5D", 5),
                                    QByteArray("\x0B\x00\x03\x50\x5E", 5)};

    // The device end: the moment each whole frame can be read there.
    std::vector<std::atomic<std::int64_t>> frameNs(static_cast<std::size_t>(count));
    std::vector<QByteArray> frames(static_cast<std::size_t>(count));
    std::atomic<int> seen{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        QByteArray pending;
        char buf[256];
        while (!stop && seen < count) {
            pollfd p{h.pty.master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(h.pty.master, buf, sizeof buf);
            if (n <= 0)
                continue;
            const std::int64_t t = nowNs();
            pending.append(buf, n);
            while (pending.size() >= 5 && seen < count) {
                const int i = seen;
                frames[std::size_t(i)] = pending.left(5);
                frameNs[std::size_t(i)] = t;
                pending.remove(0, 5);
                seen = i + 1;
            }
        }
    });

    std::vector<double> latency;
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        CommandButton* key = keys[i % 2];
        // A click is held for a moment, as a hand does; it is complete, and
        // the frame due, when the button is released.
        QTest::mousePress(key, Qt::LeftButton, {}, key->rect().center());
        h.settle(holdMs);
        const std::int64_t start = nowNs();
        QTest::mouseRelease(key, Qt::LeftButton, {}, key->rect().center());
        if (!h.runUntil([&] { return seen > i; }, 2000, 1)) {
            stop = true;
            reader.join();
            return Harness::fail("a click sent nothing within 2 s"), 1;
        }
        latency.push_back(ms(frameNs[std::size_t(i)] - start));
        if (frames[std::size_t(i)] != expected[i % 2])
            ++wrong;
        // The operator's next click comes later; let the window repaint meanwhile.
        h.settle(10);
    }
    stop = true;
    reader.join();
    result("click_in_wrong_frames", wrong);
    result("click_in_median_ms", median(latency));
    result("click_in_p99_ms", percentile(latency, 0.99));
    result("click_in_max_ms", maxOf(latency));
    return wrong == 0 ? 0 : 1;
}

int argInt(int argc, char** argv, int i, int fallback) {
    return argc > i ? std::atoi(argv[i]) : fallback;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: orv-bench-inproc flood [LINES] | paced [SECONDS] [HZ] | "
                   "bigsession [LINES] [nolog] | click [COUNT]\n",
                   stderr);
        return 2;
    }
    // The session log goes somewhere that is thrown away afterwards.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    BenchApp app(argc, argv);
    Harness h(app);
    if (!h.start())
        return 1;
    const std::string what = argv[1];
    int code = 2;
    if (what == "flood")
        code = flood(h, argInt(argc, argv, 2, 100000));
    else if (what == "paced")
        code = paced(h, argInt(argc, argv, 2, 20), argInt(argc, argv, 3, 100));
    else if (what == "bigsession")
        code = bigSession(h, argInt(argc, argv, 2, 1000000),
                          !(argc > 3 && std::string(argv[3]) == "nolog"));
    else if (what == "click")
        code = click(h, argInt(argc, argv, 2, 1000));
    else
        std::fprintf(stderr, "orv-bench-inproc: unknown scenario %s\n", what.c_str());
    app.afterOuterEvent = nullptr;
    return code;
}
