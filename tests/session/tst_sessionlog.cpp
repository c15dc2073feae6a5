// The session log: every monitor line, in order, on disk as it happens.
#include "session/mainsession.h"
#include "session/stampedline.h"
#include "support/files.h"

#include <QTemporaryDir>
#include <QTest>

class TestSessionLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyLineGoesToTheLogOfTheDayWithItsTime() {
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        MainSession s;
        s.sendKeyCode(0); // no port: a "Not sent" line
        s.clearMonitor(); // clears the screen, never the log
        s.sendCommTest();
        // Written once per turn of the event loop, not held until the end.
        QCoreApplication::processEvents();
        const QString path = SessionLog::pathFor(QDate::currentDate());
        QCOMPARE(path, state.path() + QStringLiteral("/orv-test/") +
                           QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".log"));
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last
        QVERIFY(lines[0].endsWith(": Key: 1 - 0B 00 02 50 5D"));
        // The log and the clipboard carry a line alike.
        QCOMPARE(QString::fromUtf8(lines[1]),
                 stampedLine(s.monitor().at(0).msecsSinceEpoch, s.monitor().line(0)));
    }
};

QTEST_GUILESS_MAIN(TestSessionLog)
#include "tst_sessionlog.moc"
