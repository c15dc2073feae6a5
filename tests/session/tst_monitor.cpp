// The monitor's model: order, selection, batching to views, visible text.
#include "session/monitormodel.h"
#include "session/visibletext.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

class TestMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesKeepTheirOrderAndBytes() {
        MonitorModel m;
        const QByteArray binary("\x00\xFF\r\n", 4);
        m.append("first");
        m.append(binary);
        QCOMPARE(m.count(), 2);
        QCOMPARE(m.line(0), QByteArray("first"));
        QCOMPARE(m.line(1), binary);
    }

    void selectionIsMinusOneWhenEmptyOrOutOfRange() {
        MonitorModel m;
        m.selectLast();
        QCOMPARE(m.selectedIndex(), -1);
        m.append("a");
        m.append("b");
        m.selectLast();
        QCOMPARE(m.selectedIndex(), 1);
        m.setSelectedIndex(5);
        QCOMPARE(m.selectedIndex(), -1);
        m.setSelectedIndex(0);
        m.clear();
        QCOMPARE(m.count(), 0);
        QCOMPARE(m.selectedIndex(), -1);
    }

    void rowsReachViewsInOneBatchWithTheSelection() {
        MonitorModel m;
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        QSignalSpy selected(&m, &MonitorModel::selectedIndexChanged);
        for (int i = 0; i < 1000; ++i) {
            m.append(QByteArray::number(i));
            m.selectLast();
        }
        QCOMPARE(m.rowCount(), 0);
        QTRY_COMPARE(m.rowCount(), 1000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.first().first().toInt(), 999);
        QCOMPARE(m.index(999).data().toString(), QStringLiteral("999"));
    }

    void clearWhileRowsWaitLeavesNothingBehind() {
        MonitorModel m;
        m.append("x");
        m.clear();
        QTest::qWait(20);
        QCOMPARE(m.rowCount(), 0);
        m.append("y");
        QTRY_COMPARE(m.rowCount(), 1);
        QCOMPARE(m.index(0).data().toString(), QStringLiteral("y"));
    }

    void eachLineCarriesTheTimeItWasAdded() {
        MonitorModel m;
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        m.append("now");
        QVERIFY(m.at(0).msecsSinceEpoch >= before);
        QVERIFY(m.at(0).msecsSinceEpoch <= QDateTime::currentMSecsSinceEpoch());
    }

    void visibleTextShowsEveryByteDistinctly() {
        QCOMPARE(visibleText("Reply: 0B 00 0B\r\n"), QStringLiteral("Reply: 0B 00 0B\\r\\n"));
        QCOMPARE(visibleText(QByteArray("\x00\x01\x7F\x80\xFF\t", 6)),
                 QStringLiteral("\\x00\\x01\\x7F\\x80\\xFF\\t"));
        // A literal backslash cannot be confused with an escape.
        QCOMPARE(visibleText("\\n"), QStringLiteral("\\\\n"));
        QVERIFY(visibleText("\\n") != visibleText("\n"));
        QCOMPARE(visibleText(" ~"), QStringLiteral(" ~"));
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
