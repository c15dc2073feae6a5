// The monitor as screen readers and the mouse meet it: a list of rows, each
// with its text, the selected one marked, a click selecting in the session.
#include "app/monitorview.h"
#include "support/testbench.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QToolTip>

class TestMonitorView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowsTextAndSelectionReachAssistiveTools() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        auto* view = child<MonitorView>(w, "lstComm");
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        bench.device.write("0B 00 0B\r\n");
        QTRY_COMPARE(w->session().monitor().count(), 2);
        QTest::mouseClick(child<QWidget>(w, "cmdReset"), Qt::LeftButton);
        QTRY_COMPARE(view->rowCount(), 3);
        const QStringList texts{"Comm Test - 0B 05 10", "Reply: 0B 00 0B\\r\\n",
                                "Reset - 0B 06 11"};

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Communication Monitor"));
        QCOMPARE(list->childCount(), 3);
        QAccessibleTableInterface* table = list->tableInterface();
        QVERIFY(table);
        auto checkRows = [&](int selected) {
            for (int r = 0; r < list->childCount(); ++r) {
                QAccessibleInterface* row = list->child(r);
                QCOMPARE(row->role(), QAccessible::ListItem);
                QCOMPARE(row->text(QAccessible::Name), texts[r]);
                QCOMPARE(list->indexOfChild(row), r);
                QCOMPARE(row->state().selected, r == selected);
            }
            QCOMPARE(table->selectedRows(), QList<int>{selected});
        };
        // The reply selected its line; Reset left the selection where it was.
        checkRows(1);

        // A click on a row selects it in the session, which the view shows.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->rowRect(0).center());
        QCOMPARE(w->session().monitor().selectedIndex(), 0);
        checkRows(0);
        QVERIFY(table->selectRow(2));
        QCOMPARE(w->session().monitor().selectedIndex(), 2);
        checkRows(2);
        QTest::keyClick(view, Qt::Key_Up);
        QCOMPARE(w->session().monitor().selectedIndex(), 1);

        // Each row's tooltip is the one the monitor gives its line.
        QHelpEvent help(QEvent::ToolTip, view->rowRect(1).center(),
                        view->viewport()->mapToGlobal(view->rowRect(1).center()));
        QApplication::sendEvent(view->viewport(), &help);
        QCOMPARE(QToolTip::text(), w->session().monitor().toolTip(1));

        QTest::mouseClick(child<QWidget>(w, "cmdClearComm"), Qt::LeftButton);
        QCOMPARE(list->childCount(), 0);
        QCOMPARE(table->selectedRows(), QList<int>{});
    }
};

QTEST_MAIN(TestMonitorView)
#include "tst_monitorview.moc"
