// The Session Monitor on rows whose kinds are known: what the filter and the
// kind toggles let through, find and the problem keys at the ends, following
// the newest row, Save Rows as text or CSV or not at all, and the window
// opened from the main window's menu.
#include "app/sessionmonitor.h"
#include "app/sessionmonitorview.h"
#include "app/shownrows.h"
#include "session/monitormodel.h"
#include "session/stampedline.h"
#include "support/testbench.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

namespace {

// Rows of each kind; the 40 ms publish is done by hand.
const QList<QByteArray> knownRows{
    "Key: 5 - 0B 02 02 50 5F",                                      // 0
    "Reply: 0B 00 0B\r\n",                                          // 1
    "Comm Test - 0B 05 10",                                         // 2
    "Reply: 0B FF 0A\r\n",                                          // 3
    "Reset - 0B 06 11",                                             // 4
    "Reply: 0B 0F 1A\r\n",                                          // 5
    "Not sent (port closed): Key: 1 - 0B 00 02 50 5D",              // 6
    "Error: Lost /dev/ttyUSB0",                                     // 7
    "Port: /dev/ttyUSB0 is open again",                             // 8
    "Sent: 0B 07 12",                                               // 9
    "Reply: hello \xFF\r\n",                                        // 10
    "Expect failed: t.seq:4: expected ACK, got \"0B FF 0A\\r\\n\"", // 11
    "Run: FAIL: 1 of 3 expectations failed",                        // 12
    "Reply: 0B 00 0B\r\n",                                          // 13
};

struct Fixture {
    MonitorModel model;
    QList<qint64> selectedInMain;
    SessionMonitor window{model, [this](qint64 n) { selectedInMain << n; }, nullptr};

    Fixture() {
        qint64 t = 1796640000000; // a fixed day
        for (const QByteArray& row : knownRows)
            model.append(row, t += 1000, row.startsWith("Reply") ? 12400 : -1,
                         row.startsWith("Reply") ? model.droppedCount() + model.count() - 1 : -1);
        model.publish();
    }
    QList<qint64> shown() const {
        QList<qint64> out;
        for (qint64 r = 0; r < window.shown().count(); ++r)
            out << window.shown().numberAt(r);
        return out;
    }
    void filter(const QString& text, bool regex = false, const QStringList& on = {}) {
        window.findChild<QLineEdit*>("txtFilter")->setText(text);
        window.findChild<QCheckBox*>("chkRegex")->setChecked(regex);
        for (QToolButton* b : window.findChildren<QToolButton*>())
            b->setChecked(on.isEmpty() || on.contains(b->objectName()));
        window.applyFilter();
        QTRY_VERIFY(!window.shown().filtering());
    }
    SessionMonitorView* view() const { return window.view(); }
};

} // namespace

class TestSessionMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void filterAndKindToggles_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QStringList>("on"); // kind toggles left on; none named: all
        QTest::addColumn<QList<qint64>>("rows");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QList<qint64>>("joining"); // of a NAK (14) and a key (15) coming later
        const auto row = [](const char* name, const QString& text, bool regex,
                            const QStringList& on, const QList<qint64>& rows, const QString& count,
                            const QList<qint64>& joining = {}) {
            QTest::newRow(name) << text << regex << on << rows << count << joining;
        };
        row("nothing set: every row", "", false, {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
            "14 rows", {14, 15});
        row("0B FF, also inside a failed expectation", "0B FF", false, {}, {3, 11}, "2 of 14 rows",
            {14});
        row("any case", "reset", false, {}, {4}, "1 of 14 rows");
        row("as the log writes it: escapes", "\\xFF\\r", false, {}, {10}, "1 of 14 rows");
        row("regular expression", "^reply: 0b (00|0f)", true, {}, {1, 5, 13}, "3 of 14 rows");
        row("a bad expression shows nothing", "(", true, {}, {}, "0 of 14 rows");
        row("NAK and CRC only", "", false, {"btnKindNak", "btnKindCrc"}, {3, 5}, "2 of 14 rows",
            {14});
        row("errors and failures only", "", false, {"btnKindProblems"}, {6, 7, 11}, "3 of 14 rows");
        row("sent frames, a text and a kind together", "0B 0", false, {"btnKindSent"}, {0, 2, 4, 9},
            "4 of 14 rows", {15});
    }
    void filterAndKindToggles() {
        QFETCH(QString, text);
        QFETCH(bool, regex);
        QFETCH(QStringList, on);
        QFETCH(QList<qint64>, rows);
        QFETCH(QString, count);
        QFETCH(QList<qint64>, joining);
        Fixture f;
        f.filter(text, regex, on);
        QCOMPARE(f.shown(), rows);
        QCOMPARE(f.window.countText(), count);
        // New rows that match join as they come; others stay out.
        f.model.append("Reply: 0B FF 0A\r\n", 1796640100000);
        f.model.append("Key: 3 - 0B 01 02 50 5E", 1796640100001);
        f.model.publish();
        QCOMPARE(f.shown(), rows + joining);
    }

    void findAndProblemsAtTheEnds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("from");        // the current row, -1 for none
        QTest::addColumn<QString>("keys");       // F3, S-F3, F8, S-F8, one after the other
        QTest::addColumn<QList<qint64>>("rows"); // the current row after each
        QTest::addColumn<QString>("status");
        const auto row = [](const char* name, const QString& text, qint64 from, const QString& keys,
                            const QList<qint64>& rows, const QString& status) {
            QTest::newRow(name) << text << from << keys << rows << status;
        };
        row("F3 from nothing, to the last, then stays", "0b ff", -1, "F3 F3 F3", {3, 11, 11},
            "No more matches below.");
        row("Shift+F3 back to the first, then stays", "0B FF", 13, "S-F3 S-F3 S-F3", {11, 3, 3},
            "No more matches above.");
        row("F8 through every problem", "", 0, "F8 F8 F8 F8 F8 F8", {3, 5, 6, 7, 11, 11},
            "No more problems below.");
        row("Shift+F8 from the end", "", 13, "S-F8 S-F8", {11, 7}, "");
        row("F3 with nothing to find", "", 2, "F3", {2}, "Type what to find in the Filter box.");
    }
    void findAndProblemsAtTheEnds() {
        QFETCH(QString, text);
        QFETCH(qint64, from);
        QFETCH(QString, keys);
        QFETCH(QList<qint64>, rows);
        QFETCH(QString, status);
        Fixture f;
        // Find looks without filtering: every row stays shown.
        f.window.findChild<QCheckBox*>("chkOnlyMatching")->setChecked(false);
        f.filter(text);
        QCOMPARE(f.window.shown().count(), knownRows.size());
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        if (from >= 0)
            f.view()->setCurrentRow(from);
        QList<qint64> got;
        for (const QString& key : keys.split(' ')) {
            QTest::keyClick(f.view(), key.endsWith("F3") ? Qt::Key_F3 : Qt::Key_F8,
                            key.startsWith("S-") ? Qt::ShiftModifier : Qt::NoModifier);
            QTRY_VERIFY(!f.window.shown().searching());
            got << f.view()->currentRow();
        }
        QCOMPARE(got, rows);
        QCOMPARE(f.window.statusText(), status);
        // The main window's monitor follows the row picked.
        if (rows.last() != from)
            QCOMPARE(f.selectedInMain.last(), rows.last());
    }

    void followsTheNewestUntilScrolledUp() {
        Fixture f;
        f.window.resize(800, 300);
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QScrollBar* bar = f.view()->verticalScrollBar();
        auto* back = f.window.findChild<QPushButton*>("btnNewRows");
        const auto add = [&f](int n) {
            for (int i = 0; i < n; ++i)
                f.model.append("Reply: 0B 00 0B\r\n", 1796640200000 + i);
            f.model.publish();
        };
        add(100);
        QTRY_VERIFY(bar->maximum() > 90);
        QVERIFY(bar->value() == bar->maximum() && f.view()->following() && back->isHidden());
        // Scrolled up: the rows stay put, and the new ones are counted.
        bar->setValue(bar->maximum() - 10);
        QVERIFY(!f.view()->following());
        const int at = bar->value();
        add(3);
        QTRY_COMPARE(back->text(), "3 new rows \u2193");
        QVERIFY(back->isVisible());
        QCOMPARE(bar->value(), at);
        // Clicking the count goes back to the newest, and follows again.
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(f.view()->following() && back->isHidden());
        add(5);
        QTRY_COMPARE(bar->value(), bar->maximum());
        QCOMPARE(f.window.countText(), "122 rows");
        // Ctrl+C copies the selected rows as the log writes them.
        f.view()->setCurrentRow(1);
        QTest::keyClick(f.view(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keySequence(f.view(), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 stampedLine(f.model.at(1).msecsSinceEpoch, f.model.at(1).text) + '\n' +
                     stampedLine(f.model.at(2).msecsSinceEpoch, f.model.at(2).text) + '\n');
    }

    void saveRowsWholeOrNotAtAll_data() {
        QTest::addColumn<QString>("target");   // in a scratch folder
        QTest::addColumn<QByteArray>("setup"); // old, link, none
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QString>("error"); // why not, DIR for the folder; empty: written
        const auto row = [](const char* name, const QString& target, const QByteArray& setup,
                            bool csv, const QString& error) {
            QTest::newRow(name) << target << setup << csv << error;
        };
        row("log text", "r.log", "old", false, "");
        row("CSV", "r.csv", "none", true, "");
        row("folder missing", "none/r.log", "none", false, "the folder DIR/none does not exist");
        row("a link", "r.log", "link", false,
            "it is a symbolic link; give the path of the file itself");
    }
    void saveRowsWholeOrNotAtAll() {
        QFETCH(QString, target);
        QFETCH(QByteArray, setup);
        QFETCH(bool, csv);
        QFETCH(QString, error);
        Fixture f;
        f.filter("0B FF");
        QTemporaryDir dir;
        const QString path = dir.filePath(target);
        const QByteArray old = "old rows\n";
        if (setup != "none")
            QVERIFY(writeFile(setup == "link" ? dir.filePath("elsewhere") : path, old));
        if (setup == "link")
            QVERIFY(QFile::link(dir.filePath("elsewhere"), path));
        const QString got = f.window.saveRows(path, csv);
        if (!error.isEmpty())
            error = QStringLiteral("Cannot write the rows DIR/%1: %2").arg(target, error);
        QCOMPARE(got, error.replace("DIR", dir.path()));
        const QByteArray content = readFile(path);
        const SessionRows& rows = f.window.shown().rows();
        if (!error.isEmpty())
            QCOMPARE(content, setup == "none" ? QByteArray("<unreadable>") : old);
        else if (csv)
            QCOMPARE(content, "date,time,kind,text,reply_after\n" + rows.row(3).date + ',' +
                                  rows.row(3).time +
                                  ",NAK,\"Reply: 0B FF 0A\\r\\n\",\"12.4 ms after Comm Test\"\n" +
                                  rows.row(11).date + ',' + rows.row(11).time +
                                  ",expect failed,\"Expect failed: t.seq:4: expected ACK, got "
                                  "\"\"0B FF 0A\\\\r\\\\n\"\"\",\"\"\n");
        else
            QCOMPARE(content, rows.logLine(3) + '\n' + rows.logLine(11) + '\n');
        QCOMPARE(entries(dir.path()).filter(".tmp"), QStringList());
    }

    void aLogReadBackHasTheSameColumnsFilterAndCopy() {
        QTemporaryDir dir;
        const QString path = dir.filePath("2026-12-07.log");
        const QByteArray lines = "2026-12-07 23:59:59.998  Key: 9 - 0B 04 02 50 61\n"
                                 "edited by hand: 0B FF\n"
                                 "2026-12-08 00:00:00.001  Reply: 0B FF 0A\\r\\n\n";
        QVERIFY(writeFile(path, lines));
        QString error;
        std::unique_ptr<SessionMonitor> w(SessionMonitor::openLog(path, nullptr, &error));
        QVERIFY2(w, qPrintable(error));
        QCOMPARE(w->windowTitle(), "2026-12-07.log - Session Monitor");
        QTRY_COMPARE(w->countText(), "3 rows");
        QStringList read;
        for (qint64 r = 0; r < 3; ++r)
            read << w->view()->rowText(r);
        QCOMPARE(read, QStringList({"2026-12-07 23:59:59.998, sent, Key: 9 - 0B 04 02 50 61",
                                    "text, edited by hand: 0B FF",
                                    "2026-12-08 00:00:00.001, NAK, Reply: 0B FF 0A\\r\\n"}));
        w->findChild<QLineEdit*>("txtFilter")->setText("0b ff");
        w->applyFilter();
        QTRY_COMPARE(w->countText(), "2 of 3 rows");
        w->view()->setCurrentRow(0);
        w->view()->setCurrentRow(1, true);
        QCOMPARE(w->selectedText().toUtf8(), lines.sliced(lines.indexOf('\n') + 1));
    }

    void openedFromTheMenuOnceAndRowsSelectTheMainMonitor() {
        TestBench bench;
        MainWindow* w = bench.start();
        click(w, "cmdCommTest");
        bench.device.write("0B 00 0B\r\n");
        QTRY_COMPARE(w->session().monitor().count(), 2);
        trigger(w, "mnuSessionMonitor");
        auto* monitor = w->findChild<SessionMonitor*>("sessionMonitor");
        QVERIFY(monitor && QTest::qWaitForWindowExposed(monitor));
        trigger(w, "mnuSessionMonitor");
        QCOMPARE(w->findChildren<SessionMonitor*>().size(), 1);
        QTRY_COMPARE(monitor->shown().count(), 2);
        monitor->view()->setCurrentRow(0);
        QCOMPARE(w->session().monitor().selectedIndex(), 0);
        // What the row reads out: its time, kind, text and latency.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(monitor->view());
        QCOMPARE(list->childCount(), 2);
        const QString name = list->child(1)->text(QAccessible::Name);
        const QRegularExpression read(
            "^\\d{4}-\\d\\d-\\d\\d [0-9:.]{12}, ACK, Reply: 0B 00 0B\\\\r\\\\n, "
            "[0-9.]+ ms after Comm Test$");
        QVERIFY2(name.contains(read), qPrintable(name));
        QVERIFY(list->child(0)->state().selected && !list->child(1)->state().selected);
        // Clear Comm empties it too; the next row comes as the first.
        click(w, "cmdClearComm");
        QTRY_COMPARE(monitor->countText(), "0 rows");
        click(w, "cmdReset");
        QTRY_COMPARE(monitor->shown().count(), 1);
        QCOMPARE(monitor->view()->rowText(0).section(", ", 1), "sent, Reset - 0B 06 11");
    }
};

QTEST_MAIN(TestSessionMonitor)
#include "tst_sessionmonitor.moc"
