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
        auto row = [](const char* name, const char* text, const char* error) {
            QTest::newRow(name) << QByteArray(text) << QString::fromUtf8(error);
        };
        row("unknown step", "key 1\n\nkee 5\n", "b.seq:3: \"kee 5\": unknown step");
        row("bad key", "key 10", "b.seq:1: \"key 10\"");
        row("bad number", "key 1\nexpect ACK within 0", "b.seq:2:");
        row("number out of range", "key 1\nwait 3600001", "b.seq:2:");
        row("not a plain number", "repeat +5\nkey 1\nend", "b.seq:1:");
        row("word after a step", "key 1 2", "b.seq:1: \"key 1 2\": unexpected");
        row("end without repeat", "key 1\nend", "b.seq:2: \"end\": end without repeat");
        row("repeat without end", "key 1\nrepeat 2\nkey 2\n",
            "b.seq:2: \"repeat 2\": repeat without end");
        row("empty block", "key 1\nrepeat 2\n# nothing\nend", "b.seq:4:");
        row("expect before a send", "repeat 2\nexpect ACK\nkey 1\nend",
            "b.seq:2: \"expect ACK\": expect before any send step");
        row("expect after a silent key", "key 1\nkey *\nexpect any", "b.seq:3:");
        row("nothing sends", "# only\nwait 5\nkey #\n", "b.seq: nothing to run");
        row("not UTF-8", "key 1\nkey \xFF\n", "b.seq:2:");
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
