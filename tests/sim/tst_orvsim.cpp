// orv-sim run as a process, talked to over its real pseudo-terminal.

#include "support/simprocess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QByteArray kAck = "0B 00 0B\r\n";

QByteArray frames(const char* hex) {
    return QByteArray::fromHex(hex); // blanks between frames are skipped
}

QByteArray floodLine(int number, const QByteArray& lineEnd) {
    return "0B 00 0B " + QByteArray::number(number).rightJustified(6, '0') + lineEnd;
}

// The program's end of the device, opened the way a serial port is. It sets
// no terminal modes itself: orv-sim must leave the line raw.
class Port {
public:
    explicit Port(const QString& path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    }
    ~Port() { ::close(m_fd); }
    bool wait(short events, QDeadlineTimer deadline = QDeadlineTimer(5000)) {
        pollfd p{m_fd, events, 0};
        return ::poll(&p, 1, int(deadline.remainingTime())) > 0 && (p.revents & events);
    }
    bool write(const QByteArray& bytes, int timeoutMs = 5000) {
        const QDeadlineTimer deadline(timeoutMs);
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if ((n < 0 && errno != EAGAIN) || !wait(POLLOUT, deadline))
                return false;
        }
        return true;
    }
    // `count` bytes, or what came before the deadline.
    QByteArray read(qsizetype count, int timeoutMs = 5000) {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_buffer.size() < count && wait(POLLIN, deadline)) {
            char buf[4096];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                m_buffer.append(buf, n);
        }
        const QByteArray out = m_buffer.left(count);
        m_buffer.remove(0, out.size());
        return out;
    }

private:
    const int m_fd;
    QByteArray m_buffer;
};

} // namespace

class TestOrvSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("minMs"); // the answers may come late, never early
        const QByteArray nak = "0B FF 0A\r\n";
        const QByteArray badSum = "0B 0F 1A\r\n";
        QTest::newRow("comm test, key")
            << QStringList() << frames("0B0510 0B04035062") << kAck + kAck << 0;
        QTest::newRow("bad checksum") << QStringList() << frames("0B0511") << badSum << 0;
        QTest::newRow("unknown command") << QStringList() << frames("0B07") << nak << 0;
        QTest::newRow("junk first") << QStringList() << frames("FF000D0A0B0611") << kAck << 0;
        // Sent together, so later answers are ready while earlier ones wait for their second piece.
        QTest::newRow("split") << QStringList{"--split"} << frames("0B0510 0B07 0B0611 0B0600")
                               << kAck + nak + kAck + badSum << 0;
        QTest::newRow("no newline") << QStringList{"--no-newline"} << frames("0B0511 0B0611")
                                    << QByteArray("0B 0F 1A0B 00 0B") << 0;
        QTest::newRow("delay") << QStringList{"--delay", "300"} << frames("0B0510 0B0511")
                               << kAck + badSum << 290;
    }
    void answers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        QFETCH(int, minMs);
        SimProcess sim(args);
        Port port(sim.devicePath());
        for (int round = 0; round < 2; ++round) {
            QElapsedTimer sinceSent;
            sinceSent.start();
            QVERIFY(port.write(sent));
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
            << QStringList{"--answer", "0b 05 10=nak"} << frames("0B0510 0B0511 0B0611")
            << nak + badSum + kAck;
        // Had 0B 0A been answered at once, its NAK would come before the ACK.
        QTest::newRow("none, unknown command read whole")
            << QStringList{"--answer=0B 0A 15=none"} << frames("0B0A15 0B0611") << kAck;
        QTest::newRow("CRC, and ACK for a bad checksum named")
            << QStringList{"--answer", "0B 06 11=CRC", "--answer", "0B 05 11=ACK"}
            << frames("0B0611 0B0511") << badSum + kAck;
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
        Port port(sim.devicePath());
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
        Port port(sim.devicePath());
        QVERIFY(port.write(frames("0B0510")));
        QVERIFY(port.wait(POLLIN));
        QVERIFY2(port.write(frames("0B0611").repeated(later), 20000), "stopped reading");
        QByteArray expected;
        for (int i = 1; i <= lines; ++i)
            expected += floodLine(i, lineEnd);
        expected += ("0B 00 0B" + lineEnd).repeated(later); // only the first frame floods
        QCOMPARE(port.read(expected.size(), 60000), expected);
    }

    void linkMadeAndRemoved() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("ttyORV");
        QVERIFY(QFile::link(dir.filePath("gone"), link)); // left over from a crash
        {
            SimProcess sim({"--link", link});
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
            Port port(link);
            QVERIFY(port.write(frames("0B0510")));
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
                Port port(sim.devicePath());
                QVERIFY(port.write(frames("0B0510")));
                const QByteArray first = round == 1 ? floodLine(1, "\r\n") : kAck;
                QCOMPARE(port.read(first.size()), first);
                if (round > 1) {
                    QVERIFY(port.write(frames("0B0511")));
                    QVERIFY(port.wait(POLLIN));
                }
            }
            QTRY_COMPARE(sim.log().count("port closed by the program"), round);
        }
    }

    void sigtermExitsCleanly_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("idle") << QStringList();
        QTest::newRow("during flood") << QStringList{"--flood", "100000000"};
        QTest::newRow("answer held back") << QStringList{"--delay", "600000"};
    }
    void sigtermExitsCleanly() {
        QFETCH(QStringList, args);
        SimProcess sim(args);
        Port port(sim.devicePath());
        if (!args.isEmpty()) {
            QVERIFY(port.write(frames("0B0510")));
            QTRY_VERIFY(sim.log().contains("recv 0B 05 10"));
        }
        QVERIFY(sim.stop()); // SIGTERM, then exit code 0
        QVERIFY(sim.log().contains("stopped"));
    }
};

QTEST_GUILESS_MAIN(TestOrvSim)
#include "tst_orvsim.moc"
