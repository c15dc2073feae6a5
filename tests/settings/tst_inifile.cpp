#include "settings/inifile.h"

#include <QtTest>

const QByteArray S("SETTINGS");
const QByteArray K("port");

class TestIniFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lookup_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        const auto row = [](const char* name, const QByteArray& content, const QByteArray& expected,
                            const QByteArray& section = S, const QByteArray& key = K) {
            QTest::newRow(name) << content << expected << section << key;
        };
        row("names in other case, with blanks", "[Settings]\nPORT=COM3\n", "COM3", " sETTINGS ",
            "\tpOrt ");
        row("blanks around names and value", "  [ SETTINGS\t]\n\t port \t= \t a = b \t\n", "a = b");
        row("double quotes keep inner blanks", "[SETTINGS]\nport=  \" COM3 \"  \n", " COM3 ");
        row("missing key, present in next section", "[SETTINGS]\nbaud=1\n[B]\nport=COM3\n", "");
        row("key before any section and comments ignored",
            "port=COM1\n;port=1\n[SETTINGS]\n;port=2\n  # port=3\nport=COM3\n", "COM3");
        row("first duplicate key wins", "[SETTINGS]\nport=COM1\nPORT=COM2\n", "COM1");
        row("later duplicate section not searched", "[SETTINGS]\nbaud=1\n[SETTINGS]\nport=COM2\n",
            "");
        row("BOM, CRLF, no final newline", "\xEF\xBB\xBF[SETTINGS]\r\nport=COM3\r\nbaud=1", "COM3");
    }

    void lookup() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QCOMPARE(ini::lookup(content, section, key), expected);
    }

    void edit_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, const QByteArray& content,
                            const QByteArray& expected) {
            QTest::newRow(name) << content << expected;
        };
        const QByteArray around = "; top\n\n[A]\nport=1\n\n[SETTINGS]\n; "
                                  "why\nbaud=9600\nport=COM3\nx=2\n\n\n[B]\nport=3\n";
        row("replace keeps everything around", around, QByteArray(around).replace("COM3", "COM4"));
        row("replace keeps BOM, CRLF, spelling, spacing",
            "\xEF\xBB\xBF[Settings]\r\n  Port =\tCOM3 \r\n",
            "\xEF\xBB\xBF[Settings]\r\n  Port =\tCOM4\r\n");
        row("replace on last line without newline", "[SETTINGS]\nport=COM3",
            "[SETTINGS]\nport=COM4");
        row("replace first duplicate", "[SETTINGS]\nport=1\nport=2\n[SETTINGS]\nport=3\n",
            "[SETTINGS]\nport=COM4\nport=2\n[SETTINGS]\nport=3\n");
        row("insert before blank lines, into first duplicate section",
            "[SETTINGS]\nbaud=9600\n\n[settings]\nport=COM2\n",
            "[SETTINGS]\nbaud=9600\nport=COM4\n\n[settings]\nport=COM2\n");
        row("insert after CRLF last line without newline", "[SETTINGS]\r\nbaud=1",
            "[SETTINGS]\r\nbaud=1\r\nport=COM4");
        row("append without final newline", "[A]\nx=1", "[A]\nx=1\n\n[SETTINGS]\nport=COM4\n");
    }

    void edit() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QCOMPARE(ini::edit(content, S, K, "COM4"), expected);
    }
};

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
