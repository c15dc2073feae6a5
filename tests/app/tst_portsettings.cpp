// Changing the port, restarting through the Splash window, closing the program.
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QLineEdit>
#include <QSerialPort>

using Buttons = QList<QMessageBox::StandardButton>;

class TestPortSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settingsRefillsTheStoredPortAndCancelHides() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* text = child<QLineEdit>(w, "txtPortSettings");
        trigger(w, "mnuSettings");
        text->setText(QStringLiteral("7"));
        click(w, "cmdCancelSettings");
        QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());
        trigger(w, "mnuSettings");
        QCOMPARE(text->text(), bench.device.slavePath());
    }

    void saveThatGoesNoFurtherChangesNothing_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<Buttons>("answers"); // one per box expected
        QTest::addColumn<QString>("said");    // in the last box
        QTest::newRow("invalid") << "abc" << Buttons{QMessageBox::Ok} << "\"abc\"";
        QTest::newRow("answered Cancel") << "/dev/ttyUSB3" << Buttons{QMessageBox::Cancel}
                                         << "Do you want to restart with the new Comm Port?";
        // The program's directory is gone: the file cannot be written.
        QTest::newRow("cannot write")
            << "2" << Buttons{QMessageBox::Ok, QMessageBox::Ok} << "gone/config.ini";
    }
    void saveThatGoesNoFurtherChangesNothing() {
        QFETCH(QString, value);
        QFETCH(Buttons, answers);
        QFETCH(QString, said);
        TestBench bench;
        MainWindow* w = bench.start();
        const QByteArray before = bench.config();
        if (said.contains(QLatin1String("gone")))
            setProgramDirectoryForTesting(bench.dir.filePath(QStringLiteral("gone")));
        trigger(w, "mnuSettings");
        child<QLineEdit>(w, "txtPortSettings")->setText(value);
        auto boxes = answerMessageBoxes(answers);
        click(w, "cmdSaveSettings");
        QCOMPARE(boxes->size(), answers.size());
        QVERIFY2(boxes->last().text.contains(said), qPrintable(boxes->last().text));
        QCOMPARE(bench.config(), before);
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(!bench.windows.splash() && w->session().portOpen());
    }

    void saveWithOkRestartsOnTheNewPortAndChangesNoOtherByte() {
        TestBench bench;
        const QByteArray file =
            "\xEF\xBB\xBF; by hand\r\n[settings]\r\n PORT = {port}\r\n\x01\xFF\r\n"
            "[OTHER]\r\nport=/dev/other\r\n[SETTINGS]\r\nport=/dev/second";
        bench.writeConfigBytes(
            QByteArray(file).replace("{port}", bench.device.slavePath().toUtf8()));
        QPointer<MainWindow> w = bench.start();
        PtyPair second, third;
        // Twice: the restarted program must be able to restart in turn.
        for (PtyPair* next : {&second, &third}) {
            trigger(w, "mnuSettings");
            child<QLineEdit>(w, "txtPortSettings")->setText(next->slavePath());
            auto answer = answerNextMessageBox(QMessageBox::Ok);
            click(w, "cmdSaveSettings");
            QVERIFY(answer.seen());
            QCOMPARE(bench.config(),
                     QByteArray(file).replace("{port}", next->slavePath().toUtf8()));
            // The old window goes with its port; the Splash window shows meanwhile.
            QTRY_VERIFY(!w);
            QVERIFY(bench.windows.splash() && bench.windows.splash()->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(bench.windows.main(), 6000);
            w = bench.windows.main();
            QTRY_VERIFY(!bench.windows.splash());
            click(w, "cmdReset");
            QCOMPARE(next->read(3), QByteArray::fromHex("0B0611"));
        }
    }

    void closeAsksFirstAndTheCloseBoxEndsTheProgram() {
        for (const bool ok : {false, true}) {
            TestBench bench;
            QPointer<MainWindow> w = bench.start();
            auto answer = answerNextMessageBox(ok ? QMessageBox::Ok : QMessageBox::Cancel);
            trigger(w, "mnuClose");
            QVERIFY(answer.seen());
            QCOMPARE(answer->text, QStringLiteral("Do you want to close the application?"));
            QCOMPARE(bench.endCount, ok ? 1 : 0);
            if (!ok) {
                QVERIFY(w->isVisible() && w->session().portOpen());
                w->close(); // asks nothing
                QCOMPARE(bench.endCount, 1);
                continue;
            }
            QTRY_VERIFY(!w);
            // The port is free again: another program can open it at once.
            QSerialPort port(bench.device.slavePath());
            QVERIFY(port.open(QIODevice::ReadWrite));
        }
    }
};

QTEST_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
