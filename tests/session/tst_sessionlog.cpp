// The session log: every monitor line, in order, on disk as it happens.
#include "session/mainsession.h"
#include "session/stampedline.h"
#include "session/visibletext.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The escaped reply payloads of a log, joined: what the device sent, as shown.
QString replies(const QByteArray& log) {
    QString out;
    for (const QByteArray& line : log.split('\n')) {
        const int at = line.indexOf("  Reply: ");
        if (at == 23) // after "yyyy-MM-dd HH:mm:ss.zzz"
            out += QString::fromUtf8(line.mid(at + 9));
    }
    return out;
}

// Whether process pid has the file at path open.
bool hasOpen(qint64 pid, const QString& path) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}

} // namespace

class TestSessionLog : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_state;

private Q_SLOTS:
    // A log folder of its own for each case: logs are per day, not per run.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = m_dir->path();
        qputenv("XDG_STATE_HOME", m_state.toUtf8());
    }

    void everyLineGoesToTheLogOfTheDayWithItsTime() {
        MainSession s;
        s.sendKeyCode(0); // no port: a "Not sent" line
        s.clearMonitor(); // clears the screen, never the log
        s.sendCommTest();
        QCoreApplication::processEvents(); // the log is written once per event-loop turn
        const QString path = SessionLog::pathFor(QDate::currentDate());
        QCOMPARE(path, m_state + QStringLiteral("/orv-test/") +
                           QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".log"));
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last
        QVERIFY(lines[0].endsWith(": Key: 1 - 0B 00 02 50 5D"));
        // The log and the clipboard carry a line alike.
        QCOMPARE(QString::fromUtf8(lines[1]),
                 stampedLine(s.monitor().at(0).msecsSinceEpoch, s.monitor().line(0)));
        QVERIFY(lines[1].endsWith(": Comm Test - 0B 05 10"));
        QVERIFY(QDateTime::fromString(QString::fromLatin1(lines[0].left(23)),
                                      QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                    .isValid());
    }

    void logThatCannotBeWrittenIsReportedOnceAndTheSessionGoesOn() {
        qputenv("XDG_STATE_HOME", "/proc/orv-test-cannot-be-here");
        MainSession s;
        for (qint16 key : {0, 1, 2})
            s.sendKeyCode(key);
        QCOMPARE(s.monitor().count(), 4);
        QVERIFY(s.monitor().line(0).endsWith("Key: 1 - 0B 00 02 50 5D"));
        QVERIFY(s.monitor().line(1).startsWith("Error: Cannot write the session log /proc/"));
        QVERIFY(s.monitor().line(2).endsWith("Key: 2 - 0B 00 03 50 5E"));
    }

    void logHoldsEveryLineAfterTheProgramIsKilled() {
        // The real program, copied to a folder of its own so that its
        // config.ini (beside it) points at this test's device.
        QTemporaryDir programDir;
        const QString program = programDir.filePath(QStringLiteral("orv-test"));
        QVERIFY(QFile::copy(QStringLiteral(ORV_TEST_PATH), program));
        PtyPair device;
        QFile config(programDir.filePath(QStringLiteral("config.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[SETTINGS]\nport=" + device.slavePath().toUtf8() + "\n");
        config.close();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
        p.setProcessEnvironment(env);
        p.start(program, {});
        QVERIFY(p.waitForStarted());
        const QString log = SessionLog::pathFor(QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(hasOpen(p.processId(), device.slavePath()), 20000);
        QByteArray sent;
        for (int i = 1; i <= 300; ++i) {
            const QByteArray reply = "0B 00 0B " + QByteArray::number(i) + "\r\n";
            QVERIFY(device.write(reply));
            sent += reply;
        }
        const QString expected = visibleText(sent);
        QTRY_COMPARE_WITH_TIMEOUT(replies(readFile(log)), expected, 20000);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(replies(readFile(log)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSessionLog)
#include "tst_sessionlog.moc"
