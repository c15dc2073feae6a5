// The link and its event handling over a real pseudo-terminal: the test plays
// the device on the master side.
#include "session/mainsession.h"
#include "support/monitorlines.h"
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

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linkStartOpensTheConfiguredPortAndClearsTheVariables() {
        PtyPair pty;
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY2(s.linkStart(), qPrintable(s.lastLinkError()));
        QVERIFY(s.portOpen() && s.serialInput().isEmpty() && s.serialOutput().isEmpty());
        // A second start closes and reopens: the port is usable afterwards.
        QVERIFY(s.linkStart());
        s.sendCommTest();
        QCOMPARE(pty.read(3), QByteArray::fromHex("0B0510"));
    }

    void replyWithoutLineFeedIsWrittenAfterTheBoundAndThePtyStaysOpen() {
        PtyPair pty;
        MainSession s;
        s.setPort(pty.slavePath());
        QVERIFY(s.linkStart());
        QSignalSpy problems(&s, &MainSession::linkProblem);
        QSignalSpy replies(&s, &MainSession::replyReceived);
        pty.write(QByteArray("\x00\xFFno end", 8));
        QVERIFY(replies.wait(ReplyCollector::boundMs + 5000));
        QCOMPARE(lines(s.monitor()), QList<QByteArray>{QByteArray("Reply: \x00\xFFno end", 15)});
        // The bound is many modem-poll periods: a pty, which has no modem
        // lines, must not have been taken for a lost port meanwhile.
        QVERIFY(s.portOpen() && problems.isEmpty());
    }

    void portThatCannotBeOpenedIsAClearErrorAndTheSessionGoesOn() {
        // The port, and how the error starts.
        for (const auto& [port, error] :
             {std::pair{"3.5", "\"3.5\""},
              {"/dev/orv-test-missing", "Cannot open /dev/orv-test-missing: "}}) {
            MainSession s;
            QSignalSpy problems(&s, &MainSession::linkProblem);
            s.setPort(QLatin1String(port));
            QVERIFY(!s.linkStart() && !s.portOpen());
            QCOMPARE(problems.count(), 1);
            const QString message = problems.first().first().toString();
            QVERIFY2(message.startsWith(QLatin1String(error)) &&
                         message.size() > qsizetype(qstrlen(error)),
                     qPrintable(message));
            QCOMPARE(s.monitor().line(0), "Error: " + message.toUtf8());
            // A key pressed now sends nothing and says so, unmistakably.
            s.sendKeyCode(0);
            const QByteArray last = s.monitor().line(1);
            QVERIFY2(last.startsWith("Not sent (") && last.endsWith("Key: 1 - 0B 00 02 50 5D"),
                     last.constData());
            QCOMPARE(s.monitor().selectedIndex(), 1);
        }
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
        // Closed, and not retried: that terminal's number now belongs to
        // whoever opens one next. Nothing is left to report a second time.
        QVERIFY(!s.portOpen() && !s.isReconnecting());
        const QList<QByteArray> got = lines(s.monitor());
        QCOMPARE(got.mid(0, 3), (QList<QByteArray>{"Key: 5 - 0B 02 02 50 5F", "Reply: 0B 00 0B\r\n",
                                                   "Reply: half a rep"}));
        QVERIFY(got[3].startsWith("Error: Lost "));
        s.sendReset();
        QVERIFY(s.monitor().line(4).startsWith("Not sent ("));
        QCOMPARE(problems.count(), 1);
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
        for (int other : {7, 0})
            s.handleCommEvent(other);
        s.handleCommEvent(SerialLink::SendEvent);
        QCOMPARE(lines->dtrWrites, (QList<bool>{true, false}));

        // A clear-to-send change writes serialOutput (nothing), then drops DTR.
        QVERIFY(s.linkStart()); // a fresh open raises DTR again
        QSignalSpy events(&s.link(), &SerialLink::commEvent);
        lines->cts = true;
        QTRY_COMPARE(events.count(), 1);
        QCOMPARE(events.first().first().toInt(), int(SerialLink::CtsChangeEvent));
        QTRY_COMPARE(lines->dtrWrites, (QList<bool>{true, false, true, false}));
        QVERIFY(!s.dtrEnable() && s.monitor().count() == 0);
        QCOMPARE(pty.readAvailable(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
