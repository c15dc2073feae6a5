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
        row("plain", "[SETTINGS]\nport=COM3\n", "COM3");
        row("names in other case, with blanks", "[Settings]\nPORT=COM3\n", "COM3", " sETTINGS ",
            "\tpOrt ");
        row("blanks around names and value", "  [ SETTINGS\t]\n\t port \t= \t a = b \t\n", "a = b");
        row("double quotes keep inner blanks", "[SETTINGS]\nport=  \" COM3 \"  \n", " COM3 ");
        row("one pair of single quotes", "[SETTINGS]\nport='\"COM3\"'\n", "\"COM3\"");
        row("mismatched quotes kept", "[SETTINGS]\nport=\"COM3'\n", "\"COM3'");
        row("missing key, present in next section", "[SETTINGS]\nbaud=1\n[B]\nport=COM3\n", "");
        row("key before any section and comments ignored",
            "port=COM1\n;port=1\n[SETTINGS]\n;port=2\n  # port=3\nport=COM3\n", "COM3");
        row("first duplicate key wins", "[SETTINGS]\nport=COM1\nPORT=COM2\n", "COM1");
        row("later duplicate section not searched", "[SETTINGS]\nbaud=1\n[SETTINGS]\nport=COM2\n",
            "");
        row("CRLF", "[SETTINGS]\r\nport=COM3\r\nbaud=1\r\n", "COM3");
        row("CR only", "[SETTINGS]\rport=COM3\rbaud=1\r", "COM3");
        row("BOM, no final newline", "\xEF\xBB\xBF[SETTINGS]\nport=COM3", "COM3");
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
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        const auto row = [](const char* name, const QByteArray& content, const QByteArray& expected,
                            const QByteArray& key = K, const QByteArray& value = "COM4") {
            QTest::newRow(name) << content << expected << key << value;
        };
        row("replace keeps everything around",
            "; top\n\n[A]\nport=1\n\n[SETTINGS]\n; "
            "why\nbaud=9600\nport=COM3\nx=2\n\n\n[B]\nport=3\n",
            "; top\n\n[A]\nport=1\n\n[SETTINGS]\n; "
            "why\nbaud=9600\nport=COM4\nx=2\n\n\n[B]\nport=3\n");
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
        row("append to empty file", "", "[SETTINGS]\nport=COM4\n");
        row("append without final newline", "[A]\nx=1", "[A]\nx=1\n\n[SETTINGS]\nport=COM4\n");
        row("append in CRLF file", "[A]\r\nx=1\r\n",
            "[A]\r\nx=1\r\n\r\n[SETTINGS]\r\nport=COM4\r\n");
        row("value cut at line break", "[SETTINGS]\nport=COM3\n", "[SETTINGS]\nport=COM4\n", K,
            "COM4\n[EVIL]");
        row("key holding '=' leaves the file alone", "[SETTINGS]\nport=1\n", "[SETTINGS]\nport=1\n",
            "a=b");
    }

    void edit() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QCOMPARE(ini::edit(content, S, key, value), expected);
    }

    void hugeLines() {
        // 10 MB lines before, in and after the section: read and edited by the usual rules.
        const QByteArray big(10 * 1024 * 1024, 'j');
        const QByteArray content = big + "\n[SETTINGS]\nport=" + big + "\n" + big;
        QCOMPARE(ini::lookup(content, S, K), big);
        QCOMPARE(ini::edit(content, S, K, "COM4"), big + "\n[SETTINGS]\nport=COM4\n" + big);
        QCOMPARE(ini::lookup("[" + big + "]\nport=1\n" + big + "=2\n", S, K), QByteArray());
    }
};

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
