// The main window as an operator sees it: where everything is, what a click
// sends and records, and what it says when something goes wrong.
#include "app/commandbutton.h"
#include "app/shapewidget.h"
#include "support/testbench.h"
#include "support/dialogs.h"
#include "support/simprocess.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QSignalSpy>

namespace {

QList<CommandButton*> keypad(MainWindow* w) {
    QList<CommandButton*> keys(12);
    for (CommandButton* b : w->findChildren<CommandButton*>(QStringLiteral("cmdKeyPress")))
        keys[b->property("Index").toInt()] = b;
    return keys;
}

QStringList monitorTexts(MainWindow* w) {
    QStringList out;
    auto* view = child<QListView>(w, "lstComm");
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out << view->model()->index(r, 0).data().toString();
    return out;
}

int viewSelection(MainWindow* w) {
    auto* view = child<QListView>(w, "lstComm");
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// Records URLs the window asks the desktop to open, instead of opening them.
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlsStandWhereTheLayoutPutsThem() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QStringLiteral("main"));
        QCOMPARE(w->windowTitle(), QString::fromUtf8("KAL ORV TEST\u2122"));
        QVERIFY(!w->windowIcon().isNull());
        QCOMPARE(w->centralWidget()->size(), QSize(696, 586));

        struct Expected {
            const char* name;
            QRect rect;
        };
        const Expected controls[] = {
            {"cmdReset", {488, 528, 81, 33}},
            {"frmSerialSettings", {276, 209, 145, 169}},
            {"cmdCancelSettings", {32, 112, 81, 33}},
            {"cmdSaveSettings", {32, 72, 81, 33}},
            {"txtPortSettings", {72, 32, 49, 19}},
            {"cmdCommTest", {336, 528, 81, 33}},
            {"Frame2", {8, 112, 297, 457}},
            {"Frame3", {8, 392, 121, 41}},
            {"Shape1", {72, 8, 17, 25}},
            {"cmdClearComm", {176, 400, 81, 17}},
            {"lstComm", {8, 24, 281, 355}},
            {"Frame1", {8, 32, 297, 65}},
            {"txtCommPort", {72, 21, 49, 19}},
            {"frmKeypad", {312, 32, 353, 481}},
        };
        for (const Expected& e : controls) {
            QWidget* c = child<QWidget>(w, e.name);
            QVERIFY2(c, e.name);
            QCOMPARE(c->geometry(), e.rect);
            QVERIFY2(!c->accessibleName().isEmpty(), e.name);
        }
        const QPoint labels[] = {{16, 35}, {8, 16}, {80, 8}, {16, 24}};
        int i = 0;
        for (const char* name : {"lblPortSettings", "lblResponse", "Label1", "lblSerialPort"})
            QCOMPARE(child<QLabel>(w, name)->pos(), labels[i++]);

        const QList<CommandButton*> keys = keypad(w);
        const char* captions = "123456789*0#";
        const int lefts[] = {24, 140, 256}, tops[] = {32, 144, 264, 368};
        for (int k = 0; k < 12; ++k) {
            QCOMPARE(keys[k]->text(), QString(QLatin1Char(captions[k])));
            QCOMPARE(keys[k]->geometry(), QRect(lefts[k % 3], tops[k / 3], 80, 80));
            QCOMPARE(keys[k]->font().pointSize(), 24);
            QCOMPARE(keys[k]->accessibleName(), keys[k]->text());
        }
        QCOMPARE(child<QWidget>(w, "cmdReset")->font().pointSize(), 8);

        // The settings panel lies over the keypad; Reset over everything.
        QWidget* client = w->centralWidget();
        const QObjectList stack = client->children();
        QVERIFY(stack.indexOf(child<QWidget>(w, "frmSerialSettings")) >
                stack.indexOf(child<QWidget>(w, "frmKeypad")));
        QCOMPARE(client->childAt(490, 530)->objectName(), QStringLiteral("cmdReset"));

