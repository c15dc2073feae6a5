// The monitor holds the newest lines only: the oldest leave the screen,
// never the log, and the selection rules hold at the bound.
#include "session/mainsession.h"
#include "settings/configuration.h"
#include "support/files.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestMonitorBound : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void writeConfig(const QByteArray& text) {
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("config.ini")), "[SETTINGS]\n" + text));
    }

private Q_SLOTS:
    void init() {
        setProgramDirectoryForTesting(m_dir.path());
        qputenv("XDG_STATE_HOME", m_dir.filePath(QStringLiteral("state")).toUtf8());
    }

    void oldestLinesLeaveTheScreenNotTheLog() {
        PtyPair device;
        writeConfig("port=" + device.slavePath().toUtf8() + "\nmonitorLines=1000\n");
        MainSession s;
        s.loadSettings();
        QVERIFY(s.linkStart());
        const MonitorModel& m = s.monitor();
        // One at a time: lines read together would be one reply.
        QSignalSpy replies(&s, &MainSession::replyReceived);
        for (int i = 1; i <= 1500; ++i)
            QVERIFY(
                device.write("0B 00 0B " + QByteArray::number(i).rightJustified(4, '0') + "\r\n") &&
                replies.wait());
        QCOMPARE(m.selectedIndex(), 999); // the last of 1000
        // Views are told the same: 1000 rows, the oldest gone, the last one selected.
        QTRY_COMPARE(m.shownSelection(), 999);
        QCOMPARE(m.rowCount(), 1000);
        QCOMPARE(m.index(0).data().toString(), QStringLiteral("Reply: 0B 00 0B 0501\\r\\n"));
        QCOMPARE(readFile(SessionLog::pathFor(QDate::currentDate())).count("  Reply: 0B 00 0B "),
                 1500);
    }

    void aSelectedLineKeepsItsSelectionUntilItLeaves() {
        MonitorModel m;
        m.setLineLimit(3);
        for (const char* line : {"a", "b", "c"})
            m.append(line);
        m.setSelectedIndex(1);
        m.append("d");
        QCOMPARE(m.line(m.selectedIndex()), QByteArray("b"));
        m.append("e");
        m.publish();
        QCOMPARE(m.selectedIndex(), -1);
        QCOMPARE(m.shownSelection(), -1);
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
