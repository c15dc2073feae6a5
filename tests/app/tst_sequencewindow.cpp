// A sequence run from the main window: the menu, the file dialog, and the
// buttons that send held off while it goes.
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

namespace {

// Picks path in the next modal file dialog, as an operator would. The dialog
// lists its folder in the background, and a choice made before that may not
// take: it is made again until the dialog has closed.
void answerFileDialog(const QString& path) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        QWidget* modal = QApplication::activeModalWidget();
        if (qobject_cast<QMessageBox*>(modal) && qobject_cast<QFileDialog*>(modal->parent())) {
            modal->close(); // "File not found" from a choice made too early
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(modal);
        if (!d)
            return;
        d->selectFile(path);
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
    }
};

QTEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
