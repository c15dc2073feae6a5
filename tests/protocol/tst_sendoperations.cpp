// Every command of the table, from the operation to the bytes on the wire and
// the line in the monitor.
#include "app/mainsession.h"
#include "protocol/commandtable.h"
#include "support/pty.h"

#include <QTest>

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

class TestSendOperations : public QObject {
    Q_OBJECT

    PtyPair m_pty;
    std::unique_ptr<MainSession> m_session;

private Q_SLOTS:
    void init() {
        QVERIFY(m_pty.isValid());
        m_session = std::make_unique<MainSession>();
        m_session->setPortNumber(m_pty.slavePath());
        QVERIFY2(m_session->linkStart(), qPrintable(m_session->link().lastError()));
    }
    void cleanup() {
        m_session.reset();
        m_pty.readAvailable();
    }

    void keypadKeySendsItsFrameAndRecordsIt_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("1") << 0 << bytes({0x0B, 0x00, 0x02, 0x50, 0x5D})
                           << QByteArray("Key: 1 - 0B 00 02 50 5D");
        QTest::newRow("2") << 1 << bytes({0x0B, 0x00, 0x03, 0x50, 0x5E})
                           << QByteArray("Key: 2 - 0B 00 03 50 5E");
        QTest::newRow("3") << 2 << bytes({0x0B, 0x01, 0x02, 0x50, 0x5E})
                           << QByteArray("Key: 3 - 0B 01 02 50 5E");
        QTest::newRow("4") << 3 << bytes({0x0B, 0x01, 0x03, 0x50, 0x5F})
                           << QByteArray("Key: 4 - 0B 01 03 50 5F");
        QTest::newRow("5") << 4 << bytes({0x0B, 0x02, 0x02, 0x50, 0x5F})
                           << QByteArray("Key: 5 - 0B 02 02 50 5F");
        QTest::newRow("6") << 5 << bytes({0x0B, 0x02, 0x03, 0x50, 0x60})
                           << QByteArray("Key: 6 - 0B 02 03 50 60");
        QTest::newRow("7") << 6 << bytes({0x0B, 0x03, 0x02, 0x50, 0x60})
                           << QByteArray("Key: 7 - 0B 03 02 50 60");
        QTest::newRow("8") << 7 << bytes({0x0B, 0x03, 0x03, 0x50, 0x61})
                           << QByteArray("Key: 8 - 0B 03 03 50 61");
        QTest::newRow("9") << 8 << bytes({0x0B, 0x04, 0x02, 0x50, 0x61})
                           << QByteArray("Key: 9 - 0B 04 02 50 61");
        QTest::newRow("0 is key 10") << 10 << bytes({0x0B, 0x04, 0x03, 0x50, 0x62})
                                     << QByteArray("Key: 10 - 0B 04 03 50 62");
    }
    void keypadKeySendsItsFrameAndRecordsIt() {
        QFETCH(int, index);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, line);
        m_session->sendKeyCode(qint16(index));
        QCOMPARE(m_pty.read(frame.size()), frame);
        QCOMPARE(m_session->cmdHex(), frame);
        QCOMPARE(m_session->cmdAscii().toLatin1(), line.mid(line.indexOf(" - ") + 3));
        QCOMPARE(m_session->lstComm().count(), 1);
        QCOMPARE(m_session->lstComm().line(0), line);
        QCOMPARE(m_session->lstComm().selectedIndex(), 0);
    }

    void commTestAndResetSendTheirFramesAndKeepTheSelection() {
        MonitorModel& m = m_session->lstComm();
        m_session->sendCommTest();
        QCOMPARE(m_pty.read(3), bytes({0x0B, 0x05, 0x10}));
        QCOMPARE(m.line(0), QByteArray("Comm Test - 0B 05 10"));
        QCOMPARE(m.selectedIndex(), -1);
        m_session->sendKeyCode(0);
        QCOMPARE(m.selectedIndex(), 1);
        m_session->sendReset();
        QCOMPARE(m_pty.read(8), bytes({0x0B, 0x00, 0x02, 0x50, 0x5D, 0x0B, 0x06, 0x11}));
        QCOMPARE(m.line(2), QByteArray("Reset - 0B 06 11"));
        QCOMPARE(m.selectedIndex(), 1);
        QCOMPARE(m_session->cmdHex(), bytes({0x0B, 0x06, 0x11}));
        QCOMPARE(m_session->cmdAscii(), QStringLiteral("0B 06 11"));
    }

    void keysWithoutFrameSendNothingButSelectTheLastLine() {
        MonitorModel& m = m_session->lstComm();
        m_session->sendKeyCode(9); // "*" on an empty monitor: nothing to select
        QCOMPARE(m.count(), 0);
        QCOMPARE(m.selectedIndex(), -1);
        m_session->sendCommTest();
        m_session->sendReset();
        QCOMPARE(m_pty.read(6).size(), 6);
        QCOMPARE(m.selectedIndex(), -1);
        for (int index : {11, 9, -1, 12, 32767, -32768}) {
            m_session->sendKeyCode(qint16(index));
            QCOMPARE(m.count(), 2);
            QCOMPARE(m.selectedIndex(), 1);
        }
        QCOMPARE(m_session->cmdHex(), bytes({0x0B, 0x06, 0x11}));
        QCOMPARE(m_session->cmdAscii(), QStringLiteral("0B 06 11"));
        QCOMPARE(m_pty.read(1, 100), QByteArray());
    }

    void sameKeyTwiceSendsTwiceAndAddsTwoLines() {
        m_session->sendKeyCode(10);
        m_session->sendKeyCode(10);
        const QByteArray frame = bytes({0x0B, 0x04, 0x03, 0x50, 0x62});
        QCOMPARE(m_pty.read(10), frame + frame);
        QCOMPARE(m_session->lstComm().line(0), m_session->lstComm().line(1));
    }

    void tableHexTextsMatchTheirBytes() {
        // The hex texts are literals; they must say exactly what is sent.
        auto check = [](const CommandFrame& f) {
            QStringList hex;
            for (std::size_t i = 0; i < f.size; ++i)
                hex << QStringLiteral("%1").arg(f.data[i], 2, 16, QLatin1Char('0')).toUpper();
            QCOMPARE(QString::fromLatin1(f.hex.data(), qsizetype(f.hex.size())), hex.join(' '));
            QVERIFY(f.prefix.back() == ' ');
        };
        check(commands::commTest);
        check(commands::reset);
        for (int i = 0; i < commands::keypadSize; ++i)
            if (const CommandFrame* f = commands::keypadFrame(i))
                check(*f);
    }
};

QTEST_GUILESS_MAIN(TestSendOperations)
#include "tst_sendoperations.moc"
