#include "serial/replycollector.h"

#include <QTest>

using Replies = QList<QByteArray>;

class TestReplyCollector : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replyInPiecesBecomesOneLine() {
        ReplyCollector c;
        QCOMPARE(c.feed("0B 0", 0), Replies{});
        QCOMPARE(c.feed("0 0B", 10), Replies{});
        QVERIFY(!c.isEmpty());
        QCOMPARE(c.feed("\r\n", 20), Replies{"0B 00 0B\r\n"});
        QVERIFY(c.isEmpty());
    }

    void bytesAfterTheLineFeedInTheSameReadStayWithIt() {
        ReplyCollector c;
        QCOMPARE(c.feed("0B 00 0B\r\n0B FF 0A\r\n", 0), Replies{"0B 00 0B\r\n0B FF 0A\r\n"});
        QCOMPARE(c.feed("0B 00 0B\r\n0B", 5), Replies{"0B 00 0B\r\n0B"});
        QVERIFY(c.isEmpty());
    }

    void textWithoutLineFeedIsFlushedOnceTheBoundHasPassed() {
        ReplyCollector c;
        c.feed("no end", 1000);
        QCOMPARE(c.deadline(), 1000 + ReplyCollector::boundMs);
        QCOMPARE(c.expire(2999), Replies{});
        QCOMPARE(c.expire(3000), Replies{"no end"});
        QVERIFY(c.isEmpty());
        QCOMPARE(c.expire(9000), Replies{});
    }

    void boundCountsFromTheFirstByteNotTheLast() {
        ReplyCollector c;
        c.feed("a", 0);
        c.feed("b", 1500);
        QCOMPARE(c.expire(2000), Replies{"ab"});
    }

    void lateBytesAfterAnExpiredWaitStartANewReply() {
        ReplyCollector c;
        c.feed("old", 0);
        QCOMPARE(c.feed("new\n", 2500), (Replies{"old", "new\n"}));
        c.feed("x", 3000);
        QCOMPARE(c.deadline(), 3000 + ReplyCollector::boundMs);
    }

    void binaryBytesPassUnchanged() {
        ReplyCollector c;
        const QByteArray bytes("\x00\xFF\x0B\r\n", 5);
        QCOMPARE(c.feed(bytes, 0), Replies{bytes});
    }
};

QTEST_GUILESS_MAIN(TestReplyCollector)
#include "tst_replycollector.moc"
