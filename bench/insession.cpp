// The Session Monitor's targets, against the real main window in this
// process (see harness.h): a filter over ten million rows, a million-line
// log opened, a paced stream followed, and a flood's memory with it open.

#include "insession.h"

#include "app/sessionmonitor.h"
#include "app/sessionmonitorview.h"
#include "app/shownrows.h"
#include "session/logfile.h"

#include <QAction>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTest>
#include <atomic>
#include <fstream>
#include <thread>

namespace bench {

namespace {

// A 10 ms timer that notes how late it fires: the window answers nothing for
// longer than its worst lateness.
struct Stalls {
    QTimer timer;
    std::int64_t last = 0;
    double worstMs = 0;

    Stalls() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const std::int64_t now = nowNs();
            if (last)
                worstMs = std::max(worstMs, ms(now - last) - 10.0);
            last = now;
        });
        timer.start(10);
    }
};

// The first time a view's rows were painted after armed, with rows in it.
struct FirstPaint : QObject {
    SessionMonitorView* view;
    std::int64_t at = 0;
    bool armed = false;

    explicit FirstPaint(SessionMonitorView* v) : view(v) {
        v->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && armed && !at && view->shown().count() > 0)
            at = nowNs();
        return false;
    }
};

long statusKiB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

SessionMonitor* openSessionMonitor(Harness& h) {
    h.window->findChild<QAction*>(QStringLiteral("mnuSessionMonitor"))->trigger();
    auto* w = h.window->findChild<SessionMonitor*>(QStringLiteral("sessionMonitor"));
    if (w && QTest::qWaitForWindowExposed(w))
        return w;
    Harness::fail("the Session Monitor did not open");
    return nullptr;
}

// Floods lines numbered from 1 to count into the program, in pieces, and
// waits until the monitor holds the last one.
bool floodLines(Harness& h, std::uint64_t count) {
    std::atomic<bool> written{false};
    std::thread writer([&] {
        std::string chunk;
        for (std::uint64_t i = 1; i <= count; ++i) {
            chunk += floodLine(i);
            if (chunk.size() >= (1 << 20) || i == count) {
                if (!h.pty.writeAll(chunk.data(), chunk.size(), 20000))
                    return;
                chunk.clear();
            }
        }
        written = true;
    });
    const QByteArray last = QByteArray::fromStdString(floodLine(count));
    const bool done = h.runUntil(
        [&] {
            const MonitorModel& m = h.model();
            return m.count() > 0 && m.rowCount() == m.count() &&
                   m.at(m.count() - 1).text.endsWith(last);
        },
        600000, 50);
    writer.join();
    return done && written;
}

} // namespace

int sessionFilter(Harness& h, int rows) {
    if (!floodLines(h, std::uint64_t(rows)))
        return Harness::fail("the flood did not reach the monitor"), 1;
    SessionMonitor* w = openSessionMonitor(h);
    if (!w)
        return 1;
    h.settle(300);
    FirstPaint first(w->view());
    Stalls stalls;
    h.settle(50);
    stalls.worstMs = 0;
    // About one row in 2,500 holds it, spread over the whole session.
    w->findChild<QLineEdit*>(QStringLiteral("txtFilter"))->setText(QStringLiteral("1234"));
    first.armed = true;
    const std::int64_t start = nowNs();
    w->applyFilter();
    std::int64_t wholeNs = 0;
    const bool done = h.runUntil(
        [&] {
            if (!wholeNs && !w->shown().filtering())
                wholeNs = nowNs();
            return wholeNs && first.at;
        },
        120000, 1);
    h.settle(100);
    if (!done)
        return Harness::fail("the filter did not end within 120 s"), 1;
    result("sessionfilter_in_rows", double(h.model().count()));
    result("sessionfilter_in_matches", double(w->shown().count()));
    result("sessionfilter_in_first_ms", ms(first.at - start));
    result("sessionfilter_in_whole_ms", ms(wholeNs - start));
    result("sessionfilter_in_worst_stall_ms", stalls.worstMs);
    result("sessionfilter_in_index_mib", double(w->shown().indexBytes()) / 1048576.0);
    return 0;
}

