// orv-sim run as a process, talked to over its real pseudo-terminal, opened
// the way a serial port is but with no terminal modes set: orv-sim must leave
// the line raw itself.
#include "support/pty.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kAck = "0B 00 0B\r\n";

QByteArray floodLine(int number, const QByteArray& lineEnd) {
    return "0B 00 0B " + QByteArray::number(number).rightJustified(6, '0') + lineEnd;
}

} // namespace

class TestOrvSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent"); // hex, blanks between frames
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("minMs"); // the answers may come late, never early
        const QByteArray nak = "0B FF 0A\r\n";
        const QByteArray badSum = "0B 0F 1A\r\n";
        QTest::newRow("comm test, key")
            << QStringList() << QByteArray("0B0510 0B04035062") << kAck + kAck << 0;
        QTest::newRow("bad checksum") << QStringList() << QByteArray("0B0511") << badSum << 0;
        QTest::newRow("unknown command") << QStringList() << QByteArray("0B07") << nak << 0;
        QTest::newRow("junk first") << QStringList() << QByteArray("FF000D0A0B0611") << kAck << 0;
        // Sent together, so later answers are ready while earlier ones wait for their second piece.
        QTest::newRow("split") << QStringList{"--split"} << QByteArray("0B0510 0B07 0B0611 0B0600")
                               << kAck + nak + kAck + badSum << 0;
        QTest::newRow("no newline") << QStringList{"--no-newline"} << QByteArray("0B0511 0B0611")
                                    << QByteArray("0B 0F 1A0B 00 0B") << 0;
        QTest::newRow("delay") << QStringList{"--delay", "300"} << QByteArray("0B0510 0B0511")
                               << kAck + badSum << 290;
    }
    void answers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        QFETCH(int, minMs);
        SimProcess sim(args);
        TerminalEnd port(sim.devicePath());
        for (int round = 0; round < 2; ++round) {
            QElapsedTimer sinceSent;
            sinceSent.start();
            QVERIFY(port.write(QByteArray::fromHex(sent)));
            QCOMPARE(port.read(answers.size()), answers);
            QVERIFY2(sinceSent.elapsed() >= minMs,
                     qPrintable(QString::number(sinceSent.elapsed())));
        }
        QTRY_VERIFY2(sim.log().contains("send " + answers.left(8)), qPrintable(sim.log()));
    }

    // Chosen frames answered otherwise, the rest as usual; bad choices refused.
    void chosenAnswers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answers"); // empty: orv-sim must refuse the arguments
        const QByteArray nak = "0B FF 0A\r\n";
        const QByteArray badSum = "0B 0F 1A\r\n";
        QTest::newRow("NAK, only the frame named")
            << QStringList{"--answer", "0b 05 10=nak"} << QByteArray::fromHex("0B0510 0B0511 0B0611")
            << nak + badSum + kAck;
        // Had 0B 0A been answered at once, its NAK would come before the ACK.
        QTest::newRow("none, unknown command read whole")
            << QStringList{"--answer=0B 0A 15=none"} << QByteArray::fromHex("0B0A15 0B0611") << kAck;
        QTest::newRow("CRC, and ACK for a bad checksum named")
            << QStringList{"--answer", "0B 06 11=CRC", "--answer", "0B 05 11=ACK"}
            << QByteArray::fromHex("0B0611 0B0511") << badSum + kAck;
        for (const char* bad : {"0B 05 10=maybe", "0B 05=ACK", "0B 5 10=ACK", "0C 05 11=ACK"})
            QTest::newRow(bad) << QStringList{"--answer", bad} << QByteArray() << QByteArray();
        QTest::newRow("same frame twice")
            << QStringList{"--answer", "0B 05 10=ACK", "--answer", "0B 05 10=NAK"} << QByteArray()
            << QByteArray();
    }
    void chosenAnswers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        if (answers.isEmpty()) {
            QProcess sim;
            sim.start(QStringLiteral(ORV_SIM_PATH), args);
            QVERIFY(sim.waitForFinished(5000));
            QCOMPARE(sim.exitCode(), 2);
            QVERIFY(sim.readAllStandardError().startsWith("orv-sim: --answer"));
            return;
        }
        SimProcess sim(args);
        TerminalEnd port(sim.devicePath());
        QVERIFY(port.write(sent));
        QCOMPARE(port.read(answers.size()), answers);
        QTRY_VERIFY2(sim.log().contains(", as --answer asks"), qPrintable(sim.log()));
    }

    void flood_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("later"); // frames sent while the flood is under way
        QTest::addColumn<QByteArray>("lineEnd");
        // More flood than the terminal holds, and more frames than it holds the other
        // way: unless the device reads while it cannot write, our writes stall.
        QTest::newRow("reads while flooding") << QStringList() << 20000 << 12000 << kAck.right(2);
        QTest::newRow("split, no newline")
            << QStringList{"--split", "--no-newline"} << 300 << 1 << QByteArray();
    }
    void flood() {
        QFETCH(QStringList, args);
        QFETCH(int, lines);
        QFETCH(int, later);
        QFETCH(QByteArray, lineEnd);
        SimProcess sim(args << "--flood" << QString::number(lines));
        TerminalEnd port(sim.devicePath());
        QVERIFY(port.write(QByteArray::fromHex("0B0510")));
        QByteArray got = port.read(1); // under way
        QVERIFY2(port.write(QByteArray::fromHex("0B0611").repeated(later), 20000),
                 "stopped reading");
        QByteArray expected;
        for (int i = 1; i <= lines; ++i)
            expected += floodLine(i, lineEnd);
        expected += ("0B 00 0B" + lineEnd).repeated(later); // only the first frame floods
        got += port.read(int(expected.size() - got.size()), 60000);
        QCOMPARE(got, expected);
    }

    void linkMadeAndRemoved() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyORV");
        QVERIFY(QFile::link(dir.filePath("gone"), link)); // left over from a crash
        {
            SimProcess sim({"--link", link});
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
            TerminalEnd port(link);
            QVERIFY(port.write(QByteArray::fromHex("0B0510")));
            QCOMPARE(port.read(kAck.size()), kAck);
            QVERIFY(sim.stop());
            QVERIFY(!QFileInfo(link).isSymLink());
        }
        // Something that is not a symbolic link is never replaced.
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
        file.close();
        QVERIFY(!SimProcess({"--link", link}).isRunning());
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void reopenedPortServedWithoutStaleAnswers() {
        // Round 1 starts a flood and leaves it unread, later rounds an unread
        // checksum error: neither may greet whoever opens the port next.
        SimProcess sim({"--flood", "1000000"});
        for (int round = 1; round <= 3; ++round) {
            {
                TerminalEnd port(sim.devicePath());
                QVERIFY(port.write(QByteArray::fromHex("0B0510")));
                const QByteArray first = round == 1 ? floodLine(1, "\r\n") : kAck;
                QCOMPARE(port.read(first.size()).left(first.size()), first);
                if (round > 1) {
                    QVERIFY(port.write(QByteArray::fromHex("0B0511")));
                    QTRY_COMPARE(sim.log().count(QLatin1String("send 0B 0F 1A")), round - 1);
                }
            }
            QTRY_COMPARE(sim.log().count("port closed by the program"), round);
        }
    }

    void sigtermExitsCleanly_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("during flood") << QStringList{"--flood", "100000000"};
        QTest::newRow("answer held back") << QStringList{"--delay", "600000"};
    }
    void sigtermExitsCleanly() {
        QFETCH(QStringList, args);
        SimProcess sim(args);
        TerminalEnd port(sim.devicePath());
        QVERIFY(port.write(QByteArray::fromHex("0B0510")));
        QTRY_VERIFY(sim.log().contains("recv 0B 05 10"));
        QVERIFY(sim.stop()); // SIGTERM, then exit code 0
        QVERIFY(sim.log().contains("stopped"));
    }
};

QTEST_GUILESS_MAIN(TestOrvSim)
#include "tst_orvsim.moc"
