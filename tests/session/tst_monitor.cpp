// The monitor's model: order, selection, batching to views, visible text.
#include "session/monitormodel.h"
#include "session/visibletext.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

class TestMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesKeepTheirBytesTheTimeTheyCameAndASaneSelection() {
        MonitorModel m;
        m.selectLast();
        QCOMPARE(m.selectedIndex(), -1);
        const QByteArray binary("\x00\xFF\r\n", 4);
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        m.append("first");
        m.append(binary);
        QCOMPARE(m.line(1), binary);
        QTRY_COMPARE(m.rowCount(), 2);
        QCOMPARE(m.index(1).data().toString(), QStringLiteral("\\x00\\xFF\\r\\n"));
        const QString tip = m.index(0).data(Qt::ToolTipRole).toString();
        const QDateTime at = QDateTime::fromString(tip, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QVERIFY2(at >= before && at <= QDateTime::currentDateTime(), qPrintable(tip));
        QCOMPARE(at.toMSecsSinceEpoch(), m.at(0).msecsSinceEpoch);
        m.setSelectedIndex(5);
        QCOMPARE(m.selectedIndex(), -1);
        m.selectLast();
        QCOMPARE(m.selectedIndex(), 1);
        m.clear();
        QCOMPARE(m.count(), 0);
        QCOMPARE(m.selectedIndex(), -1);
    }

    void rowsReachViewsInOneBatchWithTheSelection() {
        MonitorModel m;
        m.append("cleared while it waits");
        m.clear();
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
        QCOMPARE(m.index(0).data().toString(), QStringLiteral("0"));
    }

    void visibleTextShowsEveryByteDistinctly() {
        QCOMPARE(visibleText(QByteArray("0B \x00\x01\x7F\x80\xFF\t\r\n ~", 13)),
                 QStringLiteral("0B \\x00\\x01\\x7F\\x80\\xFF\\t\\r\\n ~"));
        // A literal backslash cannot be confused with an escape.
        QCOMPARE(visibleText("\\n"), QStringLiteral("\\\\n"));
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
