// The link and its event handling over a real pseudo-terminal: the test plays
// the device on the master side.
#include "sequence/sequencerunner.h"
#include "session/mainsession.h"
#include "support/monitorlines.h"
#include "support/pty.h"

#include <QtTest>
#include <termios.h>
#include <thread>

namespace {

// A pty has no modem lines, so CTS and DTR are played by this double.
struct FakeModemLines : ModemLines {
    bool cts = false;
    QList<bool> dtrWrites;
    std::optional<bool> clearToSend() override { return cts; }
    bool setDataTerminalReady(bool on) override {
        dtrWrites.append(on);
        return true;
    }
};

bool started(MainSession& s, const QString& port) {
    s.setPort(port);
    return s.linkStart();
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void repliesAreRowsTimedWhereTheyWereRead_data() {
        // What the device writes, 30 ms apart; the replies; which write
        // completed each.
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<QByteArrayList>("rows");
        QTest::addColumn<QList<int>>("completedBy");
        QTest::newRow("reply split across reads")
            << QByteArrayList{"0B 0", "0 0B", "\r\n"} << QByteArrayList{"0B 00 0B\r\n"}
            << QList<int>{2};
        QTest::newRow("two lines in one read")
            << QByteArrayList{"0B 00 0B\r\n0B FF 0A\r\n0B"}
            << QByteArrayList{"0B 00 0B\r\n", "0B FF 0A\r\n"} << QList<int>{0, 0};
        const QByteArrayList stream{"1\r\n", "2\r\n", "3\r\n", "4\r\n", "5\r\n", "6\r\n"};
        QTest::newRow("stream") << stream << stream << QList<int>{0, 1, 2, 3, 4, 5};
        // Ended when its bound passed, counted from its first byte.
        QTest::newRow("no line feed")
            << QByteArrayList{QByteArray("\x00\xFFno ", 5), "end"}
            << QByteArrayList{QByteArray("\x00\xFFno end", 8)} << QList<int>{-1};
    }

    void repliesAreRowsTimedWhereTheyWereRead() {
        QFETCH(QByteArrayList, writes);
        QFETCH(QByteArrayList, rows);
        QFETCH(QList<int>, completedBy);
        PtyPair device;
        // Settings another program left behind; opening sets 9600 8N1, no flow control.
        termios tio{};
        QVERIFY(::tcgetattr(device.fd(), &tio) == 0);
        ::cfsetspeed(&tio, B19200);
        tio.c_cflag |= PARENB | CSTOPB | CRTSCTS;
        tio.c_iflag |= IXON | IXOFF;
        QVERIFY(::tcsetattr(device.fd(), TCSANOW, &tio) == 0);
        MainSession s;
        QVERIFY(started(s, device.slavePath()));
        QVERIFY(::tcgetattr(device.fd(), &tio) == 0);
        QCOMPARE(int(::cfgetispeed(&tio)), int(B9600));
        QCOMPARE(int(::cfgetospeed(&tio)), int(B9600));
        QCOMPARE(int(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)), int(CS8));
        QCOMPARE(int(tio.c_iflag & (IXON | IXOFF)), 0);

        QSignalSpy problems(&s, &MainSession::linkProblem);
        QSignalSpy replied(&s, &MainSession::replyReceived);
        const qint64 beforeSend = monotonicNs();
        s.sendCommTest();
        const qint64 sendNs = monotonicNs() - beforeSend;
        QCOMPARE(device.read(3), QByteArray::fromHex("0B0510"));
        // The window's thread is kept busy while the device writes: the times
        // are those of the reads, not of when the replies were handled.
        QList<qint64> wallMs, sinceSendNs;
        for (const QByteArray& bytes : writes) {
            QThread::msleep(30);
            QVERIFY(device.write(bytes));
            wallMs << QDateTime::currentMSecsSinceEpoch();
            sinceSendNs << monotonicNs() - beforeSend;
        }
        QThread::msleep(100); // handled well after the last came
        QTRY_COMPARE_WITH_TIMEOUT(replied.count(), rows.size(), ReplyCollector::boundMs + 5000);
        QCOMPARE(replies(s.monitor()), rows);
        const int first = s.monitor().count() - int(rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            const qint64 at = s.monitor().at(first + i).msecsSinceEpoch;
            // -1: the first write plus the bound.
            const int by = qMax(0, completedBy[i]);
            const qint64 bound = completedBy[i] < 0 ? ReplyCollector::boundMs : 0;
            QVERIFY2(qAbs(at - wallMs[by] - bound) <= 20, qPrintable(QString::number(i)));
            const qint64 latencyNs = replied[i][1].toLongLong();
            QVERIFY2(qAbs(latencyNs - sinceSendNs[by] - bound * 1000000) <= sendNs + 20'000'000,
                     qPrintable(QString::number(latencyNs)));
            QCOMPARE(s.monitor().at(first + i).sinceSendUs, qint32(latencyNs / 1000));
        }
        // The bound is many modem-poll periods: a pty, which has no modem
        // lines, must not have been taken for a lost port meanwhile.
        QVERIFY(s.portOpen() && problems.isEmpty());
    }

