// The link and its event handling over a real pseudo-terminal: the test plays
// the device on the master side.
#include "session/mainsession.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A pty has no modem lines, so CTS and DTR are played by this double.
class FakeModemLines : public ModemLines {
public:
    bool cts = false;
    QList<bool> dtrWrites;
    std::optional<bool> clearToSend() override { return cts; }
    bool setDataTerminalReady(bool on) override {
        dtrWrites.append(on);
        return true;
    }
};

QList<QByteArray> lines(const MonitorModel& m) {
    QList<QByteArray> out;
    for (int i = 0; i < m.count(); ++i)
        out.append(m.line(i));
    return out;
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linkStartOpensTheConfiguredPortAndClearsTheVariables() {
        PtyPair pty;
        QVERIFY(pty.isValid());
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY2(s.linkStart(), qPrintable(s.lastLinkError()));
        QVERIFY(s.portOpen());
        QVERIFY(s.serialInput().isEmpty());
        QVERIFY(s.serialOutput().isEmpty());
        QCOMPARE(s.monitor().count(), 0);
        // A second start closes and reopens: the port is usable afterwards.
        QVERIFY(s.linkStart());
        s.sendCommTest();
        QCOMPARE(pty.read(3), QByteArray("\x0B\x05\x10", 3));
    }

    void replyInPiecesBecomesOneLineOnceTheLineFeedArrives() {
        PtyPair pty;
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        QSignalSpy replies(&s, &MainSession::replyReceived);
        QSignalSpy received(&s.link(), &SerialLink::commEvent);
        pty.write("0B 0");
        QVERIFY(received.wait());
        QCOMPARE(s.monitor().count(), 0);
        pty.write("0 0B\r\n");
        QTRY_COMPARE(replies.count(), 1);
        QCOMPARE(lines(s.monitor()), QList<QByteArray>{"Reply: 0B 00 0B\r\n"});
        QCOMPARE(s.serialInput(), QByteArray("0B 00 0B\r\n"));
        QCOMPARE(s.monitor().selectedIndex(), 0);
    }

    void twoRepliesInOneReadMakeOneLine() {
        PtyPair pty;
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        QSignalSpy replies(&s, &MainSession::replyReceived);
        pty.write("0B 00 0B\r\n0B FF 0A\r\n");
        QVERIFY(replies.wait());
        QCOMPARE(lines(s.monitor()), QList<QByteArray>{"Reply: 0B 00 0B\r\n0B FF 0A\r\n"});
    }

    void replyWithoutLineFeedIsWrittenAfterTheBound() {
        PtyPair pty;
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        QSignalSpy replies(&s, &MainSession::replyReceived);
        pty.write(QByteArray("\x00\xFFno end", 8));
        QVERIFY(replies.wait(ReplyCollector::boundMs + 5000));
        QCOMPARE(lines(s.monitor()), QList<QByteArray>{QByteArray("Reply: \x00\xFFno end", 15)});
    }

    void invalidPortIsAClearErrorAndTheSessionGoesOn() {
        MainSession s;
        QSignalSpy problems(&s, &MainSession::linkProblem);
        s.setPort(QStringLiteral("3.5"));
        QVERIFY(!s.linkStart());
        QCOMPARE(problems.count(), 1);
        QVERIFY(problems.first().first().toString().contains(QLatin1String("\"3.5\"")));
        QVERIFY(!s.portOpen());
        // A key pressed now sends nothing and says so, unmistakably.
        s.sendKeyCode(0);
        const QByteArray last = s.monitor().line(s.monitor().count() - 1);
        QVERIFY2(last.startsWith("Not sent ("), last.constData());
        QVERIFY(last.endsWith("Key: 1 - 0B 00 02 50 5D"));
        QCOMPARE(s.monitor().selectedIndex(), s.monitor().count() - 1);
    }

    void unopenablePortNamesThePortAndTheReason() {
        MainSession s;
        s.setPort(QStringLiteral("/dev/orv-test-no-such-port"));
        QVERIFY(!s.linkStart());
        const QString error = s.lastLinkError();
        QVERIFY2(error.startsWith(QLatin1String("Cannot open /dev/orv-test-no-such-port: ")),
                 qPrintable(error));
        QVERIFY(error.size() > 41); // the system's reason follows
        QCOMPARE(s.monitor().line(0), "Error: " + error.toUtf8());
        s.sendCommTest();
        QVERIFY(s.monitor().line(1).startsWith("Not sent ("));
    }

    void vanishedDeviceIsReportedOnceAndNothingIsLost() {
        auto pty = std::make_unique<PtyPair>();
        MainSession s;
        s.setPort(pty->slavePath());
        QVERIFY(s.linkStart());
        QSignalSpy problems(&s, &MainSession::linkProblem);
        s.sendKeyCode(4);
        pty->write("0B 00 0B\r\n");
        QTRY_COMPARE(s.monitor().count(), 2);
        QSignalSpy received(&s.link(), &SerialLink::commEvent);
        pty->write("half a rep");
        QVERIFY(received.wait());
        pty.reset(); // the device end is gone
        QTRY_COMPARE(problems.count(), 1);
        QVERIFY(!s.portOpen());
        // That terminal's number now belongs to whoever opens one next.
        QVERIFY(!s.isReconnecting());
        const QList<QByteArray> got = lines(s.monitor());
        QCOMPARE(got.size(), 4);
        QCOMPARE(got[0], QByteArray("Key: 5 - 0B 02 02 50 5F"));
        QCOMPARE(got[1], QByteArray("Reply: 0B 00 0B\r\n"));
        QCOMPARE(got[2], QByteArray("Reply: half a rep"));
        QVERIFY(got[3].startsWith("Error: Lost "));
        QTest::qWait(50);
        QCOMPARE(problems.count(), 1);
        // Writing now fails cleanly.
        s.sendReset();
        QVERIFY(s.monitor().line(4).startsWith("Not sent ("));
    }

    void modemLineEventsDropDtrAndOtherCodesDoNothing() {
        PtyPair pty;
        MainSession s;
        auto fake = std::make_unique<FakeModemLines>();
        FakeModemLines* lines = fake.get();
        s.setModemLines(std::move(fake));
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        QCOMPARE(lines->dtrWrites, QList<bool>{true});

        s.handleCommEvent(7);
        s.handleCommEvent(0);
        QCOMPARE(lines->dtrWrites, QList<bool>{true});
        s.handleCommEvent(SerialLink::SendEvent);
        QCOMPARE(lines->dtrWrites, (QList<bool>{true, false}));

        // A clear-to-send change writes serialOutput (nothing), then drops DTR.
        QVERIFY(s.linkStart()); // a fresh open raises DTR again
        QSignalSpy events(&s.link(), &SerialLink::commEvent);
        lines->cts = true;
        QTRY_COMPARE(events.count(), 1);
        QCOMPARE(events.first().first().toInt(), int(SerialLink::CtsChangeEvent));
        QTRY_COMPARE(lines->dtrWrites, (QList<bool>{true, false, true, false}));
        QVERIFY(!s.dtrEnable());
        QCOMPARE(pty.readAvailable(), QByteArray());
        QCOMPARE(s.monitor().count(), 0);
    }

    void ptyWithoutModemLinesKeepsTheLinkUp() {
        PtyPair pty;
        MainSession s;
        QSignalSpy problems(&s, &MainSession::linkProblem);
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        s.sendKeyCode(0);
        QCOMPARE(pty.read(5), QByteArray("\x0B\x00\x02\x50\x5D", 5));
        QTest::qWait(250); // several modem-poll periods
        QVERIFY(s.portOpen());
        QCOMPARE(problems.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
