// Sequence files: what a line means, and that every mistake is refused whole
// with the file, the line and the reason.
#include "sequence/sequencefile.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

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
        auto row = [](const char* name, const QByteArray& text, const QString& error) {
            QTest::newRow(name) << text << error;
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
        row("silent key ends a block", "key 1\nrepeat 2\nexpect ACK within 300\nkey *\nend",
            "b.seq:3: \"expect ACK within 300\": from repetition 2");
        row("silent key ends an outer block",
            "key 1\nrepeat 2\nrepeat 2\nexpect any\nend\nkey #\nend",
            "b.seq:4: \"expect any\": from repetition 2");
        row("raw bytes escaped", "key 1\nk\x1B[2J\rey 1",
            "b.seq:2: \"k\\x1B[2J\\rey 1\": unknown step");
        row("raw key escaped", "key \x7F", "b.seq:1: \"key \\x7F\": unknown key \"\\x7F\"");
        row("send: bad hex", "key 1\nsend 0B 0G", "b.seq:2: \"send 0B 0G\": \"0G\" is not a byte");
        row("send: not two digits", "send 0B 7", "b.seq:1: \"send 0B 7\": \"7\" is not a byte");
        row("send: no bytes", "send # what?", "b.seq:1: \"send # what?\": no bytes");
        row("send: sum alone", "send sum", "b.seq:1: \"send sum\": \"sum\" needs bytes");
        row("send: sum not last", "send 0B sum 01", "b.seq:1: \"send 0B sum 01\": \"sum\" must be");
        const QByteArray cut = "b.seq:1: \"send" + QByteArray(" 00").repeated(18) + " 0...\": ";
        row("send: 65 bytes", "send" + QByteArray(" 00").repeated(65),
            cut + "65 bytes: a frame holds at most 64");
        row("send: 64 and a checksum", "send" + QByteArray(" 00").repeated(64) + " sum",
            cut + "65 bytes: a frame holds at most 64, its checksum included");
        row("byte order mark inside the file shown", "key 1\n\xEF\xBB\xBFkey 2",
            "b.seq:2: \"\\xEF\\xBB\\xBFkey 2\": unknown step");
        row("right-to-left override escaped", "key 1\nkey \xE2\x80\xAE\x35",
            "b.seq:2: \"key \\xE2\\x80\\xAE5\": unknown key");
    }
    void mistakesAreLocated() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const SequenceFile f = parseSequence("b.seq", text);
        QVERIFY2(f.error.startsWith(error), qPrintable(f.error));
        QVERIFY(f.steps.isEmpty());
    }

    // A send step's bytes exactly, and its words as messages and the run
    // window show them.
    void sendFrames_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("any case, tabs, a comment, a sum past 255")
            << QByteArray("SEND\tf0 0b  20\tSum # and an expect after it\nexpect NAK")
            << QByteArray::fromHex("F00B201B") << "SEND f0 0b 20 Sum";
        const QByteArray most = QByteArray(" A5").repeated(64);
        QTest::newRow("64 bytes") << "send" + most << QByteArray(64, char(0xA5))
                                  << QString::fromLatin1("send" + most);
    }
    void sendFrames() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const SequenceFile f = parseSequence("s.seq", text);
        QVERIFY2(f.isValid(), qPrintable(f.error));
        QCOMPARE(f.steps[0].kind, SequenceStep::Send);
        QCOMPARE(f.frame(f.steps[0]), bytes);
        QCOMPARE(f.stepText(f.steps[0]), shown);
    }

    void unreadableFilesSayWhy() {
        QTemporaryDir dir;
        const QByteArray at = QFile::encodeName(dir.path()) + '/';
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling.seq")));
        QVERIFY(QFile::link(dir.filePath("loop.seq"), dir.filePath("loop.seq")));
        std::FILE* latin1Named = std::fopen(at + "r\xE9sum\xE9.seq", "w"); // not UTF-8
        QVERIFY(latin1Named && std::fputs("key 1\nexpect ACK", latin1Named) >= 0);
        std::fclose(latin1Named);
        const QList<std::pair<QByteArray, QString>> cases{
            {"dangling.seq", QStringLiteral("dangling.seq: No such file or directory (a "
                                            "symbolic link to a missing file)")},
            {"loop.seq", QStringLiteral("loop.seq: Too many levels of symbolic links")},
            {"a\x1B[2J.seq", QStringLiteral("a\\x1B[2J.seq: No such file or directory")},
        };
        for (const auto& [name, error] : cases) {
            const SequenceFile f = readSequenceFile(at + name);
            QVERIFY2(f.error.endsWith(error), qPrintable(f.error));
        }
        const SequenceFile latin1 = readSequenceFile(at + "r\xE9sum\xE9.seq");
        QVERIFY2(latin1.isValid(), qPrintable(latin1.error));
        QCOMPARE(latin1.name, "r\\xE9sum\\xE9.seq");
    }
};

QTEST_GUILESS_MAIN(TestSequenceFile)
#include "tst_sequencefile.moc"