int sessionLog(Harness& h, int lines) {
    // A day's chatter: sends, replies, now and then a NAK.
    const QString path = h.dir.filePath(QStringLiteral("2026-12-07.log"));
    {
        std::ofstream f(path.toStdString(), std::ios::trunc);
        char line[96];
        for (int i = 0; i < lines; ++i) {
            const int ms = i % 1000, s = (i / 1000) % 60, m = (i / 60000) % 60, hr = i / 3600000;
            if (i % 2 == 0)
                std::snprintf(line, sizeof line,
                              "2026-12-07 %02d:%02d:%02d.%03d  Key: 5 - 0B 02 02 50 5F\n", hr, m, s,
                              ms);
            else
                std::snprintf(line, sizeof line,
                              "2026-12-07 %02d:%02d:%02d.%03d  Reply: %s\\r\\n\n", hr, m, s, ms,
                              i % 997 == 1 ? "0B FF 0A" : "0B 00 0B");
            f << line;
        }
    }
    h.settle(200);
    const long anon0 = statusKiB("RssAnon");
    const std::int64_t start = nowNs();
    QString error;
    SessionMonitor* w = SessionMonitor::openLog(path, h.window, &error);
    if (!w)
        return Harness::fail(error.toStdString()), 1;
    FirstPaint first(w->view());
    first.armed = true;
    w->show();
    Stalls stalls;
    std::int64_t indexedNs = 0;
    const auto* rows = qobject_cast<const LogRows*>(&w->shown().rows());
    const bool done = h.runUntil(
        [&] {
            if (!indexedNs && rows->file().indexed())
                indexedNs = nowNs();
            return indexedNs && first.at;
        },
        60000, 1);
    if (!done)
        return Harness::fail("the log was not shown within 60 s"), 1;
    h.settle(300);
    const long anon1 = statusKiB("RssAnon");
    result("sessionlog_in_lines", double(rows->file().lineCount()));
    result("sessionlog_in_first_rows_ms", ms(first.at - start));
    result("sessionlog_in_indexed_ms", ms(indexedNs - start));
    result("sessionlog_in_worst_stall_ms", stalls.worstMs);
    result("sessionlog_in_index_bytes_per_line",
           double(rows->file().indexBytes()) / double(rows->file().lineCount()));
    result("sessionlog_in_anon_growth_bytes_per_line",
           double(anon1 - anon0) * 1024.0 / double(rows->file().lineCount()));
    return 0;
}

// Process CPU while lines come at hz for seconds, per 1,000 lines.
static double pacedCpu(Harness& h, int seconds, int hz) {
    const int lines = seconds * hz;
    const std::int64_t period = 1000000000 / hz;
    h.settle(500);
    timespec t0{}, t1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
    std::thread writer([&] {
        const std::int64_t start = nowNs();
        for (int i = 1; i <= lines; ++i) {
            sleepUntilNs(start + std::int64_t(i - 1) * period);
            const std::string line = tenByteLine(std::uint64_t(i));
            h.pty.writeAll(line.data(), line.size(), 5000);
        }
    });
    h.runUntil([&] { return false; }, seconds * 1000 + 500, 100);
    writer.join();
    h.settle(300);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
    const double cpu =
        (double(t1.tv_sec - t0.tv_sec) * 1e3 + double(t1.tv_nsec - t0.tv_nsec) / 1e6);
    return cpu / (double(lines) / 1000.0);
}

int sessionPaced(Harness& h, int seconds, int hz) {
    const double alone = pacedCpu(h, seconds, hz);
    SessionMonitor* w = openSessionMonitor(h);
    if (!w)
        return 1;
    const double with = pacedCpu(h, seconds, hz);
    result("sessionpaced_in_alone_cpu_ms_per_1k", alone);
    result("sessionpaced_in_with_cpu_ms_per_1k", with);
    result("sessionpaced_in_rise_ms_per_1k", with - alone);
    return 0;
}

int sessionFlood(Harness& h, int lines) {
    SessionMonitor* w = openSessionMonitor(h);
    if (!w)
        return 1;
    h.settle(500);
    const long rss0 = statusKiB("VmRSS");
    if (!floodLines(h, std::uint64_t(lines)))
        return Harness::fail("the flood did not reach the monitor"), 1;
    h.runUntil([&] { return w->shown().count() == h.model().rowCount(); }, 10000);
    h.settle(500);
    result("sessionflood_in_growth_mib", double(statusKiB("VmRSS") - rss0) / 1024.0);
    result("sessionflood_in_rows_shown", double(w->shown().count()));
    return 0;
}

} // namespace bench
