// orv-sim run as a process, talked to over its real pseudo-terminal.

#include "deviceport.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

namespace {

const QByteArray kAck = "0B 00 0B\r\n";

QByteArray frame(const char* hex) {
    return QByteArray::fromHex(hex);
}

QByteArray floodLine(int number) {
    return "0B 00 0B " + QByteArray::number(number).rightJustified(6, '0') + "\r\n";
}

} // namespace

class TestOrvSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstLineIsTheDevicePath() {
        SimProcess sim;
        QVERIFY(sim.isRunning());
        QVERIFY2(sim.devicePath().startsWith("/dev/pts/"), qPrintable(sim.devicePath()));
        struct stat st {};
        QCOMPARE(::stat(sim.devicePath().toLocal8Bit().constData(), &st), 0);
        QVERIFY(S_ISCHR(st.st_mode));
    }

    void answersEachFrame_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("comm test") << frame("0B0510") << kAck;
        QTest::newRow("reset") << frame("0B0611") << kAck;
        QTest::newRow("key 00") << frame("0B0002505D") << kAck;
        QTest::newRow("key 01") << frame("0B0102505E") << kAck;
        QTest::newRow("key 02") << frame("0B0201505E") << kAck;
        QTest::newRow("key 03") << frame("0B0301505F") << kAck;
        QTest::newRow("key 04") << frame("0B04035062") << kAck;
        QTest::newRow("bad checksum") << frame("0B0511") << QByteArray("0B 0F 1A\r\n");
        QTest::newRow("unknown command") << frame("0B07") << QByteArray("0B FF 0A\r\n");
        QTest::newRow("junk first") << frame("FF000D0A0B0510") << kAck;
    }
    void answersEachFrame() {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        SimProcess sim;
        QVERIFY(sim.isRunning());
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(sent));
        QCOMPARE(port.readLine(), answer);
    }

    void logShowsFramesAndAnswers() {
        SimProcess sim;
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QCOMPARE(port.readLine(), kAck);
        QVERIFY(port.write(frame("0B07")));
        QCOMPARE(port.readLine(), QByteArray("0B FF 0A\r\n"));
        const QRegularExpression recv(R"(^\d\d:\d\d:\d\d\.\d\d\d recv 0B 05 10$)",
                                      QRegularExpression::MultilineOption);
        const QRegularExpression send(R"(^\d\d:\d\d:\d\d\.\d\d\d send 0B 00 0B\b)",
                                      QRegularExpression::MultilineOption);
        const QRegularExpression nak(R"(^\d\d:\d\d:\d\d\.\d\d\d send 0B FF 0A\b)",
                                     QRegularExpression::MultilineOption);
        QTRY_VERIFY2(sim.log().contains(nak), qPrintable(sim.log()));
        QVERIFY(sim.log().contains(recv));
        QVERIFY(sim.log().contains(send));
        // The path line was taken by SimProcess; everything after is time-stamped.
        const QRegularExpression stamped(R"(^\d\d:\d\d:\d\d\.\d\d\d \S)");
        for (const QString& line : sim.log().split('\n', Qt::SkipEmptyParts))
            QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    }

    void splitAnswersArriveWholeAndInOrder() {
        SimProcess sim({"--split"});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        for (int i = 0; i < 5; ++i) {
            QVERIFY(port.write(frame("0B0510")));
            QCOMPARE(port.readLine(), kAck);
        }
        // Sent together, so later answers are ready while earlier ones wait
        // for their second piece.
        QVERIFY(port.write(frame("0B0510") + frame("0B07") + frame("0B0611") + frame("0B0600")));
        QCOMPARE(port.readBytes(40), kAck + "0B FF 0A\r\n" + kAck + "0B 0F 1A\r\n");
    }

    void noNewline() {
        SimProcess sim({"--no-newline"});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QCOMPARE(port.readBytes(8), QByteArray("0B 00 0B"));
        // The next answer follows straight on: nothing came in between.
        QVERIFY(port.write(frame("0B0511")));
        QVERIFY(port.write(frame("0B0611")));
        QCOMPARE(port.readBytes(16), QByteArray("0B 0F 1A0B 00 0B"));
    }

    void delayedAnswersStillComeInOrder() {
        SimProcess sim({"--delay", "300"});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QElapsedTimer sinceSent;
        sinceSent.start();
        // Sent while the first answer is still held back: must be read meanwhile.
        QVERIFY(port.write(frame("0B0510")));
        QVERIFY(port.write(frame("0B0511")));
        QCOMPARE(port.readLine(), kAck);
        // A lower bound only: the answer can come late, never early.
        QVERIFY2(sinceSent.elapsed() >= 290, qPrintable(QString::number(sinceSent.elapsed())));
        QCOMPARE(port.readLine(), QByteArray("0B 0F 1A\r\n"));
    }

    void floodGivesAllLinesInOrder() {
        const int lines = 5000;
        SimProcess sim({"--flood", QString::number(lines)});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        for (int i = 1; i <= lines; ++i) {
            const QByteArray line = port.readLine();
            if (line != floodLine(i))
                QFAIL(qPrintable(QString("line %1: %2").arg(i).arg(QString::fromLatin1(line))));
        }
        // Only the first frame floods.
        QVERIFY(port.write(frame("0B0611")));
        QCOMPARE(port.readLine(), kAck);
    }

    void floodKeepsReadingInput() {
        // More flood than the terminal holds, and more frames than it holds the
        // other way: unless the device reads while it cannot write, our writes
        // stall and nothing completes.
        const int lines = 20000;
        const int frames = 12000;
        SimProcess sim({"--flood", QString::number(lines)});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QVERIFY(port.waitReadable());
        QByteArray many;
        for (int i = 0; i < frames; ++i)
            many += frame("0B0611");
        QVERIFY2(port.write(many, 20000), "the device stopped reading while flooding");
        for (int i = 1; i <= lines; ++i) {
            const QByteArray line = port.readLine();
            if (line != floodLine(i))
                QFAIL(qPrintable(QString("line %1: %2").arg(i).arg(QString::fromLatin1(line))));
        }
        for (int i = 0; i < frames; ++i) {
            const QByteArray line = port.readLine();
            if (line != kAck)
                QFAIL(qPrintable(QString("answer %1: %2").arg(i).arg(QString::fromLatin1(line))));
        }
    }

    void floodWithSplitAndNoNewlineLosesNothing() {
        const int lines = 300;
        SimProcess sim({"--flood", QString::number(lines), "--split", "--no-newline"});
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QByteArray expected;
        for (int i = 1; i <= lines; ++i)
            expected += floodLine(i).chopped(2);
        QCOMPARE(port.readBytes(int(expected.size())), expected);
        QVERIFY(port.write(frame("0B0510")));
        QCOMPARE(port.readBytes(8), QByteArray("0B 00 0B"));
    }

    void linkMadeAndRemoved() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("ttyORV");
        QVERIFY(QFile::link(dir.filePath("gone"), link)); // left over from a crash
        SimProcess sim({"--link", link});
        QVERIFY(sim.isRunning());
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
        DevicePort port(link);
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QCOMPARE(port.readLine(), kAck);
        QVERIFY(sim.stop());
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void linkNeverReplacesAFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("precious");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me");
        }
        QProcess process;
        process.start(QStringLiteral(ORV_SIM_PATH), {"--link", path});
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(process.exitCode() != 0);
        QVERIFY(process.readAllStandardError().contains("precious"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
    }

    void servesAgainAfterReopen() {
        SimProcess sim;
        for (int round = 1; round <= 3; ++round) {
            DevicePort port(sim.devicePath());
            QVERIFY(port.isOpen());
            QVERIFY(port.write(frame("0B0510")));
            QCOMPARE(port.readLine(), kAck);
            port.close();
            QTRY_COMPARE(sim.log().count("port closed by the program"), round);
        }
    }

    void unreadAnswerNotSeenAfterReopen() {
        SimProcess sim;
        {
            DevicePort port(sim.devicePath());
            QVERIFY(port.isOpen());
            QVERIFY(port.write(frame("0B0511")));
            QVERIFY(port.waitReadable()); // the checksum error waits unread
        }
        QTRY_VERIFY(sim.log().contains("port closed by the program"));
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0510")));
        QCOMPARE(port.readLine(), kAck);
    }

    void reopenDuringFloodRecovers() {
        SimProcess sim({"--flood", "1000000"});
        {
            DevicePort port(sim.devicePath());
            QVERIFY(port.isOpen());
            QVERIFY(port.write(frame("0B0510")));
            QCOMPARE(port.readLine(), floodLine(1));
        }
        QTRY_VERIFY(sim.log().contains("port closed by the program"));
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(frame("0B0611")));
        QCOMPARE(port.readLine(), kAck);
    }

    void sigtermExitsCleanly_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("sendFrame");
        QTest::newRow("idle") << QStringList() << false;
        QTest::newRow("flood pending") << QStringList{"--flood", "100000000"} << true;
        QTest::newRow("answer held back") << QStringList{"--delay", "600000"} << true;
    }
    void sigtermExitsCleanly() {
        QFETCH(QStringList, args);
        QFETCH(bool, sendFrame);
        SimProcess sim(args);
        QVERIFY(sim.isRunning());
        DevicePort port(sim.devicePath());
        QVERIFY(port.isOpen());
        if (sendFrame) {
            QVERIFY(port.write(frame("0B0510")));
            QTRY_VERIFY(sim.log().contains("recv 0B 05 10"));
        }
        QVERIFY(sim.stop()); // exit code 0 after SIGTERM
        QVERIFY(sim.log().contains("stopped"));
    }

    void sigintExitsCleanly() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyORV");
        QProcess process;
        process.start(QStringLiteral(ORV_SIM_PATH), {"--link", link});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY(process.canReadLine());
        QVERIFY(QFileInfo(link).isSymLink());
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void helpAndBadArguments() {
        QProcess help;
        help.start(QStringLiteral(ORV_SIM_PATH), {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        const QByteArray text = help.readAllStandardOutput();
        for (const char* option : {"--link", "--split", "--no-newline", "--delay", "--flood"})
            QVERIFY2(text.contains(option), option);

        for (const QStringList& args :
             {QStringList{"--bogus"}, QStringList{"--delay"}, QStringList{"--delay", "soon"},
              QStringList{"--flood", "0"}, QStringList{"--split=yes"}}) {
            QProcess bad;
            bad.start(QStringLiteral(ORV_SIM_PATH), args);
            QVERIFY(bad.waitForFinished(5000));
            QVERIFY2(bad.exitCode() != 0, qPrintable(args.join(' ')));
            QVERIFY(bad.readAllStandardOutput().isEmpty());
            QVERIFY(!bad.readAllStandardError().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestOrvSim)
#include "tst_orvsim.moc"
