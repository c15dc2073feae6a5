// Ports that must not be taken or trusted: a session's terminal, a gone
// pseudo-terminal, a port another program holds, a write that fails late.
#include "session/mainsession.h"
#include "support/pty.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

class TestPortFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        static QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
    }

    void portIsRetriedOnlyWhereThatIsSafe_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("retried");
        QTest::addColumn<QString>("why");
        const QString session = QStringLiteral("it is the terminal of a running session");
        const QString closed = QStringLiteral("the device closed its end");
        QTest::newRow("a shell's terminal") << "session" << false << false << session;
        QTest::newRow("own terminal (/dev/tty)") << "tty" << false << false << session;
        QTest::newRow("never-opened pty") << "gone" << false << false << closed;
        QTest::newRow("held by another program")
            << "held" << false << false
            << QStringLiteral("it is in use by another program (PID %1, tst_portfaults)")
                   .arg(QCoreApplication::applicationPid());
        QTest::newRow("link not made yet") << "link" << false << true << "";
        // Its other side then closes: the write fails with EIO inside flush.
        QTest::newRow("device that goes") << "device" << true << false << closed;
    }

    void portIsRetriedOnlyWhereThatIsSafe() {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(bool, retried);
        QFETCH(QString, why);
        PtyPair device;
        QTemporaryDir dir;
        QString port = device.slavePath();
        // A session leader that opens the terminal makes it its controlling one.
        QProcess shell;
        shell.setChildProcessModifier([] { ::setsid(); });
        MainSession holder;
        if (kind == QLatin1String("session")) {
            shell.start(QStringLiteral("sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("exec 3<>\"$0\"; echo; exec sleep 600"), port});
            QVERIFY(shell.waitForReadyRead());
        } else if (kind == QLatin1String("tty")) {
            port = QStringLiteral("/dev/tty");
            if (!QFile(port).open(QIODevice::ReadWrite))
                QSKIP("This process has no controlling terminal");
        } else if (kind == QLatin1String("gone")) {
            for (int n = 999; QFile::exists(port); ++n)
                port = QStringLiteral("/dev/pts/%1").arg(n);
        } else if (kind == QLatin1String("held")) {
            holder.setPort(port);
            QVERIFY(holder.linkStart());
        } else if (kind == QLatin1String("link")) {
            port = dir.filePath(QStringLiteral("orv-link"));
        }
        MainSession s;
        s.setPort(port);
        QCOMPARE(s.linkStart(), opens);
        QCOMPARE(s.isReconnecting(), retried);
        QString error = s.lastLinkError();
        if (opens)
            device.closeMaster();
        s.sendCommTest();
        const QByteArray last = s.monitor().line(s.monitor().count() - 1);
        QVERIFY2(last.startsWith(opens ? "Not sent (Cannot write to " : "Not sent ("), last);
        QVERIFY2(last.endsWith("): Comm Test - 0B 05 10"), last);
        if (opens) {
            QTRY_VERIFY(!s.portOpen());
            error = s.lastLinkError();
        } else { // nothing went to whoever owns that terminal
            QCOMPARE(device.readAvailable(), QByteArray());
        }
        QVERIFY2(error.contains(why), qPrintable(error));
        shell.kill();
        shell.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
