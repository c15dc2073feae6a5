// A long session: 10,000 commands, each answered by orv-sim in two pieces
// with random pauses, and random pauses of our own between them. Every frame
// must be acknowledged, every reply be in the monitor, and the heap grow by
// no more than the monitor's own lines.
#include "app/bench.h"
#include "simrun.h"

#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <malloc.h>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ASAN 1
#endif
#endif
#ifdef ORV_ASAN
// From the ASan runtime; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int warmUpTrips = 500;
constexpr int roundTrips = 5000; // two rounds
// Room for the allocator's and Qt's own bookkeeping, which does not grow with
// the number of round trips.
constexpr qint64 slack = 256 * 1024;
// What a second round may leave behind. Anything kept per trip takes at least
// one heap block of 32 bytes, 160 KiB over a round: more than this.
constexpr qint64 leakSlack = 128 * 1024;
const QByteArray ack = "0B 00 0B\r\n";

// Bytes the program has allocated and not freed: a measure that, unlike the
// resident size, does not depend on what the allocator keeps for later.
qint64 heapInUse() {
#ifdef ORV_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
#endif
}

struct Command {
    const char* widget;
    int index; // cmdKeyPress Index, -1 for the others
    QByteArray line;
};

const QList<Command> commands = {
    {"cmdKeyPress", 0, "Key: 1 - 0B 00 02 50 5D"}, {"cmdKeyPress", 1, "Key: 2 - 0B 00 03 50 5E"},
    {"cmdKeyPress", 2, "Key: 3 - 0B 01 02 50 5E"}, {"cmdKeyPress", 3, "Key: 4 - 0B 01 03 50 5F"},
    {"cmdKeyPress", 4, "Key: 5 - 0B 02 02 50 5F"}, {"cmdKeyPress", 5, "Key: 6 - 0B 02 03 50 60"},
    {"cmdKeyPress", 6, "Key: 7 - 0B 03 02 50 60"}, {"cmdKeyPress", 7, "Key: 8 - 0B 03 03 50 61"},
    {"cmdKeyPress", 8, "Key: 9 - 0B 04 02 50 61"}, {"cmdKeyPress", 10, "Key: 10 - 0B 04 03 50 62"},
    {"cmdCommTest", -1, "Comm Test - 0B 05 10"},   {"cmdReset", -1, "Reset - 0B 06 11"},
};

QWidget* button(MainWindow* w, const Command& c) {
    if (c.index < 0)
        return child<QWidget>(w, c.widget);
    for (QWidget* b : w->findChildren<QWidget*>(QLatin1String(c.widget))) {
        if (b->property("Index").toInt() == c.index)
            return b;
    }
    return nullptr;
}

// Clicks a random command, waits for its reply, pauses at random, and again,
// all inside the window's own event loop, until `trips` replies have come.
class Operator : public QObject {
public:
    Operator(MainWindow* w, std::uint32_t seed) : m_window(w), m_random(seed) {
        connect(&w->session(), &MainSession::replyReceived, this, &Operator::onReply);
        m_watchdog.setInterval(1000);
        connect(&m_watchdog, &QTimer::timeout, this, [this] {
            // Only a session that has stopped altogether goes this long without
            // a reply: end the run and say where it stood.
            if (m_sinceReply.elapsed() > 30000)
                finish(QStringLiteral("no reply for 30 s after command %1 (%2 replies so far)")
                           .arg(m_sent)
                           .arg(m_replies));
        });
    }

    // Runs `trips` round trips; false (see failure()) if they did not all work.
    bool run(int trips) {
        m_trips = trips;
        m_sent = m_replies = 0;
        m_failure.clear();
        m_sinceReply.start();
        m_watchdog.start();
        QTimer::singleShot(0, this, &Operator::clickNext);
        m_loop.exec();
        m_watchdog.stop();
        return m_failure.isEmpty();
    }
    QString failure() const { return m_failure; }

private:
    void clickNext() {
        const Command& c = commands[int(m_random() % std::uint32_t(commands.size()))];
        QWidget* b = button(m_window, c);
        if (!b) {
            finish(QStringLiteral("no button %1").arg(QLatin1String(c.widget)));
            return;
        }
        MonitorModel& monitor = m_window->session().lstComm();
        const int before = monitor.count();
        QTest::mouseClick(b, Qt::LeftButton);
        ++m_sent;
        if (monitor.count() != before + 1 || monitor.line(before) != c.line)
            finish(QStringLiteral("command %1 recorded as \"%2\", not \"%3\"")
                       .arg(m_sent)
                       .arg(QString::fromLatin1(monitor.line(monitor.count() - 1)),
                            QString::fromLatin1(c.line)));
    }

    void onReply(const QByteArray& reply) {
        ++m_replies;
        m_sinceReply.restart();
        if (reply != ack) {
            finish(QStringLiteral("reply %1 was \"%2\"")
                       .arg(m_replies)
                       .arg(QString::fromLatin1(reply.toPercentEncoding())));
            return;
        }
        if (m_replies != m_sent) {
            finish(QStringLiteral("%1 replies to %2 commands").arg(m_replies).arg(m_sent));
            return;
        }
        if (m_replies == m_trips) {
            finish({});
            return;
        }
        const int pauseMs = int(m_random() % 4); // 0 to 3 ms
        QTimer::singleShot(pauseMs, Qt::PreciseTimer, this, &Operator::clickNext);
    }

    void finish(const QString& failure) {
        if (m_failure.isEmpty())
            m_failure = failure;
        m_loop.quit();
    }

    MainWindow* m_window;
    std::mt19937 m_random;
    QEventLoop m_loop;
    QTimer m_watchdog;
    QElapsedTimer m_sinceReply;
    int m_trips = 0;
    int m_sent = 0;
    int m_replies = 0;
    QString m_failure;
};

