// The link and its event handling over a real pseudo-terminal: the test plays
// the device on the master side.
#include "session/mainsession.h"
#include "support/monitorlines.h"
#include "support/pty.h"

#include <QtTest>

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

bool started(MainSession& s, const QString& port) {
    s.setPort(port);
    return s.linkStart();
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replyWithoutLineFeedIsWrittenAfterTheBoundAndThePtyStaysOpen() {
        PtyPair pty;
        MainSession s;
        QVERIFY(started(s, pty.slavePath()));
        QSignalSpy problems(&s, &MainSession::linkProblem);
        QSignalSpy replies(&s, &MainSession::replyReceived);
        pty.write(QByteArray("\x00\xFFno end", 8));
        QVERIFY(replies.wait(ReplyCollector::boundMs + 5000));
        QCOMPARE(lines(s.monitor()), QList<QByteArray>{QByteArray("Reply: \x00\xFFno end", 15)});
        // The bound is many modem-poll periods: a pty, which has no modem
        // lines, must not have been taken for a lost port meanwhile.
        QVERIFY(s.portOpen() && problems.isEmpty());
    }

    void portThatCannotBeOpenedIsAClearError() {
        // The port, and how the error starts.
        for (const auto& [port, error] :
             {std::pair{"3.5", "\"3.5\""},
              {"/dev/orv-test-missing", "Cannot open /dev/orv-test-missing: "}}) {
            MainSession s;
            QSignalSpy problems(&s, &MainSession::linkProblem);
            QVERIFY(!started(s, QLatin1String(port)) && !s.portOpen());
            QCOMPARE(problems.count(), 1);
            const QString message = problems.first().first().toString();
            QVERIFY2(message.startsWith(QLatin1String(error)), qPrintable(message));
            QCOMPARE(s.monitor().line(0), "Error: " + message.toUtf8());
        }
    }

    void vanishedDeviceIsReportedOnceAndNothingIsLost() {
        auto pty = std::make_unique<PtyPair>();
        MainSession s;
        QVERIFY(started(s, pty->slavePath()));
        QSignalSpy problems(&s, &MainSession::linkProblem);
        QSignalSpy received(&s.link(), &SerialLink::commEvent);
        pty->write("half a rep");
        QVERIFY(received.wait());
        pty.reset(); // the device end is gone
        QTRY_COMPARE(problems.count(), 1);
        // Closed, and not retried: that terminal's number now belongs to
        // whoever opens one next. Nothing is left to report a second time.
        QVERIFY(!s.portOpen() && !s.isReconnecting());
        QCOMPARE(s.monitor().line(0), QByteArray("Reply: half a rep"));
        QVERIFY(s.monitor().line(1).startsWith("Error: Lost "));
        s.sendReset();
        QVERIFY(s.monitor().line(2).startsWith("Not sent ("));
        QCOMPARE(problems.count(), 1);
    }

    void modemLineEventsDropDtrAndOtherCodesDoNothing() {
        PtyPair pty;
        MainSession s;
        auto fake = std::make_unique<FakeModemLines>();
        FakeModemLines* lines = fake.get();
        s.setModemLines(std::move(fake));
        QVERIFY(started(s, pty.slavePath()));
        QCOMPARE(lines->dtrWrites, QList<bool>{true});
        for (int other : {7, 0})
            s.handleCommEvent(other);
        s.handleCommEvent(SerialLink::SendEvent);
        QCOMPARE(lines->dtrWrites, (QList<bool>{true, false}));

        // A clear-to-send change writes serialOutput (nothing), then drops DTR.
        QVERIFY(s.linkStart()); // a fresh open raises DTR again
        lines->cts = true;
        QTRY_COMPARE(lines->dtrWrites, (QList<bool>{true, false, true, false}));
        QCOMPARE(s.monitor().count(), 0);
        QCOMPARE(pty.readAvailable(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
