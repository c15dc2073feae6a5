// Frames of one's own and recorded sessions, from the main window: Send Frame
// puts exactly its bytes on the port and refuses bad words before sending (held
// off during a run: tst_sequencewindow); a recording of clicks runs headless and passes.
#include "support/simprocess.h"
#include "support/testbench.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace {

QDialog* openSendFrame(MainWindow* w) {
    trigger(w, "mnuSendFrame");
    return child<QDialog>(w, "dlgSendFrame");
}

void typeFrame(QDialog* d, const QString& text, bool checksum = false) {
    child<QCheckBox>(d, "chkChecksum")->setChecked(checksum);
    child<QLineEdit>(d, "txtFrame")->setText(text);
    QTest::keyClick(child<QLineEdit>(d, "txtFrame"), Qt::Key_Return);
}

QByteArray lastLine(MainWindow* w) {
    const MonitorModel& m = w->session().monitor();
    return m.count() ? m.line(m.count() - 1) : QByteArray();
}

} // namespace

class TestSendAndRecord : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void sendFrame_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused, with this reason shown
        QTest::addColumn<QString>("shown");
        QTest::newRow("checksum ticked")
            << "0b 07" << true << QByteArray::fromHex("0B0712") << "Sent: 0B 07 12";
        QTest::newRow("sum written, and ticked")
            << "0B 05 SUM" << true << QByteArray::fromHex("0B0510") << "Sent: 0B 05 10";
        QTest::newRow("bad word") << "0B 0G" << false << QByteArray() << "\"0G\" is not a byte";
        QTest::newRow("nothing, ticked") << "" << true << QByteArray() << "\"sum\" needs bytes";
    }
    void sendFrame() {
        QFETCH(QString, text);
        QFETCH(bool, checksum);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        TestBench bench;
        MainWindow* w = bench.start();
        QDialog* d = openSendFrame(w);
        QVERIFY(d && d->isVisible() && !d->isModal());
        typeFrame(d, text, checksum);
        QByteArray got;
        if (bytes.isEmpty()) {
            QVERIFY2(child<QLabel>(d, "lblFrame")->text().startsWith(shown),
                     qPrintable(child<QLabel>(d, "lblFrame")->text()));
            // Only the next good frame arrives: the refused one sent nothing.
            typeFrame(d, "0B 05 10");
            QTRY_COMPARE((got += bench.device.readAvailable()), QByteArray::fromHex("0B0510"));
            QCOMPARE(child<QListWidget>(d, "lstRecentFrames")->count(), 1);
            return;
        }
        QTRY_COMPARE((got += bench.device.readAvailable()), bytes);
        QCOMPARE(lastLine(w), shown.toUtf8());
        // Picked again from the list of frames sent, it goes out again.
        auto* recent = child<QListWidget>(d, "lstRecentFrames");
        QCOMPARE(recent->item(0)->text(), shown.mid(6));
        child<QLineEdit>(d, "txtFrame")->clear();
        Q_EMIT recent->itemActivated(recent->item(0));
        QTRY_COMPARE((got += bench.device.readAvailable()), bytes + bytes);
        QCOMPARE(recent->count(), 1);
    }

    void recordingRunsHeadlessAndPasses() {
        SimProcess sim({"--answer", "0B 02 02 50 5F=NAK", "--answer", "0B 06 11=none"});
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        const QString title = w->windowTitle();
        const QString path = bench.dir.filePath("rec.seq");
        // Typing a path into the dialog and pressing Enter is enough.
        QTimer typist;
        connect(&typist, &QTimer::timeout, &typist, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (auto* name = d ? d->findChild<QLineEdit*>("fileNameEdit") : nullptr) {
                typist.stop();
                name->setText(path); // typed at once: no completion pops up over it
                QTest::keyClick(name, Qt::Key_Return);
            }
        });
        typist.start(10);
        trigger(w, "mnuRecordSequence");
        QCOMPARE(w->windowTitle(), title + " - recording to rec.seq");

        const auto press = [&](const char* caption, const QByteArray& line) {
            QWidget* button =
                QString(caption).size() == 1 ? key(w, caption) : child<QWidget>(w, caption);
            QTest::mouseClick(button, Qt::LeftButton);
            QTRY_COMPARE(lastLine(w), line);
        };
        press("1", "Reply: 0B 00 0B\r\n");
        press("5", "Reply: 0B FF 0A\r\n");
        press("*", "Reply: 0B FF 0A\r\n");
        press("cmdReset", "Reset - 0B 06 11");
        QTRY_VERIFY(sim.log().contains("0B 06 11")); // the device had its chance to answer
        typeFrame(openSendFrame(w), "0B 05", true);
        QTRY_COMPARE(lastLine(w), QByteArray("Reply: 0B 00 0B\r\n"));
        trigger(w, "mnuStopRecording");
        QCOMPARE(w->windowTitle(), title);

        const QByteArray text = readFile(path);
        for (const char* has :
             {"# rec.seq: recorded by orv-test from ", "\nkey 1\nexpect ACK within ",
              "\nkey 5\nexpect NAK within ", "\nkey *\nreset\nexpect none within ",
              "\nsend 0B 05 10\nexpect ACK within "})
            QVERIFY2(text.contains(has), text.constData());
        w->session().linkEnd(); // the port free for the run
        QProcess run;
        run.start(QStringLiteral(ORV_TEST_PATH), {"--run", path, "--port", sim.devicePath()});
        QVERIFY(run.waitForFinished(20000));
        const QByteArray out = run.readAllStandardOutput();
        QVERIFY2(out.endsWith("\nPASS: 4 of 4 expectations met\n"), out.constData());
        QCOMPARE(run.exitCode(), 0);
    }
};

QTEST_MAIN(TestSendAndRecord)
#include "tst_sendandrecord.moc"
