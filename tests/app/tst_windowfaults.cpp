// What the window must not lose or misstate: a half reply at the end, however
// the program ends; an old reply status; a viewer that never came.
#include "app/shapewidget.h"
#include "support/dialogs.h"
#include "support/files.h"
#include "support/testbench.h"
#include "session/sessionlog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>

namespace {

const QByteArray half = "0B 00 0B half";

QByteArray todaysLog() {
    QFile f(SessionLog::pathFor(QDate::currentDate()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool hasOpen(qint64 pid, const QString& path) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}

} // namespace

class TestWindowFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void halfReplyIsKeptHoweverTheWindowEnds_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("File > Close") << "close";
        QTest::newRow("close box") << "box";
        QTest::newRow("settings restart") << "restart";
    }

    void halfReplyIsKeptHoweverTheWindowEnds() {
        QFETCH(QString, how);
        TestBench bench;
        PtyPair next;
        MainWindow* w = bench.start();
        QVERIFY(w && w->session().portOpen());
        QSignalSpy received(&w->session().link(), &SerialLink::commEvent);
        const QByteArray tagged = half + ' ' + how.toLatin1();
        QVERIFY(bench.device.write(tagged));
        QVERIFY(received.wait());
        if (how == QLatin1String("close")) {
            auto boxes = answerMessageBoxes({QMessageBox::Ok});
            trigger(w, "mnuClose");
        } else if (how == QLatin1String("box")) {
            w->close();
        } else {
            trigger(w, "mnuSettings");
            child<QLineEdit>(w, "txtPortSettings")->setText(next.slavePath());
            auto boxes = answerMessageBoxes({QMessageBox::Ok});
            click(w, "cmdSaveSettings");
        }
        QTRY_VERIFY(bench.windows.main() != w);
        QVERIFY2(todaysLog().contains("  Reply: " + tagged + '\n'), todaysLog().right(300));
    }

    void stopSignalEndsLikeCloseWithEverythingKept_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void stopSignalEndsLikeCloseWithEverythingKept() {
        QFETCH(int, signalNumber);
        // The real program, beside its own config.ini naming this test's device.
        QTemporaryDir programDir;
        const QString program = programDir.filePath(QStringLiteral("orv-test"));
        QVERIFY(QFile::copy(QStringLiteral(ORV_TEST_PATH), program));
        PtyPair device;
        QVERIFY(writeFile(programDir.filePath(QStringLiteral("config.ini")),
                          "[SETTINGS]\nport=" + device.slavePath().toUtf8() + "\n"));
        QProcess p;
        p.start(program, {});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(hasOpen(p.processId(), device.slavePath()), 20000);
        const QByteArray tag = QTest::currentDataTag();
        const QByteArray whole = "0B 00 0B whole " + tag + "\r\n";
        const QByteArray tagged = half + ' ' + tag;
        QVERIFY(device.write(whole));
        QTRY_VERIFY_WITH_TIMEOUT(todaysLog().contains(whole.trimmed()), 20000);
        // Read at once or, at the latest, from the system's queue as the port closes.
        QVERIFY(device.write(tagged));
        ::kill(pid_t(p.processId()), signalNumber);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(todaysLog().contains("  Reply: " + tagged + '\n'), todaysLog().right(300));
        // The port's lock went with it.
        const QString lock =
            QStringLiteral("/run/lock/LCK..") + device.slavePath().mid(5).replace('/', '_');
        QVERIFY(!QFile::exists(lock));
    }

    void lampGoesDarkWhenItsReplyIsNoLongerCurrent() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* caption = child<QLabel>(w, "lblResponse");
        auto* lamp = child<ShapeWidget>(w, "Shape1");
        for (const char* end : {"Clear Comm", "port lost"}) {
            QVERIFY(bench.device.write("0B 00 ACK\r\n"));
            QTRY_COMPARE(caption->text(), QStringLiteral("ACK"));
            if (QByteArray(end) == "Clear Comm")
                QTest::mouseClick(child<QWidget>(w, "cmdClearComm"), Qt::LeftButton);
            else
                bench.device.closeMaster();
            QTRY_COMPARE(caption->text(), QStringLiteral("Response"));
            QCOMPARE(lamp->accessibleDescription(), QStringLiteral("black"));
            QCOMPARE(lamp->fillColor(), QColor(Qt::black));
        }
    }

    void viewerThatFailsIsReported() {
        TestBench bench;
        MainWindow* w = bench.start();
        // An opener that finds no viewer, as xdg-open does on a bare system.
        const QString opener = bench.dir.filePath(QStringLiteral("xdg-open"));
        QVERIFY(writeFile(opener, "#!/bin/sh\ntouch \"$0.ran\"\nexit 3\n"));
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bench.dir.path().toLocal8Bit() + ':' + path);
        const QString document = bench.dir.filePath(QStringLiteral("ORV_API_v103.pdf"));
        QFile(document).open(QIODevice::WriteOnly);
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        w->findChild<QAction*>(QStringLiteral("mnuMetaL"))->trigger();
        QTRY_VERIFY(answer.seen());
        qputenv("PATH", path);
        QCOMPARE(answer->text, QStringLiteral("No viewer could open %1.").arg(document));
        // Said because the opener failed, not for want of trying it.
        QVERIFY(QFile::exists(opener + QStringLiteral(".ran")));
    }
};

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
