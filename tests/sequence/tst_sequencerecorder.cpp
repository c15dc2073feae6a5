// What a recording writes for presses and replies at given times: the room
// an expect leaves, silence, pauses, keys that send nothing, and replies that
// are heard of after the next press but were read before it.
#include "sequence/sequencefile.h"
#include "sequence/sequencerecorder.h"

#include <QTest>

class TestSequenceRecorder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void steps_data() {
        // Events "MS:WHAT", in the order the session tells them: a keypad
        // caption, C (Comm Test), R (Reset), F<hex> (Send Frame), !<caption>
        // (a key whose frame was not sent), ack/nak/crc/other (a reply read at
        // MS), stop.
        QTest::addColumn<QString>("events");
        QTest::addColumn<QByteArray>("steps");
        const auto row = [](const char* name, const QString& events, const QByteArray& steps) {
            QTest::newRow(name) << events << steps;
        };
        row("fast reply: 200 ms at least, no short wait", "0:1 2:ack 50:2 53:other 90:stop",
            "key 1\nexpect ACK within 200\nkey 2\nexpect any within 200\n");
        row("slow reply: three times, then the pause left", "0:5 150:nak 1000:C 1001:crc 1002:stop",
            "key 5\nexpect NAK within 450\nwait 850\ncommtest\nexpect CRC within 200\n");
        row("a second line is timed from the frame too", "0:1 10:ack 120:nak 130:stop",
            "key 1\nexpect ACK within 200\nexpect NAK within 360\n");
        row("silence until the next press, then capped at the end",
            "0:R 1500:1 1501:ack 1510:R 9000:stop",
            "reset\nexpect none within 1500\nkey 1\nexpect ACK within 200\n"
            "reset\nexpect none within 2000\n");
        row("silence beyond an expect's bound goes on as a wait", "0:R 700000:R 700001:stop",
            "reset\nexpect none within 600000\nwait 100000\nreset\nexpect none within 1\n");
        row("read before the next frame, heard after it", "0:1 100:2 99:ack 101:ack 150:stop",
            "key 1\nexpect ACK within 297\nkey 2\nexpect ACK within 200\n");
        row("keys that send nothing go after the expects",
            "0:* 10:1 12:* 20:ack 500:# 600:F0B0712 601:nak 700:stop",
            "key *\nkey 1\nexpect ACK within 200\nwait 580\nkey *\nkey #\n"
            "send 0B 07 12\nexpect NAK within 200\n");
        row("replies before the first frame and unsent frames", "0:ack 5:!5 10:1 11:ack 20:stop",
            "# not sent (the port was closed): key 5\nkey 1\nexpect ACK within 200\n");
    }
    void steps() {
        QFETCH(QString, events);
        QFETCH(QByteArray, steps);
        const qint64 ms = 1000000;
        SequenceRecorder recorder;
        qint64 stop = 0;
        const QMap<QString, QByteArray> replies{{"ack", "0B 00 0B\r\n"},
                                                {"nak", "0B FF 0A\r\n"},
                                                {"crc", "0B 0F 1A\r\n"},
                                                {"other", "hello\r\n"}};
        for (const QString& event : events.split(' ')) {
            const qint64 at = event.section(':', 0, 0).toLongLong() * ms;
            const QString what = event.section(':', 1);
            const char last = what.back().toLatin1();
            const bool silent = last == '*' || last == '#';
            SessionPress press;
            press.kind = what == "C"      ? SessionPress::CommTest
                         : what == "R"    ? SessionPress::Reset
                         : what[0] == 'F' ? SessionPress::Frame
                                          : SessionPress::Key;
            press.key = qint16(commands::keypadIndex(last));
            // Only a frame of one's own is written as its bytes; a key's is not.
            press.frame = what[0] == 'F' ? QByteArray::fromHex(what.mid(1).toLatin1())
                                         : QByteArray(silent ? 0 : 1, '\x0B');
            press.sentNs = what[0] == '!' || silent ? -1 : at;
            if (what == "stop")
                stop = at;
            else if (replies.contains(what))
                recorder.addReply(replies[what], at, at);
            else
                recorder.addPress(press, at);
        }
        QCOMPARE(recorder.steps(stop), steps);
        // What it writes is a file that reads back without a mistake.
        const SequenceFile file = parseSequence("r.seq", recorder.text("/tmp/r.seq"));
        QVERIFY2(file.isValid(), qPrintable(file.error));
    }
};

QTEST_GUILESS_MAIN(TestSequenceRecorder)
#include "tst_sequencerecorder.moc"
