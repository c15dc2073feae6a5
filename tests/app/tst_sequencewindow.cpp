// A sequence run from the main window: the menu, the file dialog, and the
// buttons that send held off while it goes.
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

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
    void runFromTheMenuHoldsOffClicksUntilStopped() {
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
        for (QWidget* b : senders)
            QVERIFY(b->isEnabled());
        QVERIFY(child<QPushButton>(w, "cmdSaveReport")->isVisible());
        QCOMPARE(bench.device.readAvailable(), QByteArray()); // key 2 never went out
    }

    void saveReportSaysWhyItFailedAndLandsWhenItCan() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(writeFile(bench.dir.filePath(QStringLiteral("s.seq")), "key 1\n"));
        answerFileDialog(bench.dir.filePath(QStringLiteral("s.seq")));
        trigger(w, "mnuRunSequence");
        QTRY_VERIFY(w->findChild<QPushButton*>("cmdSaveReport") &&
                    child<QPushButton>(w, "cmdSaveReport")->isVisible());
        const auto refused = answerNextMessageBox(QMessageBox::Ok);
        answerFileDialog(QStringLiteral("/proc/bad.xml"));
        click(w, "cmdSaveReport");
        QTRY_VERIFY(refused.seen());
        QVERIFY2(refused->text.startsWith("Cannot write the report /proc/bad.xml: ") &&
                     !refused->text.contains("No such file"),
                 qPrintable(refused->text));
        answerFileDialog(bench.dir.filePath(QStringLiteral("s.xml")));
        click(w, "cmdSaveReport");
        QTRY_VERIFY(readFile(bench.dir.filePath(QStringLiteral("s.xml"))).contains("<testsuite"));
    }
};

QTEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
