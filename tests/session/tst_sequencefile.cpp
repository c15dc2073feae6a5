// Sequence files: what a line means, and that every mistake is refused whole
// with the file, the line and the reason.
#include "session/sequencefile.h"

#include <QTest>

class TestSequenceFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stepsAsWritten() {
        const SequenceFile f = parseSequence(
            QStringLiteral("a.seq"),
            "\xEF\xBB\xBF# burn-in\r\n\tKEY 0\r\nexpect nak WITHIN 5 # slow\r\nkey #\r\n"
            "key # # the hash key\r\nrepeat 2\r\n wait 0\r\n commtest\r\nend\r\nreset # done");
        QVERIFY2(f.isValid(), qPrintable(f.error));
        QCOMPARE(f.steps.size(), 9);
        QCOMPARE(f.steps[0].key, 10); // "0" is the keypad's index 10
        QCOMPARE(f.steps[1].reply, SequenceStep::Nak);
        QCOMPARE(f.steps[1].ms, 5);
        QCOMPARE(f.steps[1].line, 3);
        QCOMPARE(f.steps[2].key, 11);
        QCOMPARE(f.steps[3].key, 11);
        QCOMPARE(f.steps[4].partner, 7);
        QCOMPARE(f.steps[7].partner, 4);
        QCOMPARE(f.steps[8].kind, SequenceStep::Reset);
    }

    void mistakesAreLocated_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown step")
            << QByteArray("key 1\n\nkee 5\n") << QStringLiteral("b.seq:3: \"kee 5\": unknown step");
        QTest::newRow("bad key") << QByteArray("key 10") << QStringLiteral("b.seq:1: \"key 10\"");
        QTest::newRow("bad number")
            << QByteArray("key 1\nexpect ACK within 0") << QStringLiteral("b.seq:2:");
        QTest::newRow("number out of range")
            << QByteArray("key 1\nwait 3600001") << QStringLiteral("b.seq:2:");
        QTest::newRow("not a plain number")
            << QByteArray("repeat +5\nkey 1\nend") << QStringLiteral("b.seq:1:");
        QTest::newRow("word after a step")
            << QByteArray("key 1 2") << QStringLiteral("b.seq:1: \"key 1 2\": unexpected");
        QTest::newRow("end without repeat")
            << QByteArray("key 1\nend") << QStringLiteral("b.seq:2: \"end\": end without repeat");
        QTest::newRow("repeat without end")
            << QByteArray("key 1\nrepeat 2\nkey 2\n")
            << QStringLiteral("b.seq:2: \"repeat 2\": repeat without end");
        QTest::newRow("empty block")
            << QByteArray("key 1\nrepeat 2\n# nothing\nend") << QStringLiteral("b.seq:4:");
        QTest::newRow("expect before a send")
            << QByteArray("repeat 2\nexpect ACK\nkey 1\nend")
            << QStringLiteral("b.seq:2: \"expect ACK\": expect before any send step");
        QTest::newRow("expect after a key that sends nothing")
            << QByteArray("key 1\nkey *\nexpect any") << QStringLiteral("b.seq:3:");
        QTest::newRow("nothing sends")
            << QByteArray("# only\nwait 5\nkey #\n") << QStringLiteral("b.seq: nothing to run");
        QTest::newRow("not UTF-8") << QByteArray("key 1\nkey \xFF\n") << QStringLiteral("b.seq:2:");
    }
    void mistakesAreLocated() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const SequenceFile f = parseSequence(QStringLiteral("b.seq"), text);
        QVERIFY(!f.isValid());
        QVERIFY2(f.error.startsWith(error), qPrintable(f.error));
        QVERIFY(f.steps.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSequenceFile)
#include "tst_sequencefile.moc"
