// The main window as an operator sees it: what a click sends and records,
// what a reply lights, and what it says when something goes wrong.
#include "app/shapewidget.h"
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QLabel>
#include <QLineEdit>

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOnTheStoredPortAndEveryButtonSendsItsFrame() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w && w->session().portOpen());
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), bench.device.slavePath());
        // The settings panel lies over the keypad, and nothing moves however
        // the window is resized.
        QWidget* client = w->centralWidget();
        QVERIFY(client->children().indexOf(child<QWidget>(w, "frmSerialSettings")) >
                client->children().indexOf(child<QWidget>(w, "frmKeypad")));
        const QRect reset = child<QWidget>(w, "cmdReset")->geometry();
        w->resize(1000, 900);
        QCOMPARE(child<QWidget>(w, "cmdReset")->geometry(), reset);

        const MonitorModel& m = w->session().monitor();
        // Comm Test and Reset leave the selection alone; a key selects the last line.
        click(w, "cmdCommTest");
        click(w, "cmdReset");
        QCOMPARE(bench.device.read(6), QByteArray::fromHex("0B05100B0611"));
        QCOMPARE(m.selectedIndex(), -1);
        QList<QByteArray> expected{"Comm Test - 0B 05 10", "Reset - 0B 06 11"};
        const QByteArrayList frames =
            QByteArrayLiteral(
                "0B0002505D 0B0003505E 0B0102505E "
                "0B0103505F 0B0202505F 0B02035060 0B03025060 0B03035061 0B04025061 0B04035062")
                .split(' ');
        for (int k = 0; k < 10; ++k) {
            QTest::mouseClick(key(w, QString::number((k + 1) % 10)), Qt::LeftButton);
            const QByteArray frame = QByteArray::fromHex(frames[k]);
            QCOMPARE(bench.device.read(5), frame);
            expected << "Key: " + QByteArray::number(k + 1) + " - " + frame.toHex(' ').toUpper();
        }
        QCOMPARE(lines(m), expected);
        QCOMPARE(m.selectedIndex(), 11);
        click(w, "cmdCommTest");
        QCOMPARE(m.selectedIndex(), 11);
        // "*" and "#" send nothing and add nothing, but select the last line.
        for (const char* caption : {"*", "#"}) {
            w->session().selectLine(2);
            QTest::mouseClick(key(w, QLatin1String(caption)), Qt::LeftButton);
            QCOMPARE(m.selectedIndex(), 12);
        }
        click(w, "cmdReset");
        QCOMPARE(bench.device.read(6), QByteArray::fromHex("0B05100B0611"));
        QCOMPARE(m.count(), 14);
        click(w, "cmdClearComm");
        QCOMPARE(m.count(), 0);
    }

    void replyLightsTheLampByItsFirstFiveCharacters() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* response = child<QLabel>(w, "lblResponse");
        auto* lamp = child<ShapeWidget>(w, "Shape1");
        QCOMPARE(lamp->fillColor(), QColor(Qt::black));
        const QColor green(0, 255, 0), red(255, 0, 0), yellow(255, 255, 0);
        // Anything but the three answers, lower case included, changes nothing.
        const QList<std::tuple<QByteArray, QString, QColor>> steps{
            {"0B 00 77\r\n", "ACK", green},
            {"0b ff 0a\r\n", "ACK", green},
            {"0B FF 0A\r\n", "NAK", red},
            {"0B 0F 1A\r\n", "CRC", yellow},
            // Two lines in one read: two rows, the lamp shows the last.
            {"0B 0F 1A\r\n0B FF 0A\r\n", "NAK", red}};
        int rows = 0;
        for (const auto& [replies, status, colour] : steps) {
            bench.device.write(replies);
            rows += int(replies.count('\n'));
            QTRY_COMPARE(w->session().monitor().count(), rows);
            const QByteArray reply = replies.sliced(replies.lastIndexOf('\n', -2) + 1);
            QCOMPARE(w->session().monitor().line(rows - 1), "Reply: " + reply);
            QCOMPARE(w->session().monitor().selectedIndex(), rows - 1);
            QCOMPARE(w->session().serialInput(), reply);
            QCOMPARE(response->text(), status);
            QCOMPARE(lamp->fillColor(), colour);
        }
    }

    void unopenablePortStillOpensTheWindowAndSaysWhy() {
        TestBench bench(QStringLiteral("/dev/orv-test-missing"));
        MainWindow* w = bench.start();
        QMessageBox* warning = nullptr;
        QTRY_VERIFY((warning = child<QMessageBox>(w, "linkWarning")));
        QVERIFY2(warning->text().contains(QLatin1String("/dev/orv-test-missing")),
                 qPrintable(warning->text()));
        QVERIFY(!warning->isModal());
        QTest::mouseClick(key(w, QStringLiteral("1")), Qt::LeftButton);
        QVERIFY(lines(w->session().monitor()).last().startsWith("Not sent ("));
    }

    void metaLanguageWithoutTheDocumentSaysWhereItLooked() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QString path = bench.dir.filePath(QStringLiteral("ORV_API_v103.pdf"));
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        trigger(w, "mnuMetaL");
        QVERIFY(answer.seen());
        QVERIFY2(answer->text.contains(path), qPrintable(answer->text));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
