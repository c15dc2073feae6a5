// A sequence run from the main window: the menu, the file question, and the
// buttons that send held off while it goes.
#include "app/runwindowplacement.h"
#include "sequence/latencytrace.h"
#include "session/sessionlog.h"
#include "support/dialogs.h"
#include "support/filesizelimit.h"
#include "support/testbench.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <unistd.h>

class TestSequenceWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }
    void runFromTheMenuHoldsOffClicksUntilStoppedAndItsReportIsSavedWholeOrNotAtAll() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QString path = bench.dir.filePath("hold.seq");
        QVERIFY(writeFile(path, "key 1\nwait 600000\nkey 2\n"));
        trigger(w, "mnuSendFrame"); // open beside the run, held off as the keys are
        auto* frame = child<QLineEdit>(w, "txtFrame");
        const QList<QWidget*> senders{
            child<QGroupBox>(w, "frmKeypad"), child<QPushButton>(w, "cmdCommTest"),
            child<QPushButton>(w, "cmdReset"), child<QPushButton>(w, "cmdSendFrame")};

        FileAnswers files({path});
        trigger(w, "mnuRunSequence");
        QByteArray sent;
        QTRY_COMPARE((sent += bench.device.readAvailable()), QByteArray("\x0B\x00\x02\x50\x5D", 5));
        for (QWidget* b : senders)
            QVERIFY(!b->isEnabled());
        QVERIFY(!child<QAction>(w, "mnuRunSequence")->isEnabled());
        QTest::keyClick(child<QWidget>(w, "lstComm"), Qt::Key_5); // no more than a click would
        QVERIFY(child<QLabel>(w, "lblFrame")->text().startsWith("A sequence is running"));
        frame->setText("0B 07 12");
        QTest::keyClick(frame, Qt::Key_Return); // nor Enter in Send Frame
        QTRY_VERIFY(child<QWidget>(w, "frmSequenceRun")->isVisible());
        auto settingsRefused = answerMessageBoxes({QMessageBox::Ok});
        trigger(w, "mnuSettings");
        QTRY_COMPARE(settingsRefused->size(), 1);
        QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());

        trigger(w, "mnuStopSequence");
        QCOMPARE(child<QLabel>(w, "lblSequenceVerdict")->text(),
                 "STOPPED: operator stop at hold.seq:2 after 0 expectations, 0 failed");
        for (QWidget* b : senders)
            QVERIFY(b->isEnabled());
        QCOMPARE(bench.device.readAvailable(), QByteArray()); // key 2, the 5, the frame: none
        QTest::keyClick(frame, Qt::Key_Return);
        QTRY_COMPARE((sent += bench.device.readAvailable()),
                     QByteArray::fromHex("0B0002505D0B0712"));

        // A file-size limit cuts the report short: said, and no file left behind.
        const QString report = bench.dir.filePath("s.xml");
        FileSizeLimit limit(64);
        QVERIFY(limit.set);
        const auto refused = answerMessageBoxes({QMessageBox::Ok});
        files.add(report);
        click(w, "cmdSaveReport");
        QTRY_COMPARE(refused->size(), 1);
        QVERIFY(limit.lift());
        QCOMPARE(refused->first(),
                 "Cannot write the report " + report + ": File too large; no file was made");
        QVERIFY(!QFile::exists(report));
        files.add(report);
        click(w, "cmdSaveReport");
        QTRY_VERIFY(readFile(report).contains("<system-err>STOPPED: operator stop at hold.seq:2"));

        // Save Chart refuses a file the run reads, by whatever name, as Save Report does.
        const QString chart = bench.dir.filePath("hold.svg");
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(chart).constData()),
                 0);
        const auto chartRefused = answerMessageBoxes({QMessageBox::Ok});
        files.add(chart);
        click(w, "cmdSaveChart");
        QTRY_COMPARE(chartRefused->size(), 1);
        QCOMPARE(chartRefused->first(),
                 "Cannot write the chart " + chart + ": it is the sequence file " + path);
        QCOMPARE(readFile(chart), QByteArray("key 1\nwait 600000\nkey 2\n"));
    }
    void closingDuringARunAsksFirst_data() {
        QTest::addColumn<bool>("closeBox"); // else File > Close
        QTest::addColumn<bool>("ok");
        QTest::newRow("close box, Cancel") << true << false;
        QTest::newRow("close box, OK") << true << true;
        QTest::newRow("File > Close, Cancel") << false << false;
        QTest::newRow("File > Close, OK") << false << true;
    }
    void closingDuringARunAsksFirst() {
        QFETCH(bool, closeBox);
        QFETCH(bool, ok);
        TestBench bench;
        QPointer<MainWindow> w = bench.start();
        const QString path = bench.dir.filePath("long.seq");
        QVERIFY(writeFile(path, "key 1\nwait 600000\n"));
        w->runSequenceFile(path);
        QTRY_VERIFY(w->sequenceRunning());
        auto boxes = answerMessageBoxes({ok ? QMessageBox::Ok : QMessageBox::Cancel});
        if (closeBox)
            w->close();
        else
            trigger(w, "mnuClose");
        QCOMPARE(boxes->size(), 1);
        QCOMPARE(boxes->first(), "A sequence is running. Stop it and close?");
        QCOMPARE(bench.endCount, int(ok));
        if (!ok) {
            QVERIFY(w->isVisible() && w->sequenceRunning());
            return;
        }
        QTRY_VERIFY(!w);
        const QByteArray log = readFile(SessionLog::pathFor(QDate::currentDate()));
        QVERIFY(log.contains("  Run: long.seq started\n"));
        QVERIFY2(log.contains("  Run: STOPPED: program closed at long.seq:2 after 0 expectations, "
                              "0 failed\n"),
                 log.right(400).constData());
    }
    void runWindowKeepsTheMenuBarClearAndTheMonitorWhereItCan_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("mainAt");
        QTest::addColumn<QString>("covers"); // of the main window: nothing, keypad or monitor
        const QRect small(0, 0, 1024, 768), laptop(0, 0, 1280, 800), wide(0, 0, 1920, 1080);
        QTest::newRow("1024x768 top left") << small << QPoint(0, 0) << "keypad";
        QTest::newRow("1024x768 bottom left") << small << QPoint(0, 128) << "keypad";
        QTest::newRow("1024x768 centred") << small << QPoint(162, 64) << "keypad";
        QTest::newRow("1024x768 top right") << small << QPoint(324, 0) << "monitor";
        QTest::newRow("1024x768 below a panel")
            << QRect(0, 32, 1024, 736) << QPoint(0, 32) << "keypad";
        QTest::newRow("1280x800 centred") << laptop << QPoint(290, 80) << "keypad";
        QTest::newRow("1920x1080 centred") << wide << QPoint(610, 220) << "nothing";
        QTest::newRow("1920x1080 bottom right") << wide << QPoint(1220, 440) << "nothing";
    }
    void runWindowKeepsTheMenuBarClearAndTheMonitorWhereItCan() {
        QFETCH(QRect, screen);
        QFETCH(QPoint, mainAt);
        QFETCH(QString, covers);
        // The main window's frame, title and menu bar, and monitor, as a window manager shows them.
        const MainWindowPlaces main{QRect(mainAt, QSize(700, 640)), QRect(mainAt, QSize(700, 52)),
                                    QRect(mainAt + QPoint(8, 164), QSize(297, 457))};
        const QSize least(460, 440);
        const QRect r = placeRunWindow(screen, main, QSize(640, 580), least);
        QVERIFY2(screen.contains(r), qPrintable(QDebug::toString(r)));
        QVERIFY(!r.intersects(main.top));
        QVERIFY(r.width() >= least.width() && r.height() >= least.height());
        const char* covered = !r.intersects(main.frame)    ? "nothing"
                              : r.intersects(main.monitor) ? "monitor"
                                                           : "keypad";
        QCOMPARE(QString::fromLatin1(covered), covers);
    }
    void latencyTraceKeepsExtremesAndFailuresAsItMerges() {
        LatencyTrace trace;
        qint64 failures = 0, least = 0, most = 0;
        for (qint64 ms = 0; ms < 4 * 3600'000; ms += 997) { // merges 9 times
            const qint64 us = 500 + (ms * 7919) % 90'001;
            trace.addReply(ms, us);
            least = ms ? qMin(least, us) : us, most = qMax(most, us);
            if (ms % 13 == 0 && ++failures)
                trace.addFailure(ms);
        }
        qint64 seenFailures = 0, seenLeast = most, seenMost = 0;
        for (int i = 0; i < trace.used(); ++i) {
            seenFailures += trace.at(i).failures;
            seenLeast = qMin(seenLeast, trace.at(i).minUs);
            seenMost = qMax(seenMost, trace.at(i).maxUs);
        }
        QCOMPARE(QList<qint64>({seenFailures, seenLeast, seenMost}),
                 QList<qint64>({failures, least, most}));
    }
    void runWindowFitsLeadsToAFailuresReplyAndSavesItsChart() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QString path = bench.dir.filePath("nak.seq");
        QVERIFY(
            writeFile(path, QByteArray("repeat 1\n").repeated(100) +
                                "key 1\nexpect ACK within 5000\nkey 2\nexpect ACK within 5000\n" +
                                QByteArray("end\n").repeated(100)));
        FileAnswers files({path});
        trigger(w, "mnuRunSequence");
        QWidget* run = nullptr; // made once the file has been read
        QTRY_VERIFY((run = child<QWidget>(w, "frmSequenceRun")) &&
                    child<QLabel>(run, "lblSequenceStep")->text().contains("1, 1, 1, 1"));
        run->layout()->activate(); // a deep block's long step line must not widen it
        QVERIFY(run->screen()->availableGeometry().contains(run->frameGeometry()));
        const QWidget* bar = w->menuBar();
        QVERIFY(!run->frameGeometry().intersects(QRect(bar->mapToGlobal(QPoint()), bar->size())));
        QByteArray sent;
        for (int i : {1, 2}) {
            QTRY_COMPARE((sent += bench.device.readAvailable()).size(), 5 * i);
            QVERIFY(bench.device.write(i == 1 ? "0B FF\n" : "0B 00\n"));
        }
        auto* failures = child<QTreeWidget>(run, "lstFailures");
        QTRY_COMPARE(failures->topLevelItemCount(), 1);
        const QRect row = failures->visualItemRect(failures->topLevelItem(0));
        QTest::mouseClick(failures->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(failures->viewport(), Qt::LeftButton, {}, row.center());
        const MonitorModel& m = w->session().monitor();
        QCOMPARE(m.line(m.selectedIndex()), "Reply: 0B FF\n"); // not the later ACK
        QVERIFY(lines(m).contains("Run: nak.seq started"));
        QTRY_COMPARE(lines(m).last(), "Run: FAIL: 1 of 2 expectations failed");
        // Wide enough for its figures, whole.
        auto* latency = child<QLabel>(run, "lblSequenceLatency");
        QVERIFY2(latency->contentsRect().width() >=
                     latency->fontMetrics().horizontalAdvance(latency->text()),
                 qPrintable(latency->text()));
        for (const QString name : {"chart.svg", "chart.png"}) {
            files.add(bench.dir.filePath(name));
            click(run, "cmdSaveChart");
            QTRY_VERIFY(QFileInfo(bench.dir.filePath(name)).size() > 0);
        }
        const QByteArray svg = readFile(bench.dir.filePath("chart.svg"));
        QVERIFY2(svg.endsWith("</svg>\n") && svg.count("class=\"failed\"") == 1, svg.constData());
        // A picture of its own size, whatever the window's, titled with the run.
        const QImage png(bench.dir.filePath("chart.png"));
        QCOMPARE(png.size(), QSize(1200, 600));
        const QRegularExpression title(
            "^nak\\.seq - started \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - "
            "FAIL: 1 of 2 expectations failed$");
        QVERIFY2(title.match(png.text("Title")).hasMatch(), qPrintable(png.text("Title")));
        QVERIFY(svg.contains("<title>" + png.text("Title").toUtf8() + "</title>") &&
                svg.contains("width=\"1200\" height=\"600\""));
    }
};

QTEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
