#include "inscenarios.h"

#include "app/commandbutton.h"
#include "session/sessionlog.h"

#include <QAction>
#include <QDate>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <map>
#include <random>
#include <thread>

namespace bench {

namespace {

int maxRow(const std::vector<int>& rows) {
    return *std::max_element(rows.begin(), rows.end());
}

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

// Whether the end of the session log holds text.
bool logEndsWith(const QByteArray& text) {
    QFile f(SessionLog::pathFor(QDate::currentDate()));
    if (!f.open(QIODevice::ReadOnly) || f.size() < 200)
        return false;
    f.seek(f.size() - 200);
    return f.readAll().contains(text);
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

// Scrolling a held session: a random row into view, timed until drawn.
void scrolling(Harness& h, const std::string& prefix) {
    int target = -1;
    std::int64_t drawnNs = 0;
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        if (!drawnNs && std::find(rows.begin(), rows.end(), target) != rows.end())
            drawnNs = t;
    };
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pick(0, h.view->rowCount() - 1);
    std::vector<double> scroll;
    for (int i = 0; i < 200; ++i) {
        target = pick(random);
        drawnNs = 0;
        const std::int64_t start = nowNs();
        const int before = h.view->verticalScrollBar()->value();
        h.view->scrollToRow(target);
        // A row already in view is not drawn again; only real scrolls count.
        if (h.view->verticalScrollBar()->value() == before) {
            --i;
            continue;
        }
        if (!h.runUntil([&] { return drawnNs != 0; }, 5000))
            return void(Harness::fail("a row scrolled to was never drawn"));
        scroll.push_back(ms(drawnNs - start));
    }
    result((prefix + "scroll_median_ms").c_str(), median(scroll));
    result((prefix + "scroll_max_ms").c_str(), maxOf(scroll));
}

} // namespace

int flood(Harness& h, int lines, bool bigSession) {
    const std::string prefix = bigSession ? "big_in_" : "flood_in_";
    const std::string payload = floodPayload(std::uint64_t(lines));
    const QByteArray lastLogged =
        QByteArray::fromStdString(floodLine(std::uint64_t(lines))).replace("\r\n", "\\r\\n");
    qint64 received = 0;
    std::int64_t allInNs = 0, loggedNs = 0, shownNs = 0;
    QObject::connect(&h.window->session(), &MainSession::replyReceived, h.window,
                     [&](const QByteArray& reply) {
                         received += reply.size();
                         if (received >= qint64(payload.size()) && !allInNs)
                             allInNs = nowNs();
                     });
    // The last line is on screen when a repaint after it came in drew the last row.
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        if (allInNs && !shownNs && maxRow(rows) >= h.view->rowCount() - 1)
            shownNs = t;
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
    const bool done = h.runUntil(
        [&] {
            if (bigSession && allInNs && !loggedNs && logEndsWith(lastLogged))
                loggedNs = nowNs();
            return shownNs && (!bigSession || loggedNs);
        },
        60000);
    const double cpu1 = threadCpuMs();
    probe.measuring = false;
    writer.join();
    if (!done || !written)
        return Harness::fail("the flood did not reach the screen (and the log) within 60 s"), 1;

    const QByteArray got = replyBytes(h.model());
    // A bounded monitor holds the end of the flood, within its bounds of
    // lines and bytes.
    const MonitorModel& m = h.model();
    const bool same =
        QByteArray::fromStdString(payload).endsWith(got) &&
        (got.size() == qsizetype(payload.size()) ||
         (m.droppedCount() > 0 && m.count() <= m.lineLimit() && m.heldBytes() <= m.byteLimit()));
    if (!same)
        std::fprintf(stderr, "orv-bench-inproc: monitor holds %lld reply bytes, %zu were sent\n",
                     static_cast<long long>(got.size()), payload.size());
    result((prefix + "bytes_ok").c_str(), same ? 1 : 0);
    result((prefix + "monitor_lines").c_str(), h.model().count());
    result((prefix + "drain_ms").c_str(), ms(shownNs - firstNs));
    if (bigSession) {
        result((prefix + "logged_ms").c_str(), ms(loggedNs - firstNs));
        result((prefix + "total_ms").c_str(), ms(std::max(shownNs, loggedNs) - firstNs));
        scrolling(h, prefix);
    } else {
        result((prefix + "worst_timer_late_ms").c_str(), probe.worstMs);
        result((prefix + "main_thread_cpu_ms_per_1k").c_str(),
               (cpu1 - cpu0) / (double(lines) / 1000.0));
    }
    return same ? 0 : 1;
}

namespace {

// Writes lines numbered 1..count, line n at start + (n-1) * periodNs, and
// measures from each write to the first repaint that drew its row.
struct Timed {
    std::vector<double> latency;
    int missing = 0;
    std::size_t passes = 0, rowsDrawn = 0;
    double cpuMs = 0;
};

Timed timedLines(Harness& h, int count, std::int64_t periodNs) {
    std::vector<std::int64_t> writeNs(std::size_t(count) + 1, 0);
    // When each line number was first drawn; rows are mapped to numbers as
    // they are drawn, since older rows may leave meanwhile.
    std::map<int, std::int64_t> shownNs;
    Timed out;
    h.onShown = [&](std::int64_t t, const std::vector<int>& rows) {
        ++out.passes;
        out.rowsDrawn += rows.size();
        for (int r : rows) {
            const MonitorModel::Line* line = h.model().shownLine(r);
            // Every line the row holds is on screen with it.
            for (qsizetype at = line ? line->text.indexOf("0B 00 0B ") : -1; at >= 0;
                 at = line->text.indexOf("0B 00 0B ", at + 9))
                shownNs.emplace(line->text.mid(at + 9, 6).toInt(), t);
        }
    };
    h.settle(100);
    std::atomic<bool> written{true};
    const double cpu0 = threadCpuMs();
    std::thread writer([&] {
        const std::int64_t start = nowNs();
        for (int i = 1; i <= count; ++i) {
            sleepUntilNs(start + std::int64_t(i - 1) * periodNs);
            const std::string line = floodLine(std::uint64_t(i));
            writeNs[std::size_t(i)] = nowNs();
            if (!h.pty.writeAll(line.data(), line.size(), 5000))
                return void(written = false);
        }
    });
    h.runUntil([&] { return shownNs.count(count) > 0; },
               int(std::int64_t(count) * periodNs / 1000000) + 10000);
    out.cpuMs = threadCpuMs() - cpu0;
    writer.join();
    for (int n = 1; n <= count; ++n) {
        const auto shown = shownNs.find(n);
        if (shown == shownNs.end())
            ++out.missing;
        else
            out.latency.push_back(ms(shown->second - writeNs[std::size_t(n)]));
    }
    return out;
}

} // namespace

int paced(Harness& h, int seconds, int hz) {
    const int lines = seconds * hz;
    LatenessProbe probe;
    probe.measuring = true;
    const Timed t = timedLines(h, lines, 1000000000 / hz);
    result("paced_in_repaints_per_s", double(t.passes) / seconds);
    result("paced_in_rows_drawn_per_repaint",
           t.passes ? double(t.rowsDrawn) / double(t.passes) : 0);
    result("paced_in_lines_missing", t.missing);
    result("paced_in_latency_median_ms", median(t.latency));
    result("paced_in_latency_p99_ms", percentile(t.latency, 0.99));
    result("paced_in_latency_max_ms", maxOf(t.latency));
    if (t.missing)
        std::fprintf(stderr, "orv-bench-inproc: %d lines never drawn\n", t.missing);
    result("paced_in_worst_timer_late_ms", probe.worstMs);
    result("paced_in_main_thread_cpu_ms_per_1k", t.cpuMs / (double(lines) / 1000.0));
    return t.missing == 0 ? 0 : 1;
}

int quiet(Harness& h, int count, int gapMs) {
    const Timed t = timedLines(h, count, std::int64_t(gapMs) * 1000000);
    result("quiet_in_lines_missing", t.missing);
    result("quiet_in_latency_median_ms", median(t.latency));
    result("quiet_in_latency_p99_ms", percentile(t.latency, 0.99));
    return t.missing == 0 ? 0 : 1;
}

int click(Harness& h, int count) {
    QList<CommandButton*> keys(2, nullptr);
    for (CommandButton* b : h.window->findChildren<CommandButton*>(QStringLiteral("cmdKeyPress"))) {
        const int index = b->property("Index").toInt();
        if (index == 0 || index == 1)
            keys[index] = b;
    }
    if (!keys[0] || !keys[1])
        return Harness::fail("keys 1 and 2 not found"), 1;
    const QByteArray expected[2] = {QByteArray::fromStdString(keyFrame(0)),
                                    QByteArray::fromStdString(keyFrame(1))};

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

// Peak resident memory of this process in MiB (VmHWM).
static double peakRssMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

int bigSequence(Harness& h, int mib) {
    // Key presses and their expects, short steps, written in pieces so that
    // the bench's own copy does not count in the peak.
    const QString path = h.dir.filePath(QStringLiteral("big.seq"));
    QFile file(path);
    const QByteArray chunk = QByteArray("key 1\nexpect ACK\n").repeated(4096);
    if (!file.open(QIODevice::WriteOnly))
        return Harness::fail("cannot write the sequence file"), 1;
    for (qint64 left = qint64(mib) * 1024 * 1024 / chunk.size(); left > 0; --left)
        file.write(chunk);
    file.close();
    LatenessProbe probe;
    h.settle(100);
    const double before = peakRssMiB();
    probe.measuring = true;
    const std::int64_t start = nowNs();
    h.window->runSequenceFile(path);
    const bool started = h.runUntil([&] { return h.window->sequenceRunning(); }, 120000, 1);
    const std::int64_t runningNs = nowNs();
    h.settle(200);
    probe.measuring = false;
    if (auto* stop = h.window->findChild<QAction*>(QStringLiteral("mnuStopSequence")))
        stop->trigger();
    result("bigseq_in_start_ms", ms(runningNs - start));
    result("bigseq_in_worst_stall_ms", probe.worstMs);
    result("bigseq_in_peak_rss_mib", peakRssMiB());
    result("bigseq_in_peak_rss_before_mib", before);
    if (!started)
        return Harness::fail("the sequence never started"), 1;
    return 0;
}

} // namespace bench
