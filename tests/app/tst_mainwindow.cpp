// The main window as an operator sees it: what a click sends, records and
// lights, what a reply lights, changing the port, and what it must not lose
// or misstate however the program ends or something goes wrong.
#include "app/commandbutton.h"
#include "app/shapewidget.h"
#include "session/sessionlog.h"
#include "support/dialogs.h"
#include "support/testbench.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <csignal>

using Buttons = QList<QMessageBox::StandardButton>;

namespace {

QByteArray todaysLog() {
    return readFile(SessionLog::pathFor(QDate::currentDate()));
}

// The lock file a running process holds open, wherever its serial library put it.
QString heldLockFile(qint64 pid) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget().contains("/LCK.."))
            return fd.symLinkTarget();
    return {};
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void startsOnTheStoredPortAndEveryButtonSendsItsFrame() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w && w->session().portOpen());
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), bench.device.slavePath());
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

    void replyLightsTheLampByItsFirstFiveCharactersUntilItIsNoLongerCurrent() {
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
        // The lamp goes dark when the monitor is cleared, then when the port is lost.
        for (const bool lost : {false, true}) {
            if (lost) {
                QVERIFY(bench.device.write("0B 00 0B\r\n"));
                QTRY_COMPARE(response->text(), "ACK");
                bench.device.closeMaster();
            } else {
                click(w, "cmdClearComm");
            }
            QTRY_COMPARE(response->text(), "Response");
            QCOMPARE(lamp->fillColor(), QColor(Qt::black));
            QCOMPARE(lamp->accessibleDescription(), "black");
        }
    }

    // The key map, and text fields that take digits as text.
    void keysPressTheKeypadOutsideTextFields_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("focus");   // the widget with the focus
        QTest::addColumn<QString>("pressed"); // the button that lights and clicks, if any
        QTest::addColumn<QByteArray>("line"); // what the monitor gets, if anything
        const auto row = [](const char* name, Qt::Key code, Qt::KeyboardModifiers modifiers,
                            const char* focus, const char* pressed, const QByteArray& line) {
            QTest::newRow(name) << int(code) << modifiers << focus << pressed << line;
        };
        const Qt::KeyboardModifiers none, pad = Qt::KeypadModifier, ctrl = Qt::ControlModifier;
        row("5", Qt::Key_5, none, "lstComm", "5", "Key: 5 - 0B 02 02 50 5F");
        row("0, number pad", Qt::Key_0, pad, "cmdClearComm", "0", "Key: 10 - 0B 04 03 50 62");
        row("Shift+8 as *", Qt::Key_Asterisk, Qt::ShiftModifier, "lstComm", "*", {});
        row("Ctrl+T", Qt::Key_T, ctrl, "lstComm", "cmdCommTest", "Comm Test - 0B 05 10");
        row("Ctrl+R, number pad", Qt::Key_R, ctrl | pad, "lstComm", "cmdReset", "Reset - 0B 06 11");
        row("Ctrl+5", Qt::Key_5, ctrl, "lstComm", "", {});
        row("T alone", Qt::Key_T, none, "lstComm", "", {});
        row("5 in Port Settings", Qt::Key_5, none, "txtPortSettings", "", {});
        row("7, number pad, in Serial Port", Qt::Key_7, pad, "txtCommPort", "", {});
        row("Ctrl+R in Port Settings", Qt::Key_R, ctrl, "txtPortSettings", "", {});
    }
    void keysPressTheKeypadOutsideTextFields() {
        QFETCH(int, code);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, focus);
        QFETCH(QString, pressed);
        QFETCH(QByteArray, line);
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(QTest::qWaitForWindowActive(w));
        trigger(w, "mnuSettings");
        auto* target = child<QWidget>(w, focus.toLatin1());
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        auto* field = qobject_cast<QLineEdit*>(target);
        const QString before = field ? field->text() : QString();
        const MonitorModel& m = w->session().monitor();
        const int count = m.count();
        QTest::keyClick(target, Qt::Key(code), modifiers);
        auto* button = static_cast<CommandButton*>(pressed.size() == 1 ? key(w, pressed)
                                                   : pressed.isEmpty()
                                                       ? nullptr
                                                       : child<QWidget>(w, pressed.toLatin1()));
        for (CommandButton* b : w->findChildren<CommandButton*>())
            QCOMPARE(b->backColor() == QColor(Qt::red), b == button);
        QCOMPARE(lines(m).mid(count), line.isEmpty() ? QList<QByteArray>() : QList{line});
        if (field) // typed as text, a Ctrl+R not at all
            QCOMPARE(field->text(),
                     before + (modifiers & Qt::ControlModifier ? QString()
                                                               : QString(QLatin1Char(char(code)))));
        // What was sent went out, and nothing else before the Comm Test clicked now.
        click(w, "cmdCommTest");
        const QByteArray sent = QByteArray::fromHex(line.mid(line.indexOf(" - ") + 3) + "0B0510");
        QCOMPARE(bench.device.read(sent.size()), sent);
    }

    // Red from a mouse press until the next tick of the feedback timer.
    void anyMousePressLightsRedUntilTheNextTickAndOnlyALeftClickSends() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* one = static_cast<CommandButton*>(key(w, "1"));
        auto* five = static_cast<CommandButton*>(key(w, "5"));
        // The colour really drawn on a button's face, off its caption.
        const auto drawn = [](QWidget* b) { return b->grab().toImage().pixelColor(10, 10); };
        // The keyboard sends without lighting.
        one->setFocus();
        QTest::keyClick(one, Qt::Key_Space);
        QCOMPARE(bench.device.read(5), QByteArray::fromHex("0B0002505D"));
        QCOMPARE(one->backColor(), CommandButton::buttonFace());
        // Every other button pressed with the right or middle button, last 5 with the left.
        QList<CommandButton*> lit;
        for (CommandButton* b : w->findChildren<CommandButton*>())
            if (b != five && b != one && !b->objectName().endsWith("Settings"))
                lit << b;
        lit << five;
        const auto button = [&lit](int i) {
            if (i == lit.size() - 1)
                return Qt::LeftButton;
            return i % 2 ? Qt::RightButton : Qt::MiddleButton;
        };
        const QColor red(255, 0, 0);
        for (int i = 0; i < lit.size(); ++i)
            QTest::mousePress(lit[i], button(i));
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), red);
        QCOMPARE(drawn(five), red);
        // Held past a tick: back to the face while still held.
        QSignalSpy ticks(child<QTimer>(w, "tmrKeyPress"), &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), CommandButton::buttonFace());
        QVERIFY(drawn(five) != red);
        // Only the left button sends, on release over the button: 1 is released elsewhere.
        for (int i = lit.size() - 1; i >= 0; --i)
            QTest::mouseRelease(lit[i], button(i));
        QTest::mousePress(one, Qt::LeftButton);
        QCOMPARE(one->backColor(), red);
        QTest::mouseMove(one, QPoint(-40, -40));
        QTest::mouseRelease(one, Qt::LeftButton, {}, QPoint(-40, -40));
        click(w, "cmdReset");
        QCOMPARE(bench.device.read(8), QByteArray::fromHex("0B0202505F0B0611"));
        QTRY_COMPARE(one->backColor(), CommandButton::buttonFace());
        // Save and Cancel have none.
        trigger(w, "mnuSettings");
        for (const char* name : {"cmdSaveSettings", "cmdCancelSettings"}) {
            QTest::mousePress(child<CommandButton>(w, name), Qt::LeftButton);
            QCOMPARE(child<CommandButton>(w, name)->backColor(), CommandButton::buttonFace());
        }
    }

    void metaLanguageThatCannotShowTheDocumentSaysWhy_data() {
        QTest::addColumn<bool>("documentThere");
        QTest::addColumn<QString>("said"); // at its start; %1 is the document's path
        QTest::newRow("no document")
            << false << "The interface document was not found. Looked at:\n%1\n";
        // An opener that finds no viewer, as xdg-open does on a bare system.
        QTest::newRow("viewer exits 3") << true << "No viewer could open %1.";
    }
    void metaLanguageThatCannotShowTheDocumentSaysWhy() {
        QFETCH(bool, documentThere);
        QFETCH(QString, said);
        TestBench bench;
        MainWindow* w = bench.start();
        const QString opener = bench.dir.filePath("xdg-open");
        QVERIFY(writeFile(opener, "#!/bin/sh\ntouch \"$0.ran\"\nexit 3\n"));
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bench.dir.path().toLocal8Bit() + ':' + path);
        const QString document = bench.dir.filePath("ORV_API_v103.pdf");
        QVERIFY(!documentThere || writeFile(document, {}));
        auto boxes = answerMessageBoxes({QMessageBox::Ok});
        trigger(w, "mnuMetaL");
        QTRY_COMPARE(boxes->size(), 1);
        qputenv("PATH", path);
        QVERIFY2(boxes->first().startsWith(said.arg(document)), qPrintable(boxes->first()));
        // A viewer failure is said because the opener failed, not for want of trying it.
        QCOMPARE(QFile::exists(opener + QStringLiteral(".ran")), documentThere);
    }

    void whatGoesNoFurtherChangesNothing_data() {
        QTest::addColumn<QString>("value");   // typed in Settings; null: File > Close
        QTest::addColumn<Buttons>("answers"); // one per box expected; none: Cancel, not Save
        QTest::addColumn<QString>("said");    // in the last box
        QTest::newRow("Settings > Cancel") << "7" << Buttons{} << "";
        QTest::newRow("invalid") << "abc" << Buttons{QMessageBox::Ok} << "\"abc\"";
        QTest::newRow("answered Cancel") << "/dev/ttyUSB3" << Buttons{QMessageBox::Cancel}
                                         << "Do you want to restart with the new Comm Port?";
        // The program's directory is gone: the file cannot be written.
        QTest::newRow("cannot write")
            << "2" << Buttons{QMessageBox::Ok, QMessageBox::Ok} << "gone/config.ini";
        QTest::newRow("File > Close, answered Cancel")
            << QString() << Buttons{QMessageBox::Cancel} << "Do you want to close the application?";
    }
    void whatGoesNoFurtherChangesNothing() {
        QFETCH(QString, value);
        QFETCH(Buttons, answers);
        QFETCH(QString, said);
        TestBench bench;
        MainWindow* w = bench.start();
        auto* text = child<QLineEdit>(w, "txtPortSettings");
        auto* panel = child<QWidget>(w, "frmSerialSettings");
        const QByteArray before = bench.config();
        if (said.contains("gone"))
            setProgramDirectoryForTesting(bench.dir.filePath("gone"));
        auto boxes =
            answers.isEmpty() ? std::make_shared<QStringList>() : answerMessageBoxes(answers);
        if (value.isNull()) {
            trigger(w, "mnuClose");
        } else {
            trigger(w, "mnuSettings");
            text->setText(value);
            click(w, answers.isEmpty() ? "cmdCancelSettings" : "cmdSaveSettings");
        }
        QCOMPARE(boxes->size(), answers.size());
        QVERIFY2(said.isEmpty() || boxes->last().contains(said), qPrintable(said));
        QVERIFY(!answers.isEmpty() || !panel->isVisible());
        QCOMPARE(bench.config(), before);
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(w->isVisible() && !bench.windows.splash() && w->session().portOpen());
        QCOMPARE(bench.endCount, 0);
        // Opened again, the panel shows the stored port, and over key 4 and the
        // monitor it is its own face only.
        trigger(w, "mnuSettings");
        QCOMPARE(text->text(), bench.device.slavePath());
        QWidget* client = w->centralWidget();
        const QImage over = client->grab(panel->geometry()).toImage();
        for (const char* under : {"frmKeypad", "Frame2"})
            child<QWidget>(w, under)->hide();
        QCOMPARE(client->grab(panel->geometry()).toImage(), over);
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
            auto boxes = answerMessageBoxes({QMessageBox::Ok});
            click(w, "cmdSaveSettings");
            QCOMPARE(boxes->size(), 1);
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

    void everyEndingKeepsTheHalfReplyAndFreesThePort_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("File > Close, answered OK") << 0;
        QTest::newRow("close box") << 0;
        QTest::newRow("settings restart") << 0;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void everyEndingKeepsTheHalfReplyAndFreesThePort() {
        QFETCH(int, signalNumber);
        const QByteArray how = QTest::currentDataTag();
        const QByteArray tagged = "0B 00 0B half " + how;
        TestBench bench;
        if (signalNumber) {
            // The real program beside the bench's config.ini, started through a link
            // from elsewhere: it must still find the file beside the real binary.
            const QString program = bench.dir.filePath("orv-test");
            QTemporaryDir elsewhere;
            const QString link = elsewhere.filePath("orv-test");
            QVERIFY(QFile::copy(QStringLiteral(ORV_TEST_PATH), program));
            QVERIFY(QFile::link(program, link));
            QProcess p;
            p.start(link, {});
            // A whole line logged: the program is up and reading.
            const QByteArray whole = "0B 00 0B whole " + how + "\r\n";
            QVERIFY(bench.device.write(whole));
            QTRY_VERIFY_WITH_TIMEOUT(todaysLog().contains(whole.trimmed()), 20000);
            const QString lock = heldLockFile(p.processId());
            QVERIFY(!lock.isEmpty());
            // Read at once or, at the latest, from the system's queue as the port closes.
            QVERIFY(bench.device.write(tagged));
            ::kill(pid_t(p.processId()), signalNumber);
            QVERIFY(p.waitForFinished(20000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            QVERIFY2(!QFile::exists(lock), qPrintable(lock));
        } else {
            PtyPair next;
            QPointer<MainWindow> w = bench.start();
            QVERIFY(bench.device.write(tagged));
            QTRY_COMPARE(w->session().unfinishedReply().text, tagged);
            if (how == "close box") {
                w->close(); // asks nothing
            } else {
                const auto boxes = answerMessageBoxes({QMessageBox::Ok});
                if (how.startsWith("File > Close")) {
                    trigger(w, "mnuClose");
                } else {
                    trigger(w, "mnuSettings");
                    child<QLineEdit>(w, "txtPortSettings")->setText(next.slavePath());
                    click(w, "cmdSaveSettings");
                }
                QCOMPARE(boxes->size(), 1);
            }
            QTRY_VERIFY(!w);
            QCOMPARE(bench.endCount, how == "settings restart" ? 0 : 1);
            // The port is free again: another program can open it at once.
            QSerialPort port(bench.device.slavePath());
            QVERIFY(port.open(QIODevice::ReadWrite));
        }
        QVERIFY2(todaysLog().contains("  Reply: " + tagged + '\n'), todaysLog().right(300));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