// Lets deferred deletions and queued work run, so the heap is measured at rest.
void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Checks that the monitor holds each command followed by its reply, and
// returns an allowance for what its lines take: each line's bytes with their
// header and the allocator's rounding, its place in the list (which may hold
// twice the room it uses), and what a view keeps per row.
qint64 checkMonitorAndMeasure(const MonitorModel& monitor) {
    qint64 own = 0;
    for (int i = 0; i < monitor.count(); ++i) {
        const QByteArray line = monitor.line(i);
        const bool isCommand = std::any_of(commands.begin(), commands.end(),
                                           [&line](const Command& c) { return c.line == line; });
        if (i % 2 == 0 ? !isCommand : line != "Reply: " + ack) {
            qWarning("line %d: %s", i, line.constData());
            return -1;
        }
        own += line.size() + 64 + 2 * qint64(sizeof(MonitorModel::Line)) + 16;
    }
    return own;
}

int countMatches(const QByteArray& log, const QRegularExpression& re) {
    int n = 0;
    for (const QByteArray& line : log.split('\n'))
        n += re.match(QString::fromLatin1(line)).hasMatch();
    return n;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Every monitor line also goes to a session log: keep it out of the way.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }

    void splitPauseOptionIsChecked() {
        for (const char* bad : {"3", "5-2", "a-b", "-3", "1-600001", "1-"}) {
            QProcess sim;
            sim.start(QStringLiteral(ORV_SIM_PATH),
                      {QStringLiteral("--split-pause"), QLatin1String(bad)});
            QVERIFY(sim.waitForFinished(10000));
            QVERIFY2(sim.exitCode() == 2, bad);
            QVERIFY2(sim.readAllStandardError().contains("--split-pause"), bad);
        }
        QProcess help;
        help.start(QStringLiteral(ORV_SIM_PATH), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(10000));
        QVERIFY(help.readAllStandardOutput().contains("--split-pause MIN-MAX"));
    }

    void tenThousandRoundTripsThroughTheWindow() {
        const std::uint32_t seed =
            qEnvironmentVariableIsSet("ORV_SOAK_SEED")
                ? std::uint32_t(qEnvironmentVariableIntValue("ORV_SOAK_SEED"))
                : QRandomGenerator::global()->generate();
        qInfo("seed %u (ORV_SOAK_SEED repeats a run)", seed);
        SimRun sim({QStringLiteral("--split"), QStringLiteral("--split-pause"),
                    QStringLiteral("0-3"), QStringLiteral("--seed"), QString::number(seed)});
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QVERIFY(w);
        QVERIFY(w->session().link().portOpen());
        MonitorModel& monitor = w->session().lstComm();
        QWidget* clear = child<QWidget>(w, "cmdClearComm");

        // Warm up, so that caches and pools are in place, then start afresh.
        Operator op(w, seed);
        QVERIFY2(op.run(warmUpTrips), qPrintable(op.failure()));
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(monitor.count(), 0);
        settle();
        const qint64 base = heapInUse();

        // Two rounds, each ended with Clear Comm. With the lines in, the heap
        // may have grown by what they take. After clearing, containers may keep
        // their room for as many lines again, but a second round must leave
        // nothing more behind than the first: nothing grows with the trips.
        qint64 cleared[2] = {};
        QElapsedTimer took;
        took.start();
        for (int round = 0; round < 2; ++round) {
            QVERIFY2(op.run(roundTrips), qPrintable(op.failure()));
            settle();
            const qint64 withLines = heapInUse();
            QCOMPARE(monitor.count(), 2 * roundTrips);
            const qint64 ownLines = checkMonitorAndMeasure(monitor);
            QVERIFY2(ownLines > 0, "the monitor does not hold each command and then its reply");
            QTest::mouseClick(clear, Qt::LeftButton);
            QCOMPARE(monitor.count(), 0);
            settle();
            cleared[round] = heapInUse();
            qInfo("round %d: heap %lld at start, %lld with %d lines (allowed for them: %lld), "
                  "%lld after clearing",
                  round + 1, qlonglong(base), qlonglong(withLines), 2 * roundTrips,
                  qlonglong(ownLines), qlonglong(cleared[round]));
            QVERIFY2(withLines - base <= ownLines + slack,
                     qPrintable(QStringLiteral("grew by %1 bytes").arg(withLines - base)));
            QVERIFY2(cleared[round] - base <= ownLines,
                     qPrintable(QStringLiteral("%1 bytes more than at the start, with the "
                                               "monitor empty")
                                    .arg(cleared[round] - base)));
        }
        qInfo("%d round trips in %lld ms", 2 * roundTrips, qlonglong(took.elapsed()));
        QVERIFY2(cleared[1] - cleared[0] <= leakSlack,
                 qPrintable(QStringLiteral("the second round left %1 bytes more behind")
                                .arg(cleared[1] - cleared[0])));

        // The device saw every frame whole and acknowledged each one.
        const int trips = warmUpTrips + 2 * roundTrips;
        const QByteArray log = sim.log();
        QCOMPARE(countMatches(log, QRegularExpression(
                                       QStringLiteral(R"(^\S+ recv 0B( [0-9A-F]{2}){2,4}$)"))),
                 trips);
        QCOMPARE(countMatches(log, QRegularExpression(QStringLiteral(
                                       R"(^\S+ send 0B 00 0B ACK, in two pieces$)"))),
                 trips);
        QCOMPARE(countMatches(log, QRegularExpression(QStringLiteral(R"(^\S+ drop )"))), 0);
        QVERIFY(log.contains("split pauses of 0-3 ms use seed " + QByteArray::number(seed)));
        QVERIFY(w->session().link().portOpen());
    }

private:
    QTemporaryDir m_state;
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
