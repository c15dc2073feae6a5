// Replies no device should send: a megabyte without a line feed, and lines of
// nothing but NUL and 0xFF bytes. Each must be kept whole, and the window must
// keep working while they arrive and while it draws them (how fast it stays is
// for the benchmarks to tell).
#include "support/testbench.h"

#include <QLabel>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <atomic>
#include <thread>

class TestHostileReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void keptWholeAndTheWindowKeepsWorking_data() {
        QTest::addColumn<QList<QByteArray>>("sent");
        // Every byte value but the line feed, NUL and 0xFF among them.
        QByteArray megabyte(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < megabyte.size(); ++i)
            megabyte[i] = char(i * 7 + i / 256) == '\n' ? char(0xFF) : char(i * 7 + i / 256);
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

    void keptWholeAndTheWindowKeepsWorking() {
        QFETCH(QList<QByteArray>, sent);
        TestBench bench;
        MainWindow* w = bench.start();
        const MonitorModel& m = w->session().monitor();
        qsizetype total = 0;
        // One at a time, so that each line is a reply of its own.
        for (const QByteArray& reply : sent) {
            total += reply.size();
            // From a thread: from this one a write would stall once the pty is full.
            std::atomic<int> written{0};
            std::thread device([&] { written = bench.device.write(reply, 120000) ? 1 : 2; });
            const auto join = qScopeGuard([&] { device.join(); });
            QTRY_VERIFY_WITH_TIMEOUT(written != 0, 120000);
            QCOMPARE(written.load(), 1);
            // Without a line feed it is a reply once the bound has passed (more
            // than one if the bytes took longer than that to come).
            QTRY_COMPARE_WITH_TIMEOUT(replies(m).join().size(), total, 60000);
        }
        QCOMPARE(replies(m).join(), sent.join());
        if (sent.last().endsWith('\n'))
            QCOMPARE(replies(m), sent);
        // Neither ACK, NAK nor CRC: the lamp stays as it was.
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), "Response");

        // It still answers the operator, and draws it all.
        click(w, "cmdCommTest");
        QCOMPARE(bench.device.read(3), QByteArray::fromHex("0B0510"));
        QTRY_COMPARE(m.rowCount(), m.count());
        child<QWidget>(w, "lstComm")->grab();
    }
};

QTEST_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
