// What a bench engineer expects beyond the original: finding the port, and
// reconnecting to a device that comes (back).
#include "app/portcompleter.h"
#include "support/simprocess.h"
#include "support/testbench.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMessageBox>

class TestConveniences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portSuggestionsShowPathAndAdapterWhole() {
        QLineEdit edit;
        edit.setFixedWidth(80);
        auto* completer = new PortCompleter(&edit);
        edit.setCompleter(completer);
        const QString adapter = QStringLiteral("FTDI FT232R USB UART");
        const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        completer->setLister([&] {
            return QList<SerialPortEntry>{
                {"/dev/ttyS0", {}}, {"/dev/ttyUSB0", adapter}, {byId, adapter}};
        });
        completer->refresh();
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QTest::keyClicks(&edit, "usb");
        QAbstractItemView* list = completer->popup();
        QTRY_VERIFY(list->isVisible());
        QCOMPARE(completer->completionCount(), 2); // anywhere in the name, any case
        const int longest = list->fontMetrics().horizontalAdvance(byId + "  (" + adapter + ")");
        QTRY_VERIFY(list->width() > longest);
        QVERIFY(list->screen()->availableGeometry().contains(list->geometry()));
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(edit.text(), "/dev/ttyUSB0"); // the path, not the adapter
    }

    // Missing at the start, then lost: said each time, until the port opens by itself.
    void portOpensWhenItAppearsAndAgainWhenItComesBack() {
        QTemporaryDir links;
        const QString link = links.filePath("orv-device");
        TestBench bench(link);
        MainWindow* w = bench.start();
        MainSession& s = w->session();
        QVERIFY(!s.portOpen() && s.isReconnecting());
        const std::pair<QString, QByteArray> rounds[]{{"Cannot open ", " is open now"},
                                                      {"Lost ", " is open again"}};
        for (const auto& [why, now] : rounds) {
            QPointer<QMessageBox> box;
            QTRY_VERIFY((box = child<QMessageBox>(w, "linkWarning")) && box->isVisible());
            // It names the port and why, and leaves the window usable.
            QVERIFY2(box->text().startsWith(why + link), qPrintable(box->text()));
            QVERIFY(!box->isModal());
            QTest::mouseClick(key(w, "1"), Qt::LeftButton);
            QVERIFY(lines(s.monitor()).last().startsWith("Not sent ("));
            const QList<QByteArray> before = lines(s.monitor());
            SimProcess sim({QStringLiteral("--link"), link}); // plugged in
            QTRY_VERIFY_WITH_TIMEOUT(s.portOpen(), 10000);
            QTRY_VERIFY(!box);
            QCOMPARE(s.monitor().line(before.size()), "Port: " + link.toUtf8() + now);
            click(w, "cmdCommTest");
            QTRY_COMPARE(s.monitor().count(), before.size() + 3);
            QCOMPARE(s.monitor().line(before.size() + 2), QByteArray("Reply: 0B 00 0B\r\n"));
            // Nothing before the loss went missing.
            QCOMPARE(lines(s.monitor()).mid(0, before.size()), before);
            QVERIFY(sim.stop()); // unplugged
            QTRY_VERIFY(!s.portOpen() && s.isReconnecting());
            QVERIFY(lines(s.monitor()).last().startsWith("Error: Lost " + link.toUtf8()));
        }
        // The last loss is told once, in a box saying what the monitor's line says.
        QTRY_COMPARE(w->findChildren<QMessageBox*>("linkWarning").size(), 1);
        const auto boxes = w->findChildren<QMessageBox*>("linkWarning");
        QTRY_COMPARE("Error: " + boxes.first()->text().toUtf8(), lines(s.monitor()).last());
    }
};

QTEST_MAIN(TestConveniences)
#include "tst_conveniences.moc"
