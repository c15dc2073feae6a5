// Changing the port, restarting through the Splash window, closing the
// program, and the About window.
#include "app/mainwindow.h"
#include "app/titlecard.h"
#include "support/testbench.h"
#include "support/dialogs.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

namespace {

void trigger(MainWindow* w, const char* action) {
    w->findChild<QAction*>(QLatin1String(action))->trigger();
}

void clickSave(MainWindow* w) {
    child<QPushButton>(w, "cmdSaveSettings")->click();
}

} // namespace

class TestPortSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settingsRefillsTheStoredPortAndCancelHides() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* panel = child<QWidget>(w, "frmSerialSettings");
        auto* text = child<QLineEdit>(w, "txtPortSettings");
        trigger(w, "mnuSettings");
        QVERIFY(panel->isVisible());
        QCOMPARE(text->text(), bench.device.slavePath());
        text->setText(QStringLiteral("7"));
        trigger(w, "mnuSettings"); // shown already: the typed text is overwritten
        QCOMPARE(text->text(), bench.device.slavePath());
        text->setText(QStringLiteral("7"));
        child<QPushButton>(w, "cmdCancelSettings")->click();
        QVERIFY(!panel->isVisible());
        QCOMPARE(text->text(), QStringLiteral("7"));
        trigger(w, "mnuSettings");
        QCOMPARE(text->text(), bench.device.slavePath());
        QVERIFY(bench.config().contains(bench.device.slavePath().toUtf8()));
    }

    void saveAnsweredWithCancelWritesNothing() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QByteArray before = bench.config();
        trigger(w, "mnuSettings");
        child<QLineEdit>(w, "txtPortSettings")->setText(QStringLiteral("/dev/ttyUSB3"));
        auto answer = answerNextMessageBox(QMessageBox::Cancel);
        clickSave(w);
        QVERIFY(answer.seen());
        QCOMPARE(answer->text, QStringLiteral("Do you want to restart with the new Comm Port?"));
        QCOMPARE(answer->title, QString::fromUtf8("KAL ORV TEST\u2122"));
        QCOMPARE(answer->icon, QMessageBox::Question);
        QCOMPARE(answer->buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(bench.config(), before);
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(child<QWidget>(w, "frmSerialSettings")->isVisible());
        QVERIFY(w->session().portOpen());
    }

    void saveWithOkRestartsThroughTheSplashOnTheNewPortTwice() {
        TestBench bench;
        MainWindow* w = bench.start();
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        PtyPair second, third;
        QPointer<MainWindow> old = w;
        for (PtyPair* next : {&second, &third}) {
            trigger(w, "mnuSettings");
            child<QLineEdit>(w, "txtPortSettings")->setText(next->slavePath());
            auto answer = answerNextMessageBox(QMessageBox::Ok);
            clickSave(w);
            QVERIFY(answer.seen());
            QVERIFY(bench.config().contains("port=" + next->slavePath().toUtf8()));
            // The old window is gone with its port; the Splash window shows.
            QVERIFY(!bench.windows.main());
            QTRY_VERIFY(!old);
            TitleCard* splash = bench.windows.splash();
            QVERIFY(splash && splash->isVisible());
            QCOMPARE(splash->objectName(), QStringLiteral("Splash"));
            QTRY_VERIFY_WITH_TIMEOUT(bench.windows.main(), 6000);
            w = bench.windows.main();
            QVERIFY(w->isVisible());
            QTRY_VERIFY(!bench.windows.splash());
            QCOMPARE(w->session().monitor().count(), 0);
            QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());
            QVERIFY(!child<QTimer>(w, "tmrKeyPress")->isActive());
            QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), next->slavePath());
            QVERIFY(w->session().portOpen());
            QTest::mouseClick(child<QWidget>(w, "cmdReset"), Qt::LeftButton);
            QCOMPARE(next->read(3), QByteArray("\x0B\x06\x11", 3));
            old = w;
        }
    }

    void invalidPortIsRefusedAndNothingIsWritten() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QByteArray before = bench.config();
        for (const char* value : {"", "abc", "0", "256", "3.5"}) {
            trigger(w, "mnuSettings");
            child<QLineEdit>(w, "txtPortSettings")->setText(QLatin1String(value));
            auto answer = answerNextMessageBox(QMessageBox::Ok);
            clickSave(w);
            QVERIFY(answer.seen());
            QCOMPARE(answer->icon, QMessageBox::Warning);
            QVERIFY2(
                answer->text.contains(QLatin1Char('"') + QLatin1String(value) + QLatin1Char('"')),
                qPrintable(answer->text));
            QCOMPARE(bench.config(), before);
            QCOMPARE(bench.windows.main(), w);
        }
    }

    void failedWriteIsReportedAndThereIsNoRestart() {
        TestBench bench;
        MainWindow* w = bench.start();
        // The program's directory is gone: the file cannot be written.
        setProgramDirectoryForTesting(bench.dir.filePath(QStringLiteral("gone")));
        trigger(w, "mnuSettings");
        child<QLineEdit>(w, "txtPortSettings")->setText(QStringLiteral("2"));
        auto boxes = answerMessageBoxes({QMessageBox::Ok, QMessageBox::Ok});
        clickSave(w);
        QCOMPARE(boxes->size(), 2);
        QCOMPARE(boxes->at(0).icon, QMessageBox::Question);
        QCOMPARE(boxes->at(1).icon, QMessageBox::Warning);
        QVERIFY2(boxes->at(1).text.contains(QLatin1String("gone/config.ini")),
                 qPrintable(boxes->at(1).text));
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(!bench.windows.splash());
        QVERIFY(w->session().portOpen());
    }

    void closeAnsweredWithCancelChangesNothing() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto answer = answerNextMessageBox(QMessageBox::Cancel);
        trigger(w, "mnuClose");
        QVERIFY(answer.seen());
        QCOMPARE(answer->text, QStringLiteral("Do you want to close the application?"));
        QCOMPARE(answer->icon, QMessageBox::Question);
        QCOMPARE(bench.endCount, 0);
        QVERIFY(w->isVisible());
        QVERIFY(w->session().portOpen());
    }

    void closeWithOkEndsTheProgramAndFreesThePort() {
        TestBench bench;
        MainWindow* w = bench.start();
        QPointer<MainWindow> window = w;
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        trigger(w, "mnuClose");
        QVERIFY(answer.seen());
        QCOMPARE(bench.endCount, 1);
        QVERIFY(!bench.windows.main());
        QTRY_VERIFY(!window);
        // The port is free again: another program can open it at once.
        QSerialPort port(bench.device.slavePath());
        QVERIFY(port.open(QIODevice::ReadWrite));
    }

    void closeWithOkOnAClosedPortNeverOpensIt() {
        TestBench bench(QStringLiteral("/dev/orv-test-missing"));
        MainWindow* w = bench.start();
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        trigger(w, "mnuClose");
        QVERIFY(answer.seen());
        QCOMPARE(bench.endCount, 1);
    }

    void closeBoxEndsTheProgramEvenWithAboutLoaded() {
        TestBench bench;
        MainWindow* w = bench.start();
        trigger(w, "mnuAbout");
        QVERIFY(bench.windows.about()->isVisible());
        w->close();
        QCOMPARE(bench.endCount, 1);
        QVERIFY(!bench.windows.about()->isVisible());
    }

    void aboutIsOneWindowThatHidesItself() {
        TestBench bench;
        MainWindow* w = bench.start();
        trigger(w, "mnuAbout");
        TitleCard* about = bench.windows.about();
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->objectName(), QStringLiteral("about"));
        QCOMPARE(about->findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 2000);
        QVERIFY(!about->isModal());
        QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);
        QTRY_VERIFY_WITH_TIMEOUT(!about->isVisible(), 4000);
        QVERIFY(about->timer().isActive());
        trigger(w, "mnuAbout");
        QCOMPARE(bench.windows.about(), about);
        QVERIFY(about->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!about->isVisible(), 4000);
        // The main window stayed usable all along.
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(bench.device.read(3), QByteArray("\x0B\x05\x10", 3));
    }
};

QTEST_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
