// orv-sim run as a process, talked to over its real pseudo-terminal, opened
// the way a serial port is but with no terminal modes set: orv-sim must leave
// the line raw itself.
#include "support/files.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kAck = "0B 00 0B\r\n", kNak = "0B FF 0A\r\n", kBadSum = "0B 0F 1A\r\n";

QByteArray floodLine(int number, const QByteArray& lineEnd) {
    return "0B 00 0B " + QByteArray::number(number).rightJustified(6, '0') + lineEnd;
}

} // namespace

class TestOrvSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent");    // hex, blanks between frames
        QTest::addColumn<QByteArray>("answers"); // none: orv-sim must refuse the arguments
        QTest::addColumn<int>("minMs");          // the answers may come late, never early
        QTest::newRow("comm test, key")
            << QStringList() << QByteArray("0B0510 0B04035062") << kAck + kAck << 0;
        // Sent together, so later answers are ready while earlier ones wait for their second piece.
        QTest::newRow("split") << QStringList{"--split"} << QByteArray("0B0510 0B07 0B0611 0B0600")
                               << kAck + kNak + kAck + kBadSum << 0;
        QTest::newRow("no newline") << QStringList{"--no-newline"} << QByteArray("0B0511 0B0611")
                                    << QByteArray("0B 0F 1A0B 00 0B") << 0;
        QTest::newRow("delay") << QStringList{"--delay", "300"} << QByteArray("0B0510 0B0511")
                               << kAck + kBadSum << 290;
        QTest::newRow("--answer NAK, only the frame named")
            << QStringList{"--answer", "0b 05 10=nak"} << QByteArray("0B0510 0B0511 0B0611")
            << kNak + kBadSum + kAck << 0;
        // Had 0B 0A been answered at once, its NAK would come before the ACK.
        QTest::newRow("--answer none, unknown command read whole")
            << QStringList{"--answer=0B 0A 15=none"} << QByteArray("0B0A15 0B0611") << kAck << 0;
        QTest::newRow("--answer CRC, and ACK for a bad checksum")
            << QStringList{"--answer", "0B 06 11=CRC", "--answer", "0B 05 11=ACK"}
            << QByteArray("0B0611 0B0511") << kBadSum + kAck << 0;
        for (const char* bad : {"0B 05 10=maybe", "0B 05=ACK", "0B 5 10=ACK", "0C 05 11=ACK"})
            QTest::newRow(bad) << QStringList{"--answer", bad} << QByteArray() << QByteArray() << 0;
        QTest::newRow("same frame twice")
            << QStringList{"--answer", "0B 05 10=ACK", "--answer", "0B 05 10=NAK"} << QByteArray()
            << QByteArray() << 0;
    }
    void answers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        QFETCH(int, minMs);
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
        for (int round = 0; round < 2; ++round) {
            QElapsedTimer sinceSent;
            sinceSent.start();
            QVERIFY(port.write(QByteArray::fromHex(sent)));
            QCOMPARE(port.read(answers.size()), answers);
            QVERIFY2(sinceSent.elapsed() >= minMs,
                     qPrintable(QString::number(sinceSent.elapsed())));
        }
    }

    void flood() {
        // More flood than the terminal holds, and more frames than it holds the other
        // way: unless the device reads while it cannot write, our writes stall.
        const struct {
            QStringList args;
            int lines, later; // later: frames sent while the flood is under way
            QByteArray lineEnd;
        } runs[] = {{{}, 20000, 12000, "\r\n"}, {{"--split", "--no-newline"}, 300, 1, {}}};
        for (const auto& [args, lines, later, lineEnd] : runs) {
            SimProcess sim(QStringList(args) << "--flood" << QString::number(lines));
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
    }

    void linkMadeAndRemoved() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyORV");
        QVERIFY(QFile::link(dir.filePath("gone"), link)); // left over from a crash
        {
            SimProcess sim({"--link", link});
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
            QVERIFY(sim.stop());
            QVERIFY(!QFileInfo(link).isSymLink());
        }
        // Something that is not a symbolic link is never replaced.
        QVERIFY(writeFile(link, "keep me"));
        QVERIFY(!SimProcess({"--link", link}).isRunning());
        QCOMPARE(readFile(link), QByteArray("keep me"));
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

    void sigtermExitsCleanly() {
        for (const char* held : {"--flood=100000000", "--delay=600000"}) {
            SimProcess sim({QString::fromLatin1(held)});
            TerminalEnd port(sim.devicePath());
            QVERIFY(port.write(QByteArray::fromHex("0B0510")));
            QTRY_VERIFY(sim.log().contains("recv 0B 05 10"));
            QVERIFY2(sim.stop(), held); // SIGTERM, then exit code 0
        }
    }
};

QTEST_GUILESS_MAIN(TestOrvSim)
#include "tst_orvsim.moc"