        // Resizing moves nothing.
        w->resize(1000, 900);
        QCOMPARE(child<QWidget>(w, "cmdReset")->geometry(), QRect(488, 528, 81, 33));
    }

    void startsWithPortShownPanelHiddenAndKeyOneFocused() {
        TestBench bench;
        MainWindow* w = bench.start();
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), bench.device.slavePath());
        QCOMPARE(child<QLineEdit>(w, "txtPortSettings")->text(), QStringLiteral("comport"));
        QVERIFY(!child<QWidget>(w, "frmSerialSettings")->isVisible());
        QVERIFY(!child<QTimer>(w, "tmrKeyPress")->isActive());
        QTRY_COMPARE(QApplication::focusWidget(), keypad(w)[0]);
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), QStringLiteral("Response"));
        QCOMPARE(child<ShapeWidget>(w, "Shape1")->fillColor(), QColor(Qt::black));
        QVERIFY(w->session().portOpen());
    }

    void menusCarryTheirNamesAndNoShortcuts() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QList<QAction*> menus = w->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        const QStringList names{"mnuFile", "mnuSerial", "mnuHelp"};
        const QStringList texts{"File", "Serial", "Help"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(menus[i]->text(), texts[i]);
            QCOMPARE(menus[i]->menu()->objectName(), names[i]);
        }
        const QStringList entries{"mnuClose:Close", "mnuSettings:Settings",
                                  "mnuMetaL:meta language", "mnuAbout:About"};
        for (const QString& e : entries) {
            auto* a = w->findChild<QAction*>(e.section(':', 0, 0));
            QVERIFY2(a, qPrintable(e));
            QCOMPARE(a->text(), e.section(':', 1));
            QVERIFY(a->shortcut().isEmpty());
            QVERIFY(a->isEnabled());
        }
    }

    void everyKeyClickSendsItsFrameAndRecordsIt() {
        TestBench bench;
        MainWindow* w = bench.start();
        const QList<CommandButton*> keys = keypad(w);
        const char* frames[] = {
            "\x0B\x00\x02\x50\x5D", "\x0B\x00\x03\x50\x5E", "\x0B\x01\x02\x50\x5E",
            "\x0B\x01\x03\x50\x5F", "\x0B\x02\x02\x50\x5F", "\x0B\x02\x03\x50\x60",
            "\x0B\x03\x02\x50\x60", "\x0B\x03\x03\x50\x61", "\x0B\x04\x02\x50\x61",
        };
        QStringList expected;
        for (int k = 0; k < 9; ++k) {
            QTest::mouseClick(keys[k], Qt::LeftButton);
            const QByteArray frame(frames[k], 5);
            QCOMPARE(bench.device.read(5), frame);
            expected << QStringLiteral("Key: %1 - ").arg(k + 1) +
                            QString::fromLatin1(frame.toHex(' ').toUpper());
        }
        QTest::mouseClick(keys[10], Qt::LeftButton);
        QCOMPARE(bench.device.read(5), QByteArray("\x0B\x04\x03\x50\x62", 5));
        expected << QStringLiteral("Key: 10 - 0B 04 03 50 62");
        QTRY_COMPARE(monitorTexts(w), expected);
        QTRY_COMPARE(viewSelection(w), 9);

        // "*" and "#" send nothing, add nothing, but select the last line.
        child<QListView>(w, "lstComm")
            ->setCurrentIndex(child<QListView>(w, "lstComm")->model()->index(2, 0));
        QCOMPARE(viewSelection(w), 2);
        QTest::mouseClick(keys[9], Qt::LeftButton);
        QTRY_COMPARE(viewSelection(w), 9);
        QTest::mouseClick(keys[11], Qt::LeftButton);
        QCOMPARE(bench.device.read(1, 100), QByteArray());
        QCOMPARE(monitorTexts(w).size(), 10);
    }

    void commTestAndResetKeepTheSelectionAndClearCommEmptiesTheMonitor() {
        TestBench bench;
        MainWindow* w = bench.start();
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QTest::mouseClick(child<QWidget>(w, "cmdReset"), Qt::LeftButton);
        QCOMPARE(bench.device.read(6), QByteArray("\x0B\x05\x10\x0B\x06\x11", 6));
        QTRY_COMPARE(monitorTexts(w), (QStringList{"Comm Test - 0B 05 10", "Reset - 0B 06 11"}));
        QCOMPARE(viewSelection(w), -1);
        QTest::mouseClick(keypad(w)[0], Qt::LeftButton);
        QTRY_COMPARE(viewSelection(w), 2);
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QTRY_COMPARE(monitorTexts(w).size(), 4);
        QCOMPARE(viewSelection(w), 2);

        QTest::mouseClick(child<QWidget>(w, "cmdClearComm"), Qt::LeftButton);
        QCOMPARE(monitorTexts(w), QStringList());
        QCOMPARE(w->session().monitor().count(), 0);
        QCOMPARE(bench.device.read(11, 200).size(), 8); // key 1 and Comm Test, nothing more
        QTest::mouseClick(child<QWidget>(w, "cmdClearComm"), Qt::LeftButton);
        QCOMPARE(monitorTexts(w), QStringList());
    }

    void repliesFromTheDeviceShowAsOneVisibleRowAndLightTheLamp() {
        SimProcess sim;
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QTest::mouseClick(keypad(w)[4], Qt::LeftButton);
        QTRY_COMPARE(monitorTexts(w),
                     (QStringList{"Key: 5 - 0B 02 02 50 5F", "Reply: 0B 00 0B\\r\\n"}));
        QTRY_COMPARE(viewSelection(w), 1);
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), QStringLiteral("ACK"));
        QCOMPARE(child<QLabel>(w, "lblResponse")->accessibleName(), QStringLiteral("ACK"));
        QCOMPARE(child<ShapeWidget>(w, "Shape1")->fillColor(), QColor(0, 255, 0));
        QCOMPARE(child<ShapeWidget>(w, "Shape1")->accessibleDescription(), QStringLiteral("green"));
    }

    void replyStatusFollowsTheFirstFiveCharacters() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* response = child<QLabel>(w, "lblResponse");
        auto* lamp = child<ShapeWidget>(w, "Shape1");
        bench.device.write("0B FF 0A\r\n");
        QTRY_COMPARE(response->text(), QStringLiteral("NAK"));
        QCOMPARE(lamp->fillColor(), QColor(255, 0, 0));
        bench.device.write("0B 0F 1A\r\n");
        QTRY_COMPARE(response->text(), QStringLiteral("CRC"));
        QCOMPARE(lamp->fillColor(), QColor(255, 255, 0));
        // Anything else, lower case included, changes nothing.
        bench.device.write("0b 00 0b\r\n");
        QTRY_COMPARE(w->session().monitor().count(), 3);
        bench.device.write(QByteArray("\x00\xFF\r\n", 4));
        QTRY_COMPARE(w->session().monitor().count(), 4);
        QCOMPARE(response->text(), QStringLiteral("CRC"));
        QTRY_COMPARE(monitorTexts(w).last(), QStringLiteral("Reply: \\x00\\xFF\\r\\n"));
        QCOMPARE(w->session().monitor().line(3), QByteArray("Reply: \x00\xFF\r\n", 11));
    }

    void unopenablePortAtLoadStillOpensTheWindowAndSaysWhy() {
        TestBench bench(QStringLiteral("/dev/orv-test-missing"));
        MainWindow* w = bench.start();
        QVERIFY(w->isVisible());
        QTRY_VERIFY(w->findChild<QMessageBox*>(QStringLiteral("linkWarning")));
        auto* warning = w->findChild<QMessageBox*>(QStringLiteral("linkWarning"));
        QVERIFY2(warning->text().contains(QLatin1String("/dev/orv-test-missing")),
                 qPrintable(warning->text()));
        QVERIFY(!warning->isModal());
        // A key now sends nothing, and the line says so.
        QTest::mouseClick(keypad(w)[0], Qt::LeftButton);
        QTRY_VERIFY(monitorTexts(w).size() == 2);
        QVERIFY(monitorTexts(w).last().startsWith(QLatin1String("Not sent (")));
        QVERIFY(!monitorTexts(w).last().startsWith(QLatin1String("Key: ")));
    }

    void vanishedDeviceIsReportedOnce() {
        auto bench = std::make_unique<TestBench>();
        MainWindow* w = bench->start();
        QTest::mouseClick(keypad(w)[0], Qt::LeftButton);
        bench->device.closeMaster();
        QTRY_COMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
        QTest::qWait(300);
        QCOMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
        QCOMPARE(monitorTexts(w).first(), QStringLiteral("Key: 1 - 0B 00 02 50 5D"));
        QVERIFY(!w->session().portOpen());
    }

    void metaLanguageOpensTheDocumentOrSaysWhereItLooked() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* open = w->findChild<QAction*>(QStringLiteral("mnuMetaL"));
        const QString path = bench.dir.filePath(QStringLiteral("ORV_API_v103.pdf"));
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        open->trigger();
        QVERIFY(answer.seen());
        QVERIFY2(answer->text.contains(path), qPrintable(answer->text));

        QFile(path).open(QIODevice::WriteOnly);
        // The document goes to xdg-open; this one only notes what it was given.
        const QString opener = bench.dir.filePath(QStringLiteral("xdg-open"));
        QFile script(opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$1\" > \"$0.arg\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", bench.dir.path().toLocal8Bit() + ':' + searchPath);
        open->trigger();
        auto given = [&] {
            QFile f(opener + QStringLiteral(".arg"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_COMPARE(given(), QFile::encodeName(path) + '\n');
        qputenv("PATH", searchPath);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
