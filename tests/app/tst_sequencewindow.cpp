// A sequence run from the main window: the menu, the file dialog, and the
// buttons that send held off while it goes.
#include "app/runwindowplacement.h"
#include "sequence/latencytrace.h"
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Picks path in the next modal file dialog, as an operator would. The dialog
// lists its folder in the background and may then put its own first choice
// back: it is accepted only once the choice has held for a tick, and made
// again until the dialog has closed.
void answerFileDialog(const QString& path, const std::function<void()>& closed = {}) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    if (closed) // gone with its dialog, or once that has closed
        QObject::connect(timer, &QObject::destroyed, qApp, closed);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal);
            box && qobject_cast<QFileDialog*>(modal->parent())) {
            // "Replace it?" for a file that is there; "File not found" from a
            // choice made too early
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                modal->close();
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(modal);
        if (!d)
            return;
        timer->setParent(d); // gone with its dialog, never answering the next one
        if (d->selectedFiles() != QStringList{path}) {
            // A name box with the focus keeps its text against selectFile().
            if (QWidget* focused = d->focusWidget())
                focused->clearFocus();
            d->selectFile(path);
            return;
        }
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
        QTimer::singleShot(0, timer, [timer, d = QPointer<QFileDialog>(d)] {
            if (!d || !d->isVisible())
                timer->deleteLater();
        });
    });
    timer->start();
}

} // namespace

class TestSequenceWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }
    void runFromTheMenuHoldsOffClicksUntilStoppedAndItsReportIsSavedWholeOrNotAtAll() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QString path = bench.dir.filePath(QStringLiteral("hold.seq"));
        QVERIFY(writeFile(path, "key 1\nwait 600000\nkey 2\n"));
        const QList<QWidget*> senders{child<QGroupBox>(w, "frmKeypad"),
                                      child<QPushButton>(w, "cmdCommTest"),
                                      child<QPushButton>(w, "cmdReset")};

        answerFileDialog(path);
        trigger(w, "mnuRunSequence");
        QByteArray sent;
        QTRY_COMPARE((sent += bench.device.readAvailable()), QByteArray("\x0B\x00\x02\x50\x5D", 5));
        for (QWidget* b : senders)
            QVERIFY(!b->isEnabled());
        QTRY_VERIFY(child<QWidget>(w, "frmSequenceRun")->isVisible());
        auto settingsRefused = answerNextMessageBox(QMessageBox::Ok);
        trigger(w, "mnuSettings");
        QTRY_VERIFY(settingsRefused.seen());
        QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());

        trigger(w, "mnuStopSequence");
        QCOMPARE(child<QLabel>(w, "lblSequenceVerdict")->text(),
                 "STOPPED: operator stop at hold.seq:2 after 0 expectations, 0 failed");
        for (QWidget* b : senders)
            QVERIFY(b->isEnabled());
        QCOMPARE(bench.device.readAvailable(), QByteArray()); // key 2 never went out

        // A file-size limit cuts the report short: said, and no file left behind.
        const QString report = bench.dir.filePath(QStringLiteral("s.xml"));
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0 && ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR);
        const rlimit small{64, old.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const auto refused = answerNextMessageBox(QMessageBox::Ok);
        answerFileDialog(report);
        click(w, "cmdSaveReport");
        QTRY_VERIFY(refused.seen());
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
        QCOMPARE(refused->text,
                 "Cannot write the report " + report + ": File too large; no file was made");
        QVERIFY(!QFile::exists(report));
        answerFileDialog(report);
        click(w, "cmdSaveReport");
        QTRY_VERIFY(readFile(report).contains("<system-err>STOPPED: operator stop at hold.seq:2"));

        // Save Chart refuses a file the run reads, by whatever name, as Save Report does.
        const QString chart = bench.dir.filePath(QStringLiteral("hold.svg"));
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(chart).constData()),
                 0);
        // Answered once the file dialog, and its "replace it?", are over.
        AnsweredOne chartRefused{std::make_shared<QList<AnsweredBox>>()};
        answerFileDialog(chart,
                         [&chartRefused] { chartRefused = answerNextMessageBox(QMessageBox::Ok); });
        click(w, "cmdSaveChart");
        QTRY_VERIFY(chartRefused.seen());
        QCOMPARE(chartRefused->text,
                 "Cannot write the chart " + chart + ": it is the sequence file " + path);
        QCOMPARE(readFile(chart), QByteArray("key 1\nwait 600000\nkey 2\n"));
    }
    void runWindowStaysOnScreenClearOfTheKeypad_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("mainAt");
        QTest::addColumn<bool>("beside"); // room enough beside the main window
        const QRect small(0, 0, 1024, 768), wide(0, 0, 1920, 1080);
        QTest::newRow("1024x768 top left") << small << QPoint(0, 0) << true;
        QTest::newRow("1024x768 top right") << small << QPoint(324, 0) << true;
        QTest::newRow("1024x768 bottom left") << small << QPoint(0, 128) << true;
        QTest::newRow("1024x768 bottom right") << small << QPoint(324, 128) << true;
        QTest::newRow("1024x768 centred") << small << QPoint(162, 64) << false;
        QTest::newRow("1024x768 below a panel") << QRect(0, 32, 1024, 736) << QPoint(0, 32) << true;
        QTest::newRow("1920x1080 bottom right") << wide << QPoint(1220, 440) << true;
    }
    void runWindowStaysOnScreenClearOfTheKeypad() {
        QFETCH(QRect, screen);
        QFETCH(QPoint, mainAt);
        QFETCH(bool, beside);
        // The main window's frame and its keypad, as a window manager shows them.
        const QRect main(mainAt, QSize(700, 640));
        const QRect keypad = QRect(314, 86, 353, 481).translated(mainAt);
        const QSize least(300, 440);
        const QRect r = placeRunWindow(screen, main, keypad, QSize(640, 580), least);
        QVERIFY2(screen.contains(r), qPrintable(QDebug::toString(r)));
        QVERIFY(!r.intersects(keypad));
        QVERIFY(r.width() >= least.width() && r.height() >= least.height());
        QCOMPARE(!r.intersects(main), beside);
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
        const QString path = bench.dir.filePath(QStringLiteral("nak.seq"));
        QVERIFY(
            writeFile(path, QByteArray("repeat 1\n").repeated(100) +
                                "key 1\nexpect ACK within 5000\nkey 2\nexpect ACK within 5000\n" +
                                QByteArray("end\n").repeated(100)));
        answerFileDialog(path);
        trigger(w, "mnuRunSequence");
        QWidget* run = nullptr; // made once the file has been read
        QTRY_VERIFY((run = child<QWidget>(w, "frmSequenceRun")) &&
                    child<QLabel>(run, "lblSequenceStep")->text().contains("1, 1, 1, 1"));
        run->layout()->activate(); // a deep block's long step line must not widen it
        QVERIFY(run->screen()->availableGeometry().contains(run->frameGeometry()));
        for (QWidget* k : w->findChildren<QWidget*>(QStringLiteral("cmdKeyPress")))
            QVERIFY(!run->frameGeometry().intersects(QRect(k->mapToGlobal(QPoint()), k->size())));
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
        for (const QString name : {"chart.svg", "chart.png"}) {
            answerFileDialog(bench.dir.filePath(name));
            click(run, "cmdSaveChart");
            QTRY_VERIFY(QFileInfo(bench.dir.filePath(name)).size() > 0);
        }
        const QByteArray svg = readFile(bench.dir.filePath("chart.svg"));
        QVERIFY2(svg.endsWith("</svg>\n") && svg.count("class=\"failed\"") == 1, svg.constData());
    }
};

QTEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
