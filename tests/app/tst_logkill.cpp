// The session log is written once per event-loop turn, yet a line already
// shown (here: printed by the headless run) is on disk when the program is
// killed outright the moment after.
#include "support/files.h"
#include "support/simprocess.h"

#include <QDate>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestLogKill : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shownLinesSurviveSigkill() {
        SimProcess sim;
        QVERIFY(sim.isRunning());
        QTemporaryDir dir;
        const QString sequence = dir.filePath("burst.seq");
        QVERIFY(writeFile(sequence, "repeat 300\n commtest\n expect ACK\nend\nwait 60000\n"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", dir.path());
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(ORV_TEST_PATH),
                  {QStringLiteral("--run"), sequence, "--port", sim.devicePath()});
        QByteArray shown;
        QTRY_VERIFY_WITH_TIMEOUT((shown += run.readAllStandardOutput()).count("Reply: ") >= 150,
                                 20000);
        ::kill(pid_t(run.processId()), SIGKILL);
        QVERIFY(run.waitForFinished(5000));
        shown += run.readAllStandardOutput();
        const QByteArray log = readFile(dir.filePath(
            QStringLiteral("orv-test/%1.log").arg(QDate::currentDate().toString(Qt::ISODate))));
        for (const QByteArray& line : shown.split('\n'))
            QVERIFY2(log.contains(line + '\n'), line.constData());
    }
};

QTEST_GUILESS_MAIN(TestLogKill)
#include "tst_logkill.moc"
