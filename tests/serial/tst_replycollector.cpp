#include "serial/replycollector.h"

#include <QTest>

class TestReplyCollector : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replies_data() {
        // Steps "ms:bytes" feed bytes at ms, "ms!" expires at ms, "ms~" postpones
        // the bound by ms (a paused reader); what each gave, replies
        // "text@first-end" separated by " | ", "-" for none.
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("reply in pieces") << QByteArrayList{"0:0B 0", "10:0 0B", "20:\r\n"}
                                         << QByteArrayList{"-", "-", "0B 00 0B\r\n@0-20"};
        // Each line is a reply of its own, stamped with its read; what follows
        // the last line feed begins the next one.
        QTest::newRow("two lines in one read are two replies")
            << QByteArrayList{"0:0B 00 0B\r\n0B FF 0A\r\n0B", "5: 0F\n"}
            << QByteArrayList{"0B 00 0B\r\n@0-0 | 0B FF 0A\r\n@0-0", "0B 0F\n@0-5"};
        // It ends when its bound passed, however late that was noticed.
        QTest::newRow("no line feed: out once the bound has passed")
            << QByteArrayList{"1000:no end", "2999!", "3500!", "9000!"}
            << QByteArrayList{"-", "-", "no end@1000-3000", "-"};
        QTest::newRow("bound counts from the first byte")
            << QByteArrayList{"0:a", "1500:b", "2000!"} << QByteArrayList{"-", "-", "ab@0-2000"};
        QTest::newRow("late bytes start a reply of their own")
            << QByteArrayList{"0:old", "2500:new\n", "3000:x", "4999!", "5000!"}
            << QByteArrayList{"-", "old@0-2000 | new\n@2500-2500", "-", "-", "x@3000-5000"};
        // Time the reader did not read does not count against the bound.
        QTest::newRow("paused reader: the bound waits")
            << QByteArrayList{"0:slow", "1500~", "2000!", "3400!", "3450:\n"}
            << QByteArrayList{"-", "-", "-", "-", "slow\n@0-3450"};
        // A line without end is cut into bounded rows; no byte is lost.
        const QByteArray mib(ReplyCollector::maxLineBytes, 'x');
        QTest::newRow("endless line: cut at 1 MiB, marked, goes on")
            << QByteArrayList{"0:" + mib.first(1000), "10:" + mib + "yz", "20:\n"}
            << QByteArrayList{"-", mib + "@0-10+", mib.first(1000) + "yz\n@10-20"};
        QTest::newRow("binary bytes pass unchanged")
            << QByteArrayList{QByteArray("0:\x00\xFF\x0B\r\n", 7)}
            << QByteArrayList{QByteArray("\x00\xFF\x0B\r\n@0-0", 9)};
    }
    void replies() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QByteArrayList, expected);
        ReplyCollector c;
        QByteArrayList got;
        for (const QByteArray& step : steps) {
            const qsizetype colon = step.indexOf(':');
            QList<ReceivedReply> r;
            const qint64 ms = step.left(colon < 0 ? step.size() - 1 : colon).toLongLong();
            if (step.endsWith('~'))
                c.postpone(ms * 1000000);
            else if (colon < 0)
                c.expire(ms * 1000000, r);
            else
                c.feed(step.mid(colon + 1), {ms, ms * 1000000}, r);
            QByteArrayList texts;
            for (const ReceivedReply& reply : r) {
                QCOMPARE(reply.at.monotonicNs, reply.at.msecsSinceEpoch * 1000000);
                texts << reply.text + '@' + QByteArray::number(reply.first.msecsSinceEpoch) + '-' +
                             QByteArray::number(reply.at.msecsSinceEpoch) +
                             (reply.continues ? "+" : "");
            }
            got << (texts.isEmpty() ? QByteArray("-") : texts.join(" | "));
        }
        QCOMPARE(got, expected);
        QVERIFY(c.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReplyCollector)
#include "tst_replycollector.moc"
