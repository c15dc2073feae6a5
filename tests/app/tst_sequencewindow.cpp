// A sequence run from the main window: the menu, the file dialog, the
// buttons that send held off while it goes, and the reply latency tooltip.
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

namespace {

// Picks path in the next modal file dialog, as an operator would.
void answerFileDialog(const QString& path) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            d->selectFile(path);
            QMetaObject::invokeMethod(d, "accept");
        }
    });
    timer->start();
}

} // namespace

class TestSequenceWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runFromTheMenuHoldsOffClicksUntilStopped() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        const QString path = bench.dir.filePath(QStringLiteral("hold.seq"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("key 1\nwait 600000\nkey 2\n");
        f.close();
        const QList<QWidget*> senders{child<QGroupBox>(w, "frmKeypad"),
                                      child<QPushButton>(w, "cmdCommTest"),
                                      child<QPushButton>(w, "cmdReset")};

        answerFileDialog(path);
        child<QAction>(w, "mnuRunSequence")->trigger();
        QByteArray sent;
        QTRY_COMPARE((sent += bench.device.readAvailable()), QByteArray("\x0B\x00\x02\x50\x5D", 5));
        for (QWidget* b : senders)
            QVERIFY(!b->isEnabled());
        QTRY_VERIFY(child<QWidget>(w, "frmSequenceRun")->isVisible());
        auto settingsRefused = answerNextMessageBox(QMessageBox::Ok);
        child<QAction>(w, "mnuSettings")->trigger();
        QTRY_VERIFY(settingsRefused.seen());
        QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());

        child<QAction>(w, "mnuStopSequence")->trigger();
        for (QWidget* b : senders)
            QVERIFY(b->isEnabled());
        QVERIFY(child<QWidget>(w, "frmSequenceRun")
                    ->findChild<QPushButton*>(QStringLiteral("cmdSaveReport"))
                    ->isVisible());
        QCOMPARE(bench.device.readAvailable(), QByteArray()); // key 2 never went out
    }

    void replyTooltipSaysHowLongAfterWhichSend() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        w->session().sendKeyCode(4);
        QCOMPARE(bench.device.read(5).size(), 5);
        bench.device.write("0B 00 0B\r\n");
        const MonitorModel& m = w->session().monitor();
        QTRY_COMPARE(m.count(), 2);
        const QString tip = m.toolTip(1);
        QVERIFY2(tip.contains(QRegularExpression(
                     QStringLiteral("\\n\\d+\\.\\d ms after \"Key: 5 - 0B 02 02 50 5F\"$"))),
                 qPrintable(tip));
        QVERIFY(!m.toolTip(0).contains(QStringLiteral("after")));
    }
};

QTEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