    void twoRepliesInOneReadMeetTwoExpectations() {
        PtyPair device;
        MainSession s;
        QVERIFY(started(s, device.slavePath()));
        SequenceRunner run(s, parseSequence("t.seq", "key 5\nexpect ACK within 5000\n"
                                                     "expect NAK within 5000\n"));
        QVERIFY(run.start());
        QByteArray sent;
        QTRY_COMPARE(sent += device.readAvailable(), QByteArray::fromHex("0B0202505F"));
        QVERIFY(device.write("0B 00 0B\r\n0B FF 0A\r\n"));
        QTRY_VERIFY(!run.isRunning());
        QCOMPARE(run.expectations(), 2);
        QCOMPARE(run.failures(), 0);
    }

    void backPressureWaitsAndNeverCuts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("heldMs"); // the window's thread takes nothing meanwhile
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cutRows");
        // The reader pauses when full and must be woken to read on. Three-byte
        // lines leave reads ending inside a line, whose bound must stand
        // still while the reader waits, longer than the bound.
        QTest::newRow("paused reader")
            << QByteArray("ab\n").repeated(3 * HandOver::fullLines)
            << int(ReplyCollector::boundMs + 1000) << 3 * int(HandOver::fullLines) << 0;
        const QByteArray endless(3 * ReplyCollector::maxLineBytes + 100, 'z');
        QTest::newRow("endless line") << endless + "\n" << 0 << 4 << 3;
    }
    void backPressureWaitsAndNeverCuts() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, heldMs);
        QFETCH(int, rows);
        QFETCH(int, cutRows);
        PtyPair device;
        MainSession s;
        QVERIFY(started(s, device.slavePath()));
        std::thread writer([&] { device.write(bytes, 30000); });
        QThread::msleep(heldMs);
        QTRY_COMPARE_WITH_TIMEOUT(replies(s.monitor()).join().size(), bytes.size(), 30000);
        writer.join();
        QCOMPARE(replies(s.monitor()).join(), bytes);
        QCOMPARE(s.monitor().count(), rows);
        for (int i = 0; i < rows; ++i) {
            const MonitorModel::Line& line = s.monitor().at(i);
            QCOMPARE(line.continues, i < cutRows);
            QVERIFY(line.continues || line.text.endsWith('\n'));
        }
        if (cutRows)
            QVERIFY(MonitorModel::displayText(s.monitor().at(0))
                        .endsWith("(1048583 bytes, line continues)"));
    }

    void modemLineChangeDropsDtr() {
        PtyPair pty;
        MainSession s;
        auto fake = std::make_unique<FakeModemLines>();
        FakeModemLines* lines = fake.get();
        s.setModemLines(std::move(fake));
        QVERIFY(started(s, pty.slavePath()));
        QCOMPARE(lines->dtrWrites, QList<bool>{true});
        // A clear-to-send change writes serialOutput (nothing), then drops DTR.
        lines->cts = true;
        QTRY_COMPARE(lines->dtrWrites, (QList<bool>{true, false}));
        QVERIFY(s.linkStart()); // a fresh open raises DTR again
        QCOMPARE(lines->dtrWrites, (QList<bool>{true, false, true}));
        QCOMPARE(s.monitor().count(), 0);
        QCOMPARE(pty.readAvailable(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
