// The monitor as screen readers and the mouse meet it: a list of rows, each
// with its text, the selected one marked, a click selecting in the session,
// a reply's tooltip naming the send it answered, copying as the log writes.
#include "app/monitorview.h"
#include "session/stampedline.h"
#include "support/testbench.h"

#include <QAccessible>
#include <QClipboard>
#include <QHelpEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QToolTip>

class TestMonitorView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowsTextAndSelectionReachAssistiveTools() {
        TestBench bench;
        MainWindow* w = bench.start();
        const MonitorModel& m = w->session().monitor();
        auto* view = child<MonitorView>(w, "lstComm");
        click(w, "cmdCommTest");
        bench.device.write("0B 00 0B\r\n");
        QTRY_COMPARE(m.count(), 2);
        click(w, "cmdReset");
        QTRY_COMPARE(view->rowCount(), 3);
        const QStringList texts{"Comm Test - 0B 05 10", "Reply: 0B 00 0B\\r\\n",
                                "Reset - 0B 06 11"};

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), "Communication Monitor");
        QAccessibleTableInterface* table = list->tableInterface();
        auto checkRows = [&](int selected) {
            QCOMPARE(list->childCount(), 3);
            for (int r = 0; r < 3; ++r) {
                QAccessibleInterface* row = list->child(r);
                QCOMPARE(row->role(), QAccessible::ListItem);
                QCOMPARE(row->text(QAccessible::Name), texts[r]);
                QCOMPARE(list->indexOfChild(row), r);
                QCOMPARE(row->state().selected, r == selected);
            }
            QCOMPARE(table->selectedRows(), QList<int>{selected});
            QCOMPARE(m.selectedIndex(), selected);
        };
        // The reply selected its line; Reset left the selection where it was.
        checkRows(1);
        // Ctrl+C copies the selected line, Copy All from the context menu every line.
        const auto stamped = [&m](int i) {
            return stampedLine(m.at(i).msecsSinceEpoch, m.line(i)) + QLatin1Char('\n');
        };
        view->setFocus();
        QTest::keySequence(view, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), stamped(1));
        QTimer::singleShot(0, this, [w] {
            auto* menu = w->findChild<QMenu*>("monitorMenu");
            for (QAction* a : menu->actions())
                if (a->text() == "Copy All")
                    a->trigger();
            menu->close();
        });
        Q_EMIT view->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(QGuiApplication::clipboard()->text(), stamped(0) + stamped(1) + stamped(2));
        // A click, a key or an assistive tool selects in the session, which the view shows.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->rowRect(0).center());
        checkRows(0);
        QVERIFY(table->selectRow(2));
        checkRows(2);
        QTest::keyClick(view, Qt::Key_Up);
        checkRows(1);

        QHelpEvent help(QEvent::ToolTip, view->rowRect(1).center(),
                        view->viewport()->mapToGlobal(view->rowRect(1).center()));
        QApplication::sendEvent(view->viewport(), &help);
        QCOMPARE(QToolTip::text(), m.toolTip(1));
        // A reply says how long after which send it came; a send says no such thing.
        QVERIFY2(QToolTip::text().contains(QRegularExpression(
                     QStringLiteral("\\n\\d+\\.\\d ms after \"Comm Test - 0B 05 10\"$"))),
                 qPrintable(QToolTip::text()));
        QVERIFY(!m.toolTip(0).contains("after"));

        click(w, "cmdClearComm");
        QCOMPARE(list->childCount(), 0);
        QCOMPARE(table->selectedRows(), QList<int>{});
    }
};

QTEST_MAIN(TestMonitorView)
#include "tst_monitorview.moc"
