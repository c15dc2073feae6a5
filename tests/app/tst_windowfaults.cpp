// What the window must not lose or misstate: a half reply at the end, however
// the program ends; an old reply status; a viewer that never came.
#include "app/shapewidget.h"
#include "session/sessionlog.h"
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>

namespace {
QByteArray todaysLog() {
    return readFile(SessionLog::pathFor(QDate::currentDate()));
}
} // namespace

class TestWindowFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void halfReplyIsKeptHoweverTheProgramEnds_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("File > Close") << 0;
        QTest::newRow("close box") << 0;
        QTest::newRow("settings restart") << 0;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void halfReplyIsKeptHoweverTheProgramEnds() {
        QFETCH(int, signalNumber);
        const QByteArray how = QTest::currentDataTag();
        const QByteArray tagged = "0B 00 0B half " + how;
        TestBench bench;
        if (signalNumber) {
            // The real program, beside the bench's config.ini.
            const QString program = bench.dir.filePath(QStringLiteral("orv-test"));
            QVERIFY(QFile::copy(QStringLiteral(ORV_TEST_PATH), program));
            QProcess p;
            p.start(program, {});
            // A whole line logged: the program is up and reading.
            const QByteArray whole = "0B 00 0B whole " + how + "\r\n";
            QVERIFY(bench.device.write(whole));
            QTRY_VERIFY_WITH_TIMEOUT(todaysLog().contains(whole.trimmed()), 20000);
            // Read at once or, at the latest, from the system's queue as the port closes.
            QVERIFY(bench.device.write(tagged));
            ::kill(pid_t(p.processId()), signalNumber);
            QVERIFY(p.waitForFinished(20000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(!QFile::exists(QStringLiteral("/run/lock/LCK..") +
                                   bench.device.slavePath().mid(5).replace('/', '_')));
        } else {
            PtyPair next;
            MainWindow* w = bench.start();
            QSignalSpy received(&w->session().link(), &SerialLink::commEvent);
            QVERIFY(bench.device.write(tagged) && received.wait());
            if (how == "close box") {
                w->close();
            } else {
                auto boxes = answerMessageBoxes({QMessageBox::Ok});
                if (how == "File > Close") {
                    trigger(w, "mnuClose");
                } else {
                    trigger(w, "mnuSettings");
                    child<QLineEdit>(w, "txtPortSettings")->setText(next.slavePath());
                    click(w, "cmdSaveSettings");
                }
            }
            QTRY_VERIFY(bench.windows.main() != w);
        }
        QVERIFY2(todaysLog().contains("  Reply: " + tagged + '\n'), todaysLog().right(300));
    }

    void lampGoesDarkWhenItsReplyIsNoLongerCurrent() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* caption = child<QLabel>(w, "lblResponse");
        for (bool clear : {true, false}) {
            QVERIFY(bench.device.write("0B 00 ACK\r\n"));
            QTRY_COMPARE(caption->text(), QStringLiteral("ACK"));
            if (clear)
                click(w, "cmdClearComm");
            else
                bench.device.closeMaster();
            QTRY_COMPARE(caption->text(), QStringLiteral("Response"));
            auto* lamp = child<ShapeWidget>(w, "Shape1");
            QCOMPARE(lamp->fillColor(), QColor(Qt::black));
            QCOMPARE(lamp->accessibleDescription(), QStringLiteral("black"));
        }
    }

    void viewerThatFailsIsReported() {
        TestBench bench;
        MainWindow* w = bench.start();
        // An opener that finds no viewer, as xdg-open does on a bare system.
        const QString opener = bench.dir.filePath(QStringLiteral("xdg-open"));
        QVERIFY(writeFile(opener, "#!/bin/sh\ntouch \"$0.ran\"\nexit 3\n"));
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", bench.dir.path().toLocal8Bit() + ':' + qgetenv("PATH"));
        const QString document = bench.dir.filePath(QStringLiteral("ORV_API_v103.pdf"));
        QVERIFY(writeFile(document, {}));
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        trigger(w, "mnuMetaL");
        QTRY_VERIFY(answer.seen());
        QCOMPARE(answer->text, QStringLiteral("No viewer could open %1.").arg(document));
        // Said because the opener failed, not for want of trying it.
        QVERIFY(QFile::exists(opener + QStringLiteral(".ran")));
    }
};

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
