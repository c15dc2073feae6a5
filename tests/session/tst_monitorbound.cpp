// The monitor: lines keep their bytes and time, reach views in batches, and
// only the newest are held: the oldest leave the screen, never the log, and
// the selection rules hold at the bound.
#include "session/mainsession.h"
#include "settings/configuration.h"
#include "support/files.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestMonitorBound : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void writeConfig(const QByteArray& text) {
        QVERIFY(writeFile(m_dir.filePath("config.ini"), "[SETTINGS]\n" + text));
    }

private Q_SLOTS:
    void init() {
        setProgramDirectoryForTesting(m_dir.path());
        qputenv("XDG_STATE_HOME", m_dir.filePath("state").toUtf8());
    }

    void linesKeepTheirBytesTheirTimeAndTheirSelectionUntilTheyLeave() {
        MonitorModel m;
        m.setLineLimit(3);
        m.selectLast();
        QCOMPARE(m.selectedIndex(), -1);
        const QByteArray binary("0B \x00\x01\x7F\x80\xFF\t\r\n ~\\n", 15);
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        m.append("first");
        m.append(binary);
        QCOMPARE(m.line(1), binary);
        QTRY_COMPARE(m.rowCount(), 2);
        // Every byte shown distinctly: a literal backslash cannot pass for an escape.
        QCOMPARE(m.index(1).data().toString(),
                 QStringLiteral("0B \\x00\\x01\\x7F\\x80\\xFF\\t\\r\\n ~\\\\n"));
        const QString tip = m.index(0).data(Qt::ToolTipRole).toString();
        const QDateTime at = QDateTime::fromString(tip, "yyyy-MM-dd HH:mm:ss.zzz");
        QVERIFY2(at >= before && at <= QDateTime::currentDateTime(), qPrintable(tip));
        QCOMPARE(at.toMSecsSinceEpoch(), m.at(0).msecsSinceEpoch);
        m.setSelectedIndex(5);
        QCOMPARE(m.selectedIndex(), -1);
        // A selected line keeps its selection while it is held.
        m.append("c");
        m.setSelectedIndex(1);
        m.append("d");
        QCOMPARE(m.line(m.selectedIndex()), binary);
        m.append("e");
        m.publish();
        QCOMPARE(m.selectedIndex(), -1);
        QCOMPARE(m.shownSelection(), -1);
        m.selectLast();
        QCOMPARE(m.selectedIndex(), 2);
        m.clear();
        QCOMPARE(m.count(), 0);
        QCOMPARE(m.selectedIndex(), -1);
    }

    void oldestLinesLeaveTheScreenNotTheLogAndReachViewsInBatches() {
        writeConfig("port=\nmonitorLines=1000\n");
        MainSession s;
        s.loadSettings();
        const MonitorModel& m = s.monitor();
        QAbstractItemModelTester tester(s.monitorItems(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Cleared before the views were told: it never reaches them, and stays in the log.
        s.addNote("cleared while it waits");
        s.clearMonitor();
        QSignalSpy inserted(s.monitorItems(), &QAbstractItemModel::rowsInserted);
        QSignalSpy selected(&m, &MonitorModel::selectedIndexChanged);
        const auto notes = [&s](int from, int to) {
            for (int i = from; i <= to; ++i)
                s.addNote("note " + QByteArray::number(i).rightJustified(4, '0'));
        };
        notes(1, 1000);
        QCOMPARE(m.rowCount(), 0);
        QTRY_COMPARE(m.rowCount(), 1000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.first().first().toInt(), 999);
        QCOMPARE(m.index(0).data().toString(), "note 0001");
        // The oldest leave, rows the views were told of among them.
        notes(1001, 1500);
        QCOMPARE(m.selectedIndex(), 999);
        QTRY_COMPARE(m.shownSelection(), 999);
        QCOMPARE(m.rowCount(), 1000);
        QCOMPARE(m.index(0).data().toString(), "note 0501");
        const QByteArray log = readFile(SessionLog::pathFor(QDate::currentDate()));
        QCOMPARE(log.count("  note "), 1500);
        QVERIFY(log.contains("  cleared while it waits\n"));
    }

    void badLimitsFallBackToTheDefaultAndSaySoOnce_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("named");
        QTest::newRow("missing") << QByteArray() << 100000 << false;
        QTest::newRow("lowest") << QByteArray("1000") << 1000 << false;
        QTest::newRow("below") << QByteArray("999") << 100000 << true;
        QTest::newRow("above") << QByteArray("10000001") << 100000 << true;
        QTest::newRow("fraction") << QByteArray("2000.5") << 100000 << true;
    }
    void badLimitsFallBackToTheDefaultAndSaySoOnce() {
        QFETCH(QByteArray, value);
        QFETCH(int, limit);
        QFETCH(bool, named);
        writeConfig(value.isNull() ? QByteArray("port=\n") : "port=\nmonitorLines=" + value + "\n");
        MainSession s;
        s.loadSettings();
        QCOMPARE(s.monitor().lineLimit(), limit);
        QCOMPARE(s.monitor().count(), named ? 1 : 0);
        QCOMPARE(s.monitor().selectedIndex(), named ? 0 : -1);
        QVERIFY(!named || s.monitor().line(0).startsWith("Error: monitorLines=" + value));
    }

    void aFloodsLongLinesAreBoundedByBytesToo() {
        MonitorModel m;
        m.setLineLimit(1000);
        const QByteArray mib(1 << 20, 'x');
        for (int i = 0; i < 20; ++i)
            m.append(QByteArray::number(i % 10) + mib);
        // The newest whole lines that fit, oldest gone first, however few lines.
        QCOMPARE(m.count(), int(m.byteLimit() / (mib.size() + 1)));
        QCOMPARE(m.droppedCount() + m.count(), 20);
        QCOMPARE(m.line(m.count() - 1).front(), '9');
        m.selectLast();
        // A line longer than the whole budget is still shown, alone and selected.
        m.append(QByteArray(m.byteLimit() + 1, 'y'));
        m.selectLast();
        QCOMPARE(m.count(), 1);
        QCOMPARE(m.selectedIndex(), 0);
        m.clear();
        m.append(mib);
        QCOMPARE(m.heldBytes(), mib.size());
    }
};

QTEST_GUILESS_MAIN(TestMonitorBound)
#include "tst_monitorbound.moc"
