// config.ini as people and accidents leave it: junk bytes, enormous lines, no
// final line break, a byte-order mark, sections and keys twice. Through the
// window: the port it shows is the one the rules say (the first wins), and a
// Save from the Port Settings panel changes that value and no other byte.
#include "app/bench.h"
#include "support/dialogs.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QByteArray portMark = "{port}";
const QByteArray newMark = "{new}";

// A literal that may hold NUL bytes, all of it.
template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}
const QByteArray tenMegabytes = [] {
    // No line breaks, every other byte value, as a corrupted file would hold.
    QByteArray b(10 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < b.size(); ++i) {
        const char c = char((i * 31 + 7) & 0xFF);
        b[i] = (c == '\n' || c == '\r') ? 'x' : c;
    }
    return b;
}();

} // namespace

class TestBadConfig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Every monitor line also goes to a session log: keep it out of the way.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }

    void portIsReadAndSaveKeepsEveryOtherByte_data() {
        // The file, with {port} where the value that counts stands, and the file
        // expected after saving {new}; by default the same with {port} turned
        // into {new} and every other byte as it was.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("binary junk around the section")
            << bytes("\x00\xFF\xFE garbage \x01\x02\n\x7F[\x00\xC3]\n=\x00\xFF\n[SETTINGS]\n"
                     "\x00\x01 not a key\nport={port}\n\xFF\xFF\x00junk=\x00\n")
            << QByteArray();
        QTest::newRow("a 10 MB line before the section")
            << tenMegabytes + "\n[SETTINGS]\nport={port}\n"
            << QByteArray();
        QTest::newRow("a 10 MB value after the port")
            << "[SETTINGS]\nport={port}\nblob=" + tenMegabytes + "\n[NEXT]\nx=1\n"
            << QByteArray();
        QTest::newRow("a 10 MB last line without a line break")
            << "[SETTINGS]\r\nport={port}\r\n" + tenMegabytes << QByteArray();
        QTest::newRow("no line break at the end")
            << QByteArray("[SETTINGS]\r\nport={port}") << QByteArray();
        QTest::newRow("UTF-8 byte-order mark")
            << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport={port}\r\n; \xC3\xBC\r\n")
            << QByteArray();
        QTest::newRow("duplicate sections: the first wins")
            << QByteArray("[SETTINGS]\nport={port}\n\n[OTHER]\nport=/dev/other\n\n"
                          "[SETTINGS]\nport=/dev/second-section\n")
            << QByteArray();
        QTest::newRow("duplicate keys: the first wins")
            << QByteArray("[settings]\n  PORT = {port}\nport=/dev/second-key\nPort=3\n")
            << QByteArray();
        QTest::newRow("key only in a second section: never read")
            << QByteArray("[SETTINGS]\nbaud=9600\n[SETTINGS]\nport=/dev/never-read\n")
            << QByteArray("[SETTINGS]\nbaud=9600\nport={new}\n[SETTINGS]\nport=/dev/never-read\n");
        QTest::newRow("nothing but junk, no section")
            << bytes("\x00\x01\x02 binary\xFF\xFE\x00")
            << bytes("\x00\x01\x02 binary\xFF\xFE\x00\n\n[SETTINGS]\nport={new}\n");
    }

    void portIsReadAndSaveKeepsEveryOtherByte() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        const bool hasPort = file.contains(portMark);
        TestBench bench;
        PtyPair next;
        QVERIFY(bench.device.isValid() && next.isValid());
        const QByteArray before =
            QByteArray(file).replace(portMark, bench.device.slavePath().toUtf8());
        writeFile(bench, before);

        MainWindow* w = bench.start();
        QVERIFY(w);
        // Read by the rules: the first section, its first matching key.
        const QString expectedPort = hasPort ? bench.device.slavePath() : QString();
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), expectedPort);
        QCOMPARE(w->session().link().portOpen(), hasPort);

        // Serial > Settings, type the new port, Save, OK.
        w->findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
        auto* typed = child<QLineEdit>(w, "txtPortSettings");
        QCOMPARE(typed->text(), expectedPort);
        typed->setText(next.slavePath());
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        child<QPushButton>(w, "cmdSaveSettings")->click();
        QVERIFY(answer.seen());
        QCOMPARE(answer->icon, QMessageBox::Question);

        const QByteArray after = bench.config();
        const QByteArray expected =
            (saved.isNull() ? QByteArray(file).replace(portMark, newMark) : saved)
                .replace(newMark, next.slavePath().toUtf8());
        QVERIFY2(after == expected, qPrintable(firstDifference(after, expected)));

        // The program restarts on the new port, read back from the same file.
        QPointer<MainWindow> old = w;
        QTRY_VERIFY_WITH_TIMEOUT(!old && bench.windows.main(), 10000);
        w = bench.windows.main();
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), next.slavePath());
        QVERIFY(w->session().link().portOpen());
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(next.read(3), QByteArray("\x0B\x05\x10", 3));
    }

private:
    static void writeFile(TestBench& bench, const QByteArray& bytes) {
        QFile f(bench.dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // Where two files part, for a failure message that fits on a screen.
    static QString firstDifference(const QByteArray& got, const QByteArray& expected) {
        qsizetype i = 0;
        while (i < got.size() && i < expected.size() && got[i] == expected[i])
            ++i;
        return QStringLiteral("sizes %1 and %2, first difference at byte %3: got \"%4\", "
                              "expected \"%5\"")
            .arg(got.size())
            .arg(expected.size())
            .arg(i)
            .arg(QString::fromLatin1(got.mid(i, 40).toPercentEncoding()),
                 QString::fromLatin1(expected.mid(i, 40).toPercentEncoding()));
    }

    QTemporaryDir m_state;
};

QTEST_MAIN(TestBadConfig)
#include "tst_badconfig.moc"
