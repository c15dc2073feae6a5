// Ports that must not be taken or trusted: a session's terminal, a gone
// pseudo-terminal, a port another program holds, a write that fails late.
#include "session/mainsession.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A process that has the terminal at path as its controlling terminal, as a
// shell in a terminal window has.
class SessionOnTerminal {
public:
    explicit SessionOnTerminal(const QByteArray& path) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setsid();
            const int fd = ::open(path.constData(), O_RDWR);
            const char ok = fd >= 0 && ::ioctl(fd, TIOCSCTTY, 0) == 0 ? 'y' : 'n';
            [[maybe_unused]] const ssize_t n = ::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        pollfd p{ready[0], POLLIN, 0};
        char ok = 0;
        m_ready = ::poll(&p, 1, 10000) == 1 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~SessionOnTerminal() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool isReady() const { return m_ready; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

QString unusedPtsPath() {
    for (int n = 999;; ++n) {
        const QString path = QStringLiteral("/dev/pts/%1").arg(n);
        if (!QFile::exists(path))
            return path;
    }
}

} // namespace

class TestPortFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        static QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
    }

    void portIsRetriedOnlyWhereThatIsSafe_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("retried");
        QTest::addColumn<QString>("why");
        QTest::newRow("a shell's terminal")
            << "session" << false << false << "it is the terminal of a running session";
        QTest::newRow("own terminal (/dev/tty)")
            << "tty" << false << false << "it is the terminal of a running session";
        QTest::newRow("gone pseudo-terminal")
            << "gone" << false << false << "the device closed its end";
        QTest::newRow("simulated device") << "device" << true << false << "";
        QTest::newRow("link not made yet") << "link" << false << true << "";
    }

    void portIsRetriedOnlyWhereThatIsSafe() {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(bool, retried);
        QFETCH(QString, why);
        PtyPair device;
        QVERIFY(device.isValid());
        QTemporaryDir dir;
        std::unique_ptr<SessionOnTerminal> shell;
        QString port = device.slavePath();
        if (kind == QLatin1String("session")) {
            shell = std::make_unique<SessionOnTerminal>(QFile::encodeName(port));
            QVERIFY(shell->isReady());
        } else if (kind == QLatin1String("tty")) {
            port = QStringLiteral("/dev/tty");
            const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
            if (fd < 0)
                QSKIP("This process has no controlling terminal");
            ::close(fd);
        } else if (kind == QLatin1String("gone")) {
            port = unusedPtsPath();
        } else if (kind == QLatin1String("link")) {
            port = dir.filePath(QStringLiteral("orv-link"));
        }
        MainSession s;
        s.setPort(port);
        QCOMPARE(s.linkStart(), opens);
        QCOMPARE(s.isReconnecting(), retried);
        QVERIFY2(s.lastLinkError().contains(why), qPrintable(s.lastLinkError()));
        if (!opens) {
            // Nothing went to whoever owns that terminal.
            s.sendCommTest();
            QVERIFY(s.monitor().line(s.monitor().count() - 1).startsWith("Not sent ("));
            QCOMPARE(device.readAvailable(), QByteArray());
        }
    }

    void portHeldByAnotherProgramIsNamedAsInUse() {
        PtyPair device;
        MainSession first;
        first.setPort(device.slavePath());
        QVERIFY(first.linkStart());
        MainSession second;
        second.setPort(device.slavePath());
        QVERIFY(!second.linkStart());
        QVERIFY2(second.lastLinkError().endsWith(
                     QStringLiteral("it is in use by another program (PID %1, tst_portfaults)")
                         .arg(QCoreApplication::applicationPid())),
                 qPrintable(second.lastLinkError()));
    }

    void frameThatFailsInTheSystemIsNotReportedSent() {
        PtyPair device;
        MainSession s;
        s.setPort(device.slavePath());
        QVERIFY(s.linkStart());
        // With the other side closed, the write fails with EIO inside flush.
        device.closeMaster();
        s.sendCommTest();
        const QByteArray last = s.monitor().line(s.monitor().count() - 1);
        QVERIFY2(last.startsWith("Not sent (Cannot write to "), last.constData());
        QVERIFY(last.endsWith("): Comm Test - 0B 05 10"));
        // The loss that follows says what happened.
        QTRY_VERIFY(!s.portOpen());
        QVERIFY(s.lastLinkError().endsWith(QLatin1String(": the device closed its end")));
    }
};

QTEST_GUILESS_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
