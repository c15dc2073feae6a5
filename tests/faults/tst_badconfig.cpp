// config.ini as people and accidents leave it. Through the window: the port
// shown is the first section's first matching key, and a Save changes that
// value and no other byte.
#include "faults.h"

namespace {

const QByteArray portMark = "{port}";
const QByteArray newMark = "{new}";

// A literal that may hold NUL bytes, all of it.
template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

// No line breaks, every other byte value, as a corrupted file would hold.
QByteArray nearlyOneMebibyte() {
    QByteArray b(1000 * 1000, Qt::Uninitialized);
    for (qsizetype i = 0; i < b.size(); ++i) {
        const char c = char((i * 31 + 7) & 0xFF);
        b[i] = (c == '\n' || c == '\r') ? 'x' : c;
    }
    return b;
}

} // namespace

class TestBadConfig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void portIsReadAndSaveKeepsEveryOtherByte_data() {
        // {port} marks the value that counts. The file expected after saving
        // {new} is, unless given, the same with {port} turned into {new}.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("binary junk around the section")
            << bytes("\x00\xFF\xFE garbage \x01\x02\n\x7F[\x00\xC3]\n=\x00\xFF\n[SETTINGS]\n"
                     "\x00\x01 not a key\nport={port}\n\xFF\xFF\x00junk=\x00\n")
            << QByteArray();
        QTest::newRow("a 1 MB line, and no line break at the end")
            << nearlyOneMebibyte() + "\n[SETTINGS]\r\nport={port}" << QByteArray();
        QTest::newRow("UTF-8 byte-order mark")
            << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport={port}\r\n; \xC3\xBC\r\n")
            << QByteArray();
        QTest::newRow("duplicate sections and keys: the first wins")
            << QByteArray("[settings]\n  PORT = {port}\nport=/dev/second-key\n\n[OTHER]\n"
                          "port=/dev/other\n[SETTINGS]\nport=/dev/second-section\n")
            << QByteArray();
        QTest::newRow("key only in a second section: never read")
            << QByteArray("[SETTINGS]\nbaud=9600\n[SETTINGS]\nport=/dev/never-read\n")
            << QByteArray("[SETTINGS]\nbaud=9600\nport={new}\n[SETTINGS]\nport=/dev/never-read\n");
    }

    void portIsReadAndSaveKeepsEveryOtherByte() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        TestBench bench;
        PtyPair next;
        QVERIFY(bench.device.isValid() && next.isValid());
        const QString expectedPort = file.contains(portMark) ? bench.device.slavePath() : QString();
        writeFile(bench.dir.filePath(QStringLiteral("config.ini")),
                  QByteArray(file).replace(portMark, bench.device.slavePath().toUtf8()));

        MainWindow* w = bench.start();
        QVERIFY(w);
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), expectedPort);
        QCOMPARE(w->session().portOpen(), !expectedPort.isEmpty());

        const auto boxes = saveThroughTheWindow(w, next.slavePath(), {QMessageBox::Ok});
        QCOMPARE(boxes->size(), 1);
        QCOMPARE(boxes->first().icon, QMessageBox::Question);
        const QByteArray after = bench.config();
        const QByteArray expected =
            (saved.isNull() ? QByteArray(file).replace(portMark, newMark) : saved)
                .replace(newMark, next.slavePath().toUtf8());
        QCOMPARE(after, expected);

        // The program restarts on the new port, read back from the same file.
        QPointer<MainWindow> old = w;
        QTRY_VERIFY_WITH_TIMEOUT(!old && bench.windows.main(), 10000);
        w = bench.windows.main();
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), next.slavePath());
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(next.read(3), commTestFrame);
    }
};

QTEST_MAIN(TestBadConfig)
#include "tst_badconfig.moc"
