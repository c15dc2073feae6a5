// A session log read back: each line taken apart into its time, kind and
// text as the log wrote it, whatever a hand or a crash did to the file, and
// files that are not logs refused as the program's other files are.
#include "session/logfile.h"
#include "support/files.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class TestLogFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesReadBack_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines"); // "stamp|kind|text" per line
        const QByteArray day = "2026-12-07 12:56:44.557  ";
        const QByteArray big(1 << 20, 'x');
        // Each line as the log writes it, read back with its kind.
        QByteArray everyKind;
        QStringList kinds;
        for (const QString& kindAndText : QStringList{
                 "1|Key: 5 - 0B 02 02 50 5F", "2|Reply: 0B 00 0B\\r\\n", "3|Reply: 0B FF 0A\\r\\n",
                 "4|Reply: 0B 0F 1A\\r\\n", "5|Reply: 42\\r\\n",
                 "6|Not sent (port closed): Reset - 0B 06 11", "7|Error: Lost /dev/ttyUSB0",
                 "8|Port: /dev/ttyUSB0 is open again", "9|Expect failed: t.seq:4: expected ACK",
                 "10|Run: PASS: 1 of 1 expectations met", "1|Sent: 0B 07 12",
                 "1|Comm Test - 0B 05 10", "7|(3 lines not logged: No space left on device)"}) {
            everyKind += day + kindAndText.section('|', 1).toLatin1() + '\n';
            kinds << "12:56:44.557|" + kindAndText;
        }
        QTest::newRow("every kind") << everyKind << kinds;
        QTest::newRow("foreign lines are text")
            << "# notes by hand\n" + day + "Reply: 0B FF 0A\\r\\n\n\n2026-12-07 12:56:44  short\n" +
                   day.left(24) + "Key: 1\nKey: 1 - 0B 00 02 50 5D\n"
            << QStringList{"|0|# notes by hand",
                           "12:56:44.557|3|Reply: 0B FF 0A\\r\\n",
                           "|0|",
                           "|0|2026-12-07 12:56:44  short",
                           "|0|2026-12-07 12:56:44.557 Key: 1",
                           "|0|Key: 1 - 0B 00 02 50 5D"};
        QTest::newRow("torn last line, CR LF from an editor")
            << day + "Key: 1 - 0B 00 02 50 5D\r\n" + day + "Reply: 0B 0"
            << QStringList{"12:56:44.557|1|Key: 1 - 0B 00 02 50 5D", "12:56:44.557|5|Reply: 0B 0"};
        QTest::newRow("a line of 1 MiB")
            << day + "Reply: " + big + "\n" + day + "Reply: 0B 00 0B\\r\\n\n"
            << QStringList{"12:56:44.557|5|Reply: " + QString::fromLatin1(big),
                           "12:56:44.557|2|Reply: 0B 00 0B\\r\\n"};
    }
    void linesReadBack() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath("2026-12-07.log");
        QVERIFY(writeFile(path, file));
        QString error;
        const std::unique_ptr<LogFile> log = LogFile::open(path, &error);
        QVERIFY2(log, qPrintable(error));
        // Indexed in small slices, as the window does it: the lines come out the same.
        int slices = 1;
        while (!log->indexMore(7))
            ++slices;
        QVERIFY(slices > 1);
        QStringList got;
        for (qint64 i = 0; i < log->lineCount(); ++i) {
            const LogLine l = log->line(i);
            got << QString::fromLatin1(l.time()) + '|' + QString::number(int(l.kind)) + '|' +
                       QString::fromLatin1(l.text);
        }
        QCOMPARE(got, lines);
        QVERIFY(log->indexBytes() <= 16 * log->lineCount());
    }

    void notALogRefused_data() {
        QTest::addColumn<QByteArray>("what"); // file content, or fifo, link, folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("a text file") << QByteArray("[SETTINGS]\nport=1\n")
                                     << "it is not a session log (no line begins with a date "
                                        "and time)";
        QTest::newRow("binary") << QByteArray("2026-12-07 12:56:44.557  \0\x01", 27)
                                << "it is not a session log (it holds binary data)";
        QTest::newRow("empty") << QByteArray() << "it is empty";
        QTest::newRow("FIFO") << QByteArray("fifo") << "it is a FIFO, not a file";
        QTest::newRow("link to a log")
            << QByteArray("link") << "it is a symbolic link; open the file itself";
        QTest::newRow("folder") << QByteArray("folder") << "it is a directory, not a file";
        QTest::newRow("missing") << QByteArray("missing") << "No such file or directory";
    }
    void notALogRefused() {
        QFETCH(QByteArray, what);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString log = dir.filePath("2026-12-06.log");
        QVERIFY(writeFile(log, "2026-12-06 08:00:00.000  Key: 1 - 0B 00 02 50 5D\n"));
        const QString path = dir.filePath("2026-12-07.log");
        const QByteArray native = QFile::encodeName(path);
        if (what == "fifo")
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        else if (what == "link")
            QVERIFY(QFile::link(log, path));
        else if (what == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (what != "missing")
            QVERIFY(writeFile(path, what));
        QString error;
        QVERIFY(!LogFile::open(path, &error));
        QCOMPARE(error, QStringLiteral("Cannot open the log %1: %2").arg(path, reason));
    }
};

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
