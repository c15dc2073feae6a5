// orv-sim run as a process, talked to over its real pseudo-terminal, opened
// the way a serial port is but with no terminal modes set: orv-sim must leave
// the line raw itself.
#include "support/files.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QtTest>
#include <csignal>

namespace {

const QByteArray kAck = "0B 00 0B\r\n", kNak = "0B FF 0A\r\n", kBadSum = "0B 0F 1A\r\n";

QByteArray floodLine(int number) {
    return "0B 00 0B " + QByteArray::number(number).rightJustified(6, '0') + "\r\n";
}

} // namespace

class TestOrvSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent"); // hex, blanks between frames
        QTest::addColumn<QByteArray>("answers");
        const auto row = [](const char* name, const QStringList& args, const QByteArray& sent,
                            const QByteArray& answers) {
            QTest::newRow(name) << args << sent << answers;
        };
        // Sent together, so later answers are ready while earlier ones wait for their second
        // piece. --answer NAK changes the frame named only, not the same command with a bad sum.
        row("split, --answer NAK", {"--split", "--answer", "0b 05 10=nak"},
            "0B0510 0B07 0B0611 0B0600 0B0511", kNak + kNak + kAck + kBadSum + kBadSum);
        row("no newline, key frame", {"--no-newline"}, "0B0511 0B04035062", "0B 0F 1A0B 00 0B");
        row("delay", {"--delay", "300"}, "0B0510 0B0511", kAck + kBadSum);
        // Had 0B 0A been answered at once, its NAK would come before the ACK.
        row("--answer none, unknown command read whole", {"--answer=0B 0A 15=none"},
            "0B0A15 0B0611", kAck);
        row("--answer CRC, and ACK for a bad checksum",
            {"--answer", "0B 06 11=CRC", "--answer", "0B 05 11=ACK"}, "0B0611 0B0511",
            kBadSum + kAck);
    }
    void answers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        SimProcess sim(args);
        TerminalEnd port(sim.devicePath());
        QElapsedTimer sinceSent;
        sinceSent.start();
        QVERIFY(port.write(QByteArray::fromHex(sent)));
        QCOMPARE(port.read(answers.size()), answers);
        // Delayed answers may come late, never early.
        QVERIFY(sinceSent.elapsed() >= (args.contains("--delay") ? 290 : 0));
    }

    void badAnswerRefused() {
        QProcess sim;
        sim.start(QStringLiteral(ORV_SIM_PATH), {"--answer", "0B 05 10=maybe"});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().startsWith("orv-sim: --answer"));
    }

    void flood() {
        // More flood than the terminal holds, and more frames than it holds the other
        // way: unless the device reads while it cannot write, our writes stall.
        const int lines = 20000, later = 12000;
        SimProcess sim({"--flood", QString::number(lines)});
        TerminalEnd port(sim.devicePath());
        QVERIFY(port.write(QByteArray::fromHex("0B0510")));
        QByteArray got = port.read(1); // under way
        QVERIFY2(port.write(QByteArray::fromHex("0B0611").repeated(later), 20000),
                 "stopped reading");
        QByteArray expected;
        for (int i = 1; i <= lines; ++i)
            expected += floodLine(i);
        expected += kAck.repeated(later); // only the first frame floods
        got += port.read(int(expected.size() - got.size()), 60000);
        QCOMPARE(got, expected);
    }

    void linkMadeAndRemoved() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyORV");
        QVERIFY(QFile::link(dir.filePath("gone"), link)); // left over from a crash
        {
            SimProcess sim({"--link", link, "--flood=100000000"});
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
            // SIGTERM while it is held writing a flood nobody reads: it still
            // cleans up and ends with status 0.
            TerminalEnd port(sim.devicePath());
            QVERIFY(port.write(QByteArray::fromHex("0B0510")));
            QVERIFY(!port.read(1).isEmpty());
            QVERIFY(sim.stop());
            QVERIFY(!QFileInfo(link).isSymLink());
        }
        // Something that is not a symbolic link is never replaced.
        QVERIFY(writeFile(link, "keep me"));
        QVERIFY(!SimProcess({"--link", link}).isRunning());
        QCOMPARE(readFile(link), QByteArray("keep me"));
    }

    void slowDeviceLosesNoFrame() {
        // Paced reads cut frames anywhere. Held up after such a cut (by a
        // loaded machine) the device must still take the frame whole, since
        // its rest was waiting; and the program closing with frames unread
        // may cost neither the cut frame nor the rest.
        const QString frame = "0B 07 01 02 03 04 05";
        SimProcess sim({"--read-rate", "2000", "--answer", frame + "=none"});
        {
            TerminalEnd port(sim.devicePath());
            QTRY_VERIFY(sim.log().contains("port opened"));
            QVERIFY(port.write(QByteArray::fromHex(frame.toLatin1()).repeated(300)));
            for (int stall = 0; stall < 3; ++stall) {
                QThread::msleep(60);
                QCOMPARE(::kill(pid_t(sim.pid()), SIGSTOP), 0);
                QThread::msleep(250);
                QCOMPARE(::kill(pid_t(sim.pid()), SIGCONT), 0);
            }
            QVERIFY(sim.log().count(" recv ") < 300);
        }
        QTRY_COMPARE_WITH_TIMEOUT(sim.log().count("recv " + frame), 300, 10000);
        QVERIFY2(!sim.log().contains("drop"), qPrintable(sim.log()));
    }

    void reopenedPortServedWithoutStaleAnswers() {
        // Round 1 starts a flood and leaves it unread, later rounds an unread
        // checksum error: neither may greet whoever opens the port next.
        SimProcess sim({"--flood", "1000000"});
        for (int round = 1; round <= 3; ++round) {
            {
                TerminalEnd port(sim.devicePath());
                QVERIFY(port.write(QByteArray::fromHex("0B0510")));
                const QByteArray first = round == 1 ? floodLine(1) : kAck;
                QCOMPARE(port.read(first.size()).left(first.size()), first);
                if (round > 1) {
                    QVERIFY(port.write(QByteArray::fromHex("0B0511")));
                    QTRY_COMPARE(sim.log().count("send 0B 0F 1A"), round - 1);
                }
            }
            QTRY_COMPARE(sim.log().count("port closed by the program"), round);
        }
    }
};

QTEST_GUILESS_MAIN(TestOrvSim)
#include "tst_orvsim.moc"
