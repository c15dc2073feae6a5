// What a bench engineer expects beyond the original: line times, copying,
// finding the port, and reconnecting to a device that comes back.
#include "app/monitorcopy.h"
#include "app/monitorview.h"
#include "app/portcompleter.h"
#include "session/stampedline.h"
#include "support/testbench.h"
#include "support/simprocess.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

namespace {

MonitorView* monitor(MainWindow* w) {
    return child<MonitorView>(w, "lstComm");
}

} // namespace

class TestConveniences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tooltipShowsWhenTheLineWasAdded() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QTRY_COMPARE(monitor(w)->rowCount(), 1);
        const QString tip = w->session().monitorItems()->index(0, 0).data(Qt::ToolTipRole).toString();
        const QDateTime at = QDateTime::fromString(tip, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QVERIFY2(at.isValid(), qPrintable(tip));
        QVERIFY(at >= before && at <= QDateTime::currentDateTime());
        // The line's own text is unchanged.
        QCOMPARE(monitor(w)->rowText(0),
                 QStringLiteral("Comm Test - 0B 05 10"));
    }

    void ctrlCCopiesTheSelectedLineAndCopyAllEveryLine() {
        TestBench bench;
        MainWindow* w = bench.start();
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        bench.device.write("0B 00 0B\r\n");
        QTRY_COMPARE(w->session().monitor().count(), 2);
        QTest::mouseClick(child<QWidget>(w, "cmdReset"), Qt::LeftButton);
        const MonitorModel& m = w->session().monitor();
        QTRY_COMPARE(monitor(w)->rowCount(), 3);
        QCOMPARE(m.selectedIndex(), 1);

        monitor(w)->setFocus();
        QGuiApplication::clipboard()->clear();
        QTest::keySequence(monitor(w), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 stampedLine(m.at(1).msecsSinceEpoch, m.line(1)) + QLatin1Char('\n'));
        QVERIFY(QGuiApplication::clipboard()->text().endsWith(
            QLatin1String("  Reply: 0B 00 0B\\r\\n\n")));

        // Copy All from the context menu, as an operator would choose it.
        QTimer::singleShot(0, this, [w] {
            auto* menu = w->findChild<QMenu*>(QStringLiteral("monitorMenu"));
            QVERIFY(menu);
            for (QAction* a : menu->actions())
                if (a->text() == QLatin1String("Copy All"))
                    a->trigger();
            menu->close();
        });
        Q_EMIT monitor(w)->customContextMenuRequested(QPoint(5, 5));
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].endsWith(QLatin1String("  Comm Test - 0B 05 10")));
        QVERIFY(lines[2].endsWith(QLatin1String("  Reset - 0B 06 11")));
        QCOMPARE(lines[3], QString());
    }

    void portSettingsOfferThePortsTheSystemLists() {
        TestBench bench;
        MainWindow* w = bench.start();
        w->setPortLister([] {
            return QList<SerialPortEntry>{
                {QStringLiteral("/dev/ttyS0"), {}},
                {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FTDI FT232R USB UART")},
                {QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"),
                 QStringLiteral("FTDI FT232R USB UART")},
            };
        });
        w->findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
        auto* text = child<QLineEdit>(w, "txtPortSettings");
        auto* completer = qobject_cast<PortCompleter*>(text->completer());
        QVERIFY(completer);
        QCOMPARE(completer->paths().size(), 3);
        text->clear();
        text->setFocus();
        QTest::keyClicks(text, QStringLiteral("usb"));
        QTRY_VERIFY(completer->popup()->isVisible());
        QAbstractItemModel* offered = completer->completionModel();
        QCOMPARE(offered->rowCount(), 2);
        QCOMPARE(offered->index(0, 0).data().toString(),
                 QStringLiteral("/dev/ttyUSB0  (FTDI FT232R USB UART)"));
        // Choosing an entry puts its path in the box; typing stays free.
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(text->text(), QStringLiteral("/dev/ttyUSB0"));
        text->setText(QStringLiteral("/dev/anything-else"));
        QCOMPARE(text->text(), QStringLiteral("/dev/anything-else"));
    }

    void unplugAndReplugEndsWithThePortOpenAgain() {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("orv-device"));
        auto sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--link"), link});
        QVERIFY(sim->isRunning());
        TestBench bench(link);
        MainWindow* w = bench.start();
        MainSession& s = w->session();
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QTRY_COMPARE(s.monitor().count(), 2);

        QVERIFY(sim->stop()); // unplugged
        QTRY_VERIFY(!s.portOpen());
        QTRY_VERIFY(s.isReconnecting());
        const int afterLoss = s.monitor().count();
        QVERIFY(s.monitor().line(afterLoss - 1).startsWith("Error: Lost " + link.toUtf8()));

        sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--link"), link});
        QVERIFY(sim->isRunning()); // plugged in again
        QTRY_VERIFY_WITH_TIMEOUT(s.portOpen(), 10000);
        QVERIFY(!s.isReconnecting());
        QCOMPARE(s.monitor().line(afterLoss), "Port: " + link.toUtf8() + " is open again");
        QTest::mouseClick(child<QWidget>(w, "cmdReset"), Qt::LeftButton);
        QTRY_COMPARE(s.monitor().count(), afterLoss + 3);
        QCOMPARE(s.monitor().line(afterLoss + 2), QByteArray("Reply: 0B 00 0B\r\n"));
        // Nothing before the loss went missing.
        QCOMPARE(s.monitor().line(0), QByteArray("Comm Test - 0B 05 10"));
        QCOMPARE(s.monitor().line(1), QByteArray("Reply: 0B 00 0B\r\n"));
        QCOMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
    }

    void portMissingAtStartIsOpenedWhenItAppears() {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("late-device"));
        TestBench bench(link);
        MainWindow* w = bench.start();
        QVERIFY(!w->session().portOpen());
        QVERIFY(w->session().isReconnecting());
        SimProcess sim({QStringLiteral("--link"), link});
        QTRY_VERIFY_WITH_TIMEOUT(w->session().portOpen(), 10000);
        QCOMPARE(w->session().monitor().line(w->session().monitor().count() - 1),
                 "Port: " + link.toUtf8() + " is open now");
    }
};

QTEST_MAIN(TestConveniences)
#include "tst_conveniences.moc"
