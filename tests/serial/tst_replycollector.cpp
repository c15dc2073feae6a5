#include "serial/replycollector.h"

#include <QTest>

class TestReplyCollector : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replies_data() {
        // Steps "ms:bytes" feed bytes at ms, "ms!" expires at ms; what each
        // gave, replies separated by " | ", "-" for none.
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("reply in pieces") << QByteArrayList{"0:0B 0", "10:0 0B", "20:\r\n"}
                                         << QByteArrayList{"-", "-", "0B 00 0B\r\n"};
        QTest::newRow("bytes after the line feed stay with it")
            << QByteArrayList{"0:0B 00 0B\r\n0B FF 0A\r\n", "5:0B 00 0B\r\n0B"}
            << QByteArrayList{"0B 00 0B\r\n0B FF 0A\r\n", "0B 00 0B\r\n0B"};
        QTest::newRow("no line feed: out once the bound has passed")
            << QByteArrayList{"1000:no end", "2999!", "3000!", "9000!"}
            << QByteArrayList{"-", "-", "no end", "-"};
        QTest::newRow("bound counts from the first byte")
            << QByteArrayList{"0:a", "1500:b", "2000!"} << QByteArrayList{"-", "-", "ab"};
        QTest::newRow("late bytes start a reply of their own")
            << QByteArrayList{"0:old", "2500:new\n", "3000:x", "4999!", "5000!"}
            << QByteArrayList{"-", "old | new\n", "-", "-", "x"};
        QTest::newRow("binary bytes pass unchanged")
            << QByteArrayList{QByteArray("0:\x00\xFF\x0B\r\n", 7)}
            << QByteArrayList{QByteArray("\x00\xFF\x0B\r\n", 5)};
    }
    void replies() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QByteArrayList, expected);
        ReplyCollector c;
        QByteArrayList got;
        for (const QByteArray& step : steps) {
            const qsizetype colon = step.indexOf(':');
            const QList<QByteArray> r =
                colon < 0 ? c.expire(step.chopped(1).toLongLong())
                          : c.feed(step.mid(colon + 1), step.left(colon).toLongLong());
            got << (r.isEmpty() ? QByteArray("-") : r.join(" | "));
        }
        QCOMPARE(got, expected);
        QVERIFY(c.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReplyCollector)
#include "tst_replycollector.moc"
