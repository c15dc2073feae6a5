// A long session: 10,000 commands, each answered by orv-sim in two pieces
// with random pauses, and random pauses of our own between them. Every frame
// must reach the device, every reply be in the monitor, and nothing be kept
// per command once the monitor is cleared.
#include "support/simprocess.h"
#include "support/testbench.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <malloc.h>
#include <random>

#ifdef __SANITIZE_ADDRESS__
// From the ASan runtime; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int roundTrips = 5000; // two rounds
// Anything kept per trip takes at least one heap block of 32 bytes, 160 KiB
// over a round; below that is the allocator's and Qt's own bookkeeping.
constexpr qint64 leakSlack = 128 * 1024;

// Bytes allocated and not freed, which unlike the resident size does not
// depend on what the allocator keeps for later.
qint64 heapInUse() {
#ifdef __SANITIZE_ADDRESS__
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
#endif
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void tenThousandRoundTripsThroughTheWindow() {
        // The same run every time, unless asked for another.
        const std::uint32_t seed =
            qEnvironmentVariableIsSet("ORV_SOAK_SEED")
                ? std::uint32_t(qEnvironmentVariableIntValue("ORV_SOAK_SEED"))
                : 20240613u;
        qInfo("seed %u (ORV_SOAK_SEED=N runs another)", seed);
        SimProcess sim({"--split", "--split-pause", "0-3", "--seed", QString::number(seed)});
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QList<QWidget*> buttons{child<QWidget>(w, "cmdCommTest"), child<QWidget>(w, "cmdReset")};
        for (const QChar caption : QStringLiteral("1234567890"))
            buttons << key(w, caption);
        std::mt19937 random(seed);

        // Two rounds, each ended with Clear Comm once its replies are checked;
        // the second may leave no more behind than the first.
        qint64 cleared[2] = {};
        for (int round = 0; round < 2; ++round) {
            for (int trip = 1; trip <= roundTrips; ++trip) {
                QSignalSpy reply(&w->session(), &MainSession::replyReceived);
                QTest::mouseClick(buttons[int(random() % buttons.size())], Qt::LeftButton);
                QVERIFY2(reply.wait(30000), qPrintable(QString::number(trip)));
                QTest::qWait(int(random() % 4));
            }
            const MonitorModel& monitor = w->session().monitor();
            QCOMPARE(monitor.count(), 2 * roundTrips);
            QCOMPARE(replies(monitor), QList<QByteArray>(roundTrips, "0B 00 0B\r\n"));
            click(w, "cmdClearComm");
            // Deferred deletions and queued work run first: the heap is measured at rest.
            for (int i = 0; i < 5; ++i) {
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            cleared[round] = heapInUse();
        }
        QVERIFY2(cleared[1] - cleared[0] <= leakSlack,
                 qPrintable(QStringLiteral("the second round left %1 bytes more behind")
                                .arg(cleared[1] - cleared[0])));

        // The device saw every frame whole and answered each in two pieces.
        const auto lines = [log = sim.log()](const char* re) {
            return log.count(
                QRegularExpression(QLatin1String(re), QRegularExpression::MultilineOption));
        };
        QCOMPARE(lines(R"(^\S+ recv 0B( [0-9A-F]{2}){2,4}$)"), 2 * roundTrips);
        QCOMPARE(lines(R"(^\S+ send 0B 00 0B ACK, in two pieces$)"), 2 * roundTrips);
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
