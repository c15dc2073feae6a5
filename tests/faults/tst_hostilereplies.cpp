// Replies no device should send: a megabyte without a line feed, and lines of
// nothing but NUL and 0xFF bytes. Each must be kept whole and shown visibly,
// and the window must keep working while they arrive and while it draws them.
#include "app/monitorview.h"
#include "session/visibletext.h"
#include "faults.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The window's event loop, watched by a timer: its ticks, for the device
// thread to wait on, and the longest pause between two of them.
class LoopWatch : public QObject {
public:
    LoopWatch() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longestPauseMs = qMax(m_longestPauseMs, m_sinceTick.restart());
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_ticks;
            m_ticked.notify_all();
        });
        m_sinceTick.start();
        m_timer.start(10);
    }
    int ticks() const { return m_ticks; }
    // False after a minute without a tick.
    bool waitForTick() const {
        std::unique_lock<std::mutex> lock(m_mutex);
        const int seen = m_ticks;
        return m_ticked.wait_for(lock, std::chrono::minutes(1), [&] { return m_ticks > seen; });
    }
    qint64 longestPauseMs() const { return m_longestPauseMs; }
    // Writes to the device side, each piece after the first once the loop has
    // turned: proof that it turns while the data arrives. Empty if all went.
    const char* feed(PtyPair& pty, const QByteArray& data) const {
        for (qsizetype at = 0; at < data.size(); at += 16 * 1024) {
            if (at > 0 && !waitForTick())
                return "the window's event loop did not turn for a minute";
            if (!pty.write(data.mid(at, 16 * 1024)))
                return "a write to the pty did not go through";
        }
        return "";
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestPauseMs = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_ticked;
    std::atomic<int> m_ticks{0};
};

} // namespace

class TestHostileReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void keptWholeShownVisiblyAndTheWindowKeepsWorking_data() {
        QTest::addColumn<QList<QByteArray>>("sent");
        // Every byte value but the line feed, NUL and 0xFF among them.
        QByteArray megabyte(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < megabyte.size(); ++i)
            megabyte[i] =
                char((i * 7 + i / 256) & 0xFF) == '\n' ? char(0xFF) : char(i * 7 + i / 256);
        QTest::newRow("1 MiB without a line feed") << QList<QByteArray>{megabyte};
        QList<QByteArray> lines;
        QRandomGenerator random(20240611);
        for (const int size : {1, 2, 98, 255, 4096, 65536, 1000}) {
            QByteArray line(size, Qt::Uninitialized);
            for (char& c : line)
                c = random.bounded(2) ? '\0' : char(0xFF);
            lines.append(line + "\r\n");
        }
        QTest::newRow("lines of NUL and 0xFF") << lines;
    }

    void keptWholeShownVisiblyAndTheWindowKeepsWorking() {
        QFETCH(QList<QByteArray>, sent);
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        auto* view = child<MonitorView>(w, "lstComm");
        LoopWatch watch;
        qsizetype total = 0;
        // One at a time, so that each line is a reply of its own.
        for (const QByteArray& reply : sent) {
            total += reply.size();
            // From a thread: from this one a write would stall once the pty is full.
            std::atomic<const char*> failure{nullptr};
            std::thread device([&] { failure = watch.feed(bench.device, reply); });
            const auto join = qScopeGuard([&] { device.join(); });
            QTRY_VERIFY_WITH_TIMEOUT(failure, 120000);
            QCOMPARE(failure.load(), "");
            // Without a line feed it is a reply once the bound has passed (more
            // than one if the bytes took longer than that to come).
            QTRY_COMPARE_WITH_TIMEOUT(replies(w).join().size(), total, 60000);
        }
        const QList<QByteArray> got = replies(w);
        QCOMPARE(got.join(), sent.join());
        if (sent.last().endsWith('\n'))
            QCOMPARE(got, sent);

        // Shown, every byte visible: a view may shorten a long line, not its start.
        QTRY_COMPARE(view->rowCount(), got.size());
        QString allShown;
        for (int row = 0; row < got.size(); ++row) {
            const QString shown = view->rowText(row);
            const QString start = QLatin1String(replyPrefix) + visibleText(got[row].left(100));
            if (got[row].size() <= 100)
                QCOMPARE(shown, start);
            else
                QVERIFY2(shown.startsWith(start), qPrintable(shown.left(200)));
            allShown += shown;
        }
        QVERIFY(!allShown.contains(QChar(0)));
        QVERIFY(allShown.contains(QLatin1String("\\x00")) &&
                allShown.contains(QLatin1String("\\xFF")));
        // Neither ACK, NAK nor CRC reply: the lamp stays as it was.
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), QStringLiteral("Response"));

        // It still answers the operator, draws it all, and the loop turns on.
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(bench.device.read(3), commTestFrame);
        QTRY_COMPARE(view->rowCount(), w->session().monitor().count());
        view->grab(); // a paint of every row, timed by the watch as any other
        const int ticks = watch.ticks();
        QTRY_VERIFY_WITH_TIMEOUT(watch.ticks() > ticks + 3, 30000);
        // Not a speed target: a loop that stops for a whole second has frozen
        // in the operator's eyes.
        qInfo("longest pause of the event loop: %lld ms", qlonglong(watch.longestPauseMs()));
        QVERIFY2(watch.longestPauseMs() < 1000,
                 qPrintable(QStringLiteral("no reaction for %1 ms").arg(watch.longestPauseMs())));
    }
};

QTEST_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
