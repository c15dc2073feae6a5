// A long session: 10,000 commands, each answered by orv-sim in two pieces
// with random pauses, and random pauses of our own between them. Every frame
// must be acknowledged, every reply be in the monitor, and the heap grow by
// no more than the monitor's own lines.
#include "faults.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <malloc.h>
#include <random>

#ifdef __SANITIZE_ADDRESS__
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
#ifdef __SANITIZE_ADDRESS__
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
#endif
}

// Keys 1 to 10, Comm Test and Reset.
QList<QWidget*> commandButtons(MainWindow* w) {
    QList<QWidget*> out{child<QWidget>(w, "cmdCommTest"), child<QWidget>(w, "cmdReset")};
    for (QWidget* b : w->findChildren<QWidget*>(QStringLiteral("cmdKeyPress"))) {
        if (b->property("Index").toInt() <= 10 && b->property("Index").toInt() != 9)
            out.append(b);
    }
    return out;
}

// Clicks a random command, waits for its reply, pauses at random, and again,
// all inside the window's own event loop, until `trips` replies have come.
// The monitor, checked afterwards, tells whether each went as it should.
class Operator : public QObject {
public:
    Operator(MainWindow* w, std::uint32_t seed) : m_buttons(commandButtons(w)), m_random(seed) {
        connect(&w->session(), &MainSession::replyReceived, this, &Operator::onReply);
        // Only a session that has stopped altogether goes this long.
        m_watchdog.setInterval(30000);
        connect(&m_watchdog, &QTimer::timeout, this, [this] {
            finish(QStringLiteral("no reply for 30 s after command %1").arg(m_sent));
        });
    }

    bool run(int trips) {
        m_trips = trips;
        m_sent = m_replies = 0;
        m_failure.clear();
        m_watchdog.start();
        QTimer::singleShot(0, this, &Operator::clickNext);
        m_loop.exec();
        m_watchdog.stop();
        return m_failure.isEmpty();
    }
    QString failure() const { return m_failure; }

private:
    void clickNext() {
        QTest::mouseClick(m_buttons[int(m_random() % m_buttons.size())], Qt::LeftButton);
        ++m_sent;
    }

    void onReply() {
        ++m_replies;
        m_watchdog.start();
        if (m_replies != m_sent)
            finish(QStringLiteral("%1 replies to %2 commands").arg(m_replies).arg(m_sent));
        else if (m_replies == m_trips)
            finish({});
        else // a pause of 0 to 3 ms
            QTimer::singleShot(int(m_random() % 4), Qt::PreciseTimer, this, &Operator::clickNext);
    }

    void finish(const QString& failure) {
        if (m_failure.isEmpty())
            m_failure = failure;
        m_loop.quit();
    }

    QList<QWidget*> m_buttons;
    std::mt19937 m_random;
    QEventLoop m_loop;
    QTimer m_watchdog;
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
    static const QRegularExpression command(
        QStringLiteral(R"(^(Key: \d+|Comm Test|Reset) - 0B( [0-9A-F]{2})+$)"));
    qint64 own = 0;
    for (int i = 0; i < monitor.count(); ++i) {
        const QByteArray line = monitor.line(i);
        if (i % 2 == 0 ? !command.match(QString::fromLatin1(line)).hasMatch()
                       : line != replyPrefix + ack) {
            qWarning("line %d: %s", i, line.constData());
            return -1;
        }
        own += line.size() + 64 + 2 * qint64(sizeof(MonitorModel::Line)) + 16;
    }
    return own;
}

int countMatches(const QByteArray& log, const char* pattern) {
    const QRegularExpression re(QString::fromLatin1(pattern));
    int n = 0;
    for (const QByteArray& line : log.split('\n'))
        n += re.match(QString::fromLatin1(line)).hasMatch();
    return n;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

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
        const MonitorModel& monitor = w->session().monitor();
        QWidget* clear = child<QWidget>(w, "cmdClearComm");

        // Warm up, so that caches and pools are in place, then start afresh.
        Operator op(w, seed);
        QVERIFY2(op.run(warmUpTrips), qPrintable(op.failure()));
        QTest::mouseClick(clear, Qt::LeftButton);
        settle();
        const qint64 base = heapInUse();

        // Two rounds, each ended with Clear Comm. With the lines in, the heap
        // may have grown by what they take. After clearing, containers may keep
        // their room for as many lines again, but a second round must leave
        // nothing more behind than the first: nothing grows with the trips.
        qint64 cleared[2] = {};
        for (int round = 0; round < 2; ++round) {
            QVERIFY2(op.run(roundTrips), qPrintable(op.failure()));
            settle();
            const qint64 withLines = heapInUse();
            QCOMPARE(monitor.count(), 2 * roundTrips);
            const qint64 ownLines = checkMonitorAndMeasure(monitor);
            QVERIFY2(ownLines > 0, "the monitor does not hold each command and then its reply");
            QTest::mouseClick(clear, Qt::LeftButton);
            settle();
            cleared[round] = heapInUse();
            qInfo("round %d: heap %lld at start, %lld with the lines (allowed: %lld), %lld after "
                  "clearing",
                  round + 1, qlonglong(base), qlonglong(withLines), qlonglong(ownLines),
                  qlonglong(cleared[round]));
            QVERIFY(withLines - base <= ownLines + slack);
            QVERIFY(cleared[round] - base <= ownLines);
        }
        QVERIFY2(cleared[1] - cleared[0] <= leakSlack,
                 qPrintable(QStringLiteral("the second round left %1 bytes more behind")
                                .arg(cleared[1] - cleared[0])));

        // The device saw every frame whole and acknowledged each one.
        const int trips = warmUpTrips + 2 * roundTrips;
        const QByteArray log = sim.log();
        QCOMPARE(countMatches(log, R"(^\S+ recv 0B( [0-9A-F]{2}){2,4}$)"), trips);
        QCOMPARE(countMatches(log, R"(^\S+ send 0B 00 0B ACK, in two pieces$)"), trips);
        QCOMPARE(countMatches(log, R"(^\S+ drop )"), 0);
        QVERIFY(log.contains("split pauses of 0-3 ms use seed " + QByteArray::number(seed)));
        QVERIFY(w->session().portOpen());
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
