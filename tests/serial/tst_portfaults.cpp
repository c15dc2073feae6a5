// Ports that must not be taken or trusted: a session's terminal, a gone
// pseudo-terminal, a port another program holds, a write that fails late.
#include "serial/portidentity.h"
#include "session/mainsession.h"
#include "support/monitorlines.h"
#include "support/pty.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class TestPortFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        static QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
    }

    void devicesThatAreNoSerialPort_data() {
        QTest::addColumn<quint32>("major");
        QTest::addColumn<quint32>("minor");
        QTest::addColumn<QString>("refusal"); // empty: may be opened
        QTest::newRow("/dev/console") << 5u << 1u << "the system console (5:1)";
        QTest::newRow("/dev/ptmx") << 5u << 2u << "the pseudo-terminal multiplexer (5:2)";
        QTest::newRow("/dev/tty0") << 4u << 0u << "a virtual console (4:0, tty0)";
        QTest::newRow("/dev/tty63") << 4u << 63u << "a virtual console (4:63, tty63)";
        QTest::newRow("/dev/ttyS0") << 4u << 64u << "";
        QTest::newRow("/dev/pts/3") << 136u << 3u << "";
        QTest::newRow("/dev/ttyUSB0") << 188u << 0u << "";
        QTest::newRow("/dev/ttyACM0") << 166u << 0u << "";
    }
    // Judged by the numbers alone: no console is ever opened here.
    void devicesThatAreNoSerialPort() {
        QFETCH(quint32, major);
        QFETCH(quint32, minor);
        QFETCH(QString, refusal);
        const QString said = refusedDevice(major, minor);
        QCOMPARE(said.isEmpty(), refusal.isEmpty());
        QVERIFY2(said.contains(refusal), qPrintable(said));
    }

    // A user who is not root cannot pass the exclusive flag, at no moment.
    void nonRootProgramIsKeptOut() {
        // Shared with a forked child that tries to open the port again and again.
        struct Racer {
            std::atomic<qint64> attempts{0};
            std::atomic<qint64> lastInNs{-1}; // when the latest open that got in began
        };
        PtyPair device;
        const QByteArray path = device.slavePath().toLocal8Bit();
        auto* racer = static_cast<Racer*>(::mmap(nullptr, sizeof(Racer), PROT_READ | PROT_WRITE,
                                                 MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        QVERIFY(racer != MAP_FAILED);
        new (racer) Racer;
        QCOMPARE(::chmod(path.constData(), 0666), 0);
        const pid_t suite = ::getpid();
        const pid_t child = ::fork();
        if (child == 0) {
            // Dies with the suite if a failed check returns before the kill below.
            if (::setgid(65534) != 0 || ::setuid(65534) != 0 ||
                ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != suite)
                ::_exit(1);
            for (;;) {
                const qint64 beganNs = monotonicNs();
                const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                if (fd >= 0) {
                    racer->lastInNs = beganNs;
                    ::close(fd);
                }
                ++racer->attempts;
            }
        }
        // It gets in while the port is free.
        QTRY_VERIFY(racer->lastInNs >= 0);
        MainSession s;
        s.setPort(device.slavePath());
        QVERIFY(s.linkStart());
        const qint64 exclusiveNs = monotonicNs();
        const qint64 tried = racer->attempts;
        QTRY_VERIFY(racer->attempts > tried + 1000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QVERIFY(racer->lastInNs < exclusiveNs);
        // And the device still hears us alone.
        s.sendCommTest();
        QCOMPARE(device.read(3), QByteArray::fromHex("0B0510"));
        ::munmap(racer, sizeof(Racer));
    }

    void portIsRetriedOnlyWhereThatIsSafe_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("retried");
        QTest::addColumn<QString>("why");
        const QString session = QStringLiteral("it is the terminal of a running session");
        const QString closed = QStringLiteral("the device closed its end");
        const QString held =
            QStringLiteral("it is in use by another program (PID %1, tst_portfaults)")
                .arg(QCoreApplication::applicationPid());
        QTest::newRow("a shell's terminal") << "session" << false << false << session;
        QTest::newRow("own terminal (/dev/tty)") << "tty" << false << false << session;
        QTest::newRow("never-opened pty") << "gone" << false << false << closed;
        QTest::newRow("missing path")
            << "missing" << false << true << "Cannot open /dev/orv-test-missing: ";
        QTest::newRow("held by another program") << "held" << false << false << held;
        // picocom and tio lock with flock; root passes TIOCEXCL, not that.
        QTest::newRow("another program's flock")
            << "flock" << false << false << "in use by another program, which holds a lock on it";
        // Locked by the device the name resolves to, so a link is the same device.
        QTest::newRow("held through a link") << "alias" << false << false << held;
        QTest::newRow("link not made yet") << "link" << false << true << "";
        // Its other side then closes: the write fails with EIO inside flush.
        QTest::newRow("device that goes") << "device" << true << false << closed;
        // The real cause, though the link has gone too; retried, and followed
        // once the link is made anew.
        QTest::newRow("device behind a link goes") << "device link" << true << true << closed;
    }

    void portIsRetriedOnlyWhereThatIsSafe() {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(bool, retried);
        QFETCH(QString, why);
        PtyPair device;
        QTemporaryDir dir;
        const QString link = dir.filePath("orv-link");
        QString port = device.slavePath();
        // A session leader that opens the terminal makes it its controlling one.
        QProcess shell;
        shell.setChildProcessModifier([] { ::setsid(); });
        MainSession holder;
        if (kind == "session") {
            shell.start("sh", {QStringLiteral("-c"),
                               QStringLiteral("exec 3<>\"$0\"; echo; exec sleep 600"), port});
            QVERIFY(shell.waitForReadyRead());
        } else if (kind == "tty") {
            port = QStringLiteral("/dev/tty");
            if (!QFile(port).open(QIODevice::ReadWrite))
                QSKIP("This process has no controlling terminal");
        } else if (kind == "gone") {
            for (int n = 999; QFile::exists(port); ++n)
                port = QStringLiteral("/dev/pts/%1").arg(n);
        } else if (kind == "missing") {
            port = QStringLiteral("/dev/orv-test-missing");
        } else if (kind == "held" || kind == "alias") {
            QVERIFY(QFile::link(port, link));
            holder.setPort(kind == "held" ? port : link);
            QVERIFY(holder.linkStart());
            // Our lock keeps out programs that lock as picocom does, too.
            QCOMPARE(QProcess::execute("flock", {QStringLiteral("-n"), "-x", port, "true"}), 1);
        } else if (kind == "flock") {
            shell.start("flock", {QStringLiteral("-x"), port, "-c", "echo; exec sleep 600"});
            QVERIFY(shell.waitForReadyRead());
        } else if (kind.contains("link")) {
            port = link;
            if (kind != "link")
                QVERIFY(QFile::link(device.slavePath(), link));
        }
        MainSession s;
        s.setPort(port);
        QCOMPARE(s.linkStart(), opens);
        QString error = s.lastLinkError();
        if (opens) {
            // A reply, and half of the next, come before the device goes.
            QSignalSpy replied(&s, &MainSession::replyReceived);
            QVERIFY(device.write("0B 00 0B\r\nhalf a rep"));
            QVERIFY(replied.wait());
            QFile::remove(link);
            device.closeMaster();
        }
        s.sendCommTest();
        const QByteArray last = s.monitor().line(s.monitor().count() - 1);
        QVERIFY2(last.startsWith(opens ? "Not sent (Cannot write to " : "Not sent ("), last);
        QVERIFY2(last.endsWith("): Comm Test - 0B 05 10"), last);
        if (opens) {
            QTRY_VERIFY(!s.portOpen());
            error = s.lastLinkError();
            QVERIFY2(error.startsWith(QStringLiteral("Lost %1: ").arg(port)), qPrintable(error));
            // Nothing it said is lost, the unfinished reply included.
            const QByteArrayList all = lines(s.monitor());
            QCOMPARE(all.mid(all.size() - 2, 1), QByteArrayList{"Reply: half a rep"});
        } else { // nothing went to whoever owns that terminal
            QCOMPARE(device.readAvailable(), QByteArray());
        }
        // The reason is in the monitor, before the unsent frame or after all.
        const QByteArray said = s.monitor().line(s.monitor().count() - (opens ? 1 : 2));
        QVERIFY2(said.startsWith("Error: " + error.toUtf8()), said);
        QVERIFY2(error.contains(why), qPrintable(error));
        QCOMPARE(s.isReconnecting(), retried);
        if (kind == "device link") {
            PtyPair next;
            const QString fresh = dir.filePath("orv-link.new");
            QVERIFY(QFile::link(next.slavePath(), fresh) && QFile::rename(fresh, link));
            QTRY_VERIFY_WITH_TIMEOUT(s.portOpen(), 5000);
            QCOMPARE(lines(s.monitor()).last(), "Port: " + link.toUtf8() + " is open again");
        }
        shell.kill();
        shell.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
