#include "settings/inifile.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// True when `after` differs from `before` inside at most one line of `before`:
// everything outside the changed stretch is byte-for-byte the same, and the
// stretch of `before` that was replaced holds no line break.
bool onlyOneLineTouched(const QByteArray& before, const QByteArray& after) {
    qsizetype prefix = 0;
    const qsizetype shorter = qMin(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray replaced = before.mid(prefix, before.size() - prefix - suffix);
    return !replaced.contains('\r') && !replaced.contains('\n');
}

QByteArray randomBytes(QRandomGenerator& rng, int size, const QByteArray& alphabet = {}) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) {
        c = alphabet.isEmpty() ? char(rng.bounded(256))
                               : alphabet.at(int(rng.bounded(quint32(alphabet.size()))));
    }
    return bytes;
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lookup_data();
    void lookup();
    void lookupDoesNotCutLongValues();
    void lookupSurvivesBinaryJunk();
    void lookupHandlesHugeLines();
    void edit_data();
    void edit();
    void editKeepsUntouchedLinesAndReadsBack_data();
    void editKeepsUntouchedLinesAndReadsBack();
    void editOfJunkReadsBack();
    void editHandlesHugeLines();
};

void TestIniFile::lookup_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray plain = "[SETTINGS]\nport=COM3\n";
    QTest::newRow("plain") << plain << QByteArray("SETTINGS") << QByteArray("port")
                           << QByteArray("COM3");
    QTest::newRow("section name in other case")
        << plain << QByteArray("settings") << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("key name in other case")
        << plain << QByteArray("SETTINGS") << QByteArray("PoRt") << QByteArray("COM3");
    QTest::newRow("names in file in other case")
        << QByteArray("[Settings]\nPORT=COM3\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("only ASCII is folded") << QByteArray("[\xC4]\nport=1\n") << QByteArray("\xE4")
                                          << QByteArray("port") << QByteArray();
    QTest::newRow("blanks around names in file")
        << QByteArray("  [ SETTINGS\t]  \n\t port \t= COM3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("blanks around names asked for")
        << plain << QByteArray(" SETTINGS ") << QByteArray("\tport ") << QByteArray("COM3");
    QTest::newRow("value trimmed of spaces and tabs")
        << QByteArray("[SETTINGS]\nport= \t COM3 \t \n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("inner blanks kept")
        << QByteArray("[SETTINGS]\nport= a  b \n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("a  b");
    QTest::newRow("double quotes removed")
        << QByteArray("[SETTINGS]\nport=  \" COM3 \"  \n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray(" COM3 ");
    QTest::newRow("single quotes removed")
        << QByteArray("[SETTINGS]\nport='COM3'\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("only one pair of quotes removed")
        << QByteArray("[SETTINGS]\nport=\"'COM3'\"\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("'COM3'");
    QTest::newRow("mismatched quotes kept")
        << QByteArray("[SETTINGS]\nport=\"COM3'\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("\"COM3'");
    QTest::newRow("lone quote kept")
        << QByteArray("[SETTINGS]\nport=\"\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("\"");
    QTest::newRow("empty quotes") << QByteArray("[SETTINGS]\nport=\"\"\n") << QByteArray("SETTINGS")
                                  << QByteArray("port") << QByteArray();
    QTest::newRow("value holding '='")
        << QByteArray("[SETTINGS]\nport=a=b\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("a=b");
    QTest::newRow("empty value") << QByteArray("[SETTINGS]\nport=\nbaud=9600\n")
                                 << QByteArray("SETTINGS") << QByteArray("port") << QByteArray();
    QTest::newRow("empty file") << QByteArray() << QByteArray("SETTINGS") << QByteArray("port")
                                << QByteArray();
    QTest::newRow("missing section") << QByteArray("[OTHER]\nport=COM3\n") << QByteArray("SETTINGS")
                                     << QByteArray("port") << QByteArray();
    QTest::newRow("missing key") << QByteArray("[SETTINGS]\nbaud=9600\n[OTHER]\nport=COM3\n")
                                 << QByteArray("SETTINGS") << QByteArray("port") << QByteArray();
    QTest::newRow("key before any section ignored")
        << QByteArray("port=COM1\n[SETTINGS]\nbaud=1\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray();
    QTest::newRow("key of the next section not taken")
        << QByteArray("[SETTINGS]\n[NEXT]\nport=COM3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray();
    QTest::newRow("section in the middle")
        << QByteArray("[A]\nport=1\n[SETTINGS]\nport=2\n[B]\nport=3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("2");
    QTest::newRow("first duplicate key wins")
        << QByteArray("[SETTINGS]\nport=COM1\nPORT=COM2\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM1");
    QTest::newRow("first duplicate section wins")
        << QByteArray("[SETTINGS]\nport=COM1\n[settings]\nport=COM2\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM1");
    QTest::newRow("later duplicate section not searched")
        << QByteArray("[SETTINGS]\nbaud=1\n[SETTINGS]\nport=COM2\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray();
    QTest::newRow("CRLF") << QByteArray("[SETTINGS]\r\nport=COM3\r\nbaud=1\r\n")
                          << QByteArray("SETTINGS") << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("CRLF last line")
        << QByteArray("[SETTINGS]\r\nport=COM3\r\n") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("lone CR at end")
        << QByteArray("[SETTINGS]\nport=COM3\r") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("CR only lines")
        << QByteArray("[SETTINGS]\rport=COM3\rbaud=1\r") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("mixed line breaks")
        << QByteArray("[A]\r\nx=1\n[SETTINGS]\r\nport=COM3\nbaud=2\r\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("no final newline")
        << QByteArray("[SETTINGS]\nport=COM3") << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("header at end without newline")
        << QByteArray("[SETTINGS]") << QByteArray("SETTINGS") << QByteArray("port") << QByteArray();
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport=COM3\r\n")
                         << QByteArray("SETTINGS") << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("BOM not at the start is just bytes")
        << QByteArray("[A]\n\xEF\xBB\xBF[SETTINGS]\nport=COM3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray();
    QTest::newRow("lines without '=' ignored")
        << QByteArray("[SETTINGS]\nport\ngarbage line\nport=COM3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("comments ignored")
        << QByteArray("; port=COM1\n[SETTINGS]\n;port=COM2\n  # port=COM4\nport=COM3\n")
        << QByteArray("SETTINGS") << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("commented header ignored")
        << QByteArray("[A]\n;[SETTINGS]\nport=COM1\n[SETTINGS]\nport=COM3\n")
        << QByteArray("SETTINGS") << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("text after header")
        << QByteArray("[SETTINGS] ; ours\nport=COM3\n") << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("unclosed header still ends the section before")
        << QByteArray("[A]\nbaud=1\n[SETTINGS\nport=COM3\n") << QByteArray("A")
        << QByteArray("port") << QByteArray();
    QTest::newRow("NUL bytes elsewhere")
        << QByteArray("[X]\na=\0\0\0\n[SETTINGS]\nport=COM3\n\0\0", 33) << QByteArray("SETTINGS")
        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("NUL in value kept")
        << QByteArray("[SETTINGS]\nport=A\0B\n", 20) << QByteArray("SETTINGS") << QByteArray("port")
        << QByteArray("A\0B", 3);
    QTest::newRow("empty section name") << QByteArray("[]\nport=COM3\n") << QByteArray("")
                                        << QByteArray("port") << QByteArray("COM3");
    QTest::newRow("UTF-8 value") << QByteArray("[SETTINGS]\nport=/dev/t\xC3\xBCy\n")
                                 << QByteArray("SETTINGS") << QByteArray("port")
                                 << QByteArray("/dev/t\xC3\xBCy");
}

void TestIniFile::lookup() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(ini::lookup(content, section, key), expected);
}

void TestIniFile::lookupDoesNotCutLongValues() {
    // The 49-character cut belongs to the caller.
    const QByteArray value(200, 'v');
    QCOMPARE(ini::lookup("[SETTINGS]\nport=" + value + "\n", "SETTINGS", "port"), value);
}

void TestIniFile::lookupSurvivesBinaryJunk() {
    QRandomGenerator rng(20240611);
    const QByteArray iniish("[]=;#\"' \t\r\n\0SETTINGSport", 24);
    for (int round = 0; round < 2000; ++round) {
        const int size = int(rng.bounded(512));
        const QByteArray junk = round % 2 ? randomBytes(rng, size) : randomBytes(rng, size, iniish);
        (void)ini::lookup(junk, "SETTINGS", "port");
        // Whatever else the junk holds, a real section placed after it must be
        // found unless the junk could have opened the same section first.
        if (!junk.toLower().contains("settings"))
            QCOMPARE(ini::lookup(junk + "\n[SETTINGS]\nport=COM9\n", "SETTINGS", "port"),
                     QByteArray("COM9"));
    }
    const QByteArray allBytes = [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i)
            b += char(i);
        return b;
    }();
    QCOMPARE(ini::lookup(allBytes + "\n[SETTINGS]\nport=COM9", "SETTINGS", "port"),
             QByteArray("COM9"));
}

void TestIniFile::lookupHandlesHugeLines() {
    const qsizetype tenMegabytes = 10 * 1024 * 1024;

    const QByteArray hugeValue(tenMegabytes, 'x');
    QCOMPARE(ini::lookup("[SETTINGS]\nport=" + hugeValue + "\n", "SETTINGS", "port"), hugeValue);

    // A long line without '=' before the section, and one after the key.
    const QByteArray junkLine(tenMegabytes, 'j');
    QCOMPARE(ini::lookup(junkLine + "\n[SETTINGS]\nport=COM3\n" + junkLine, "SETTINGS", "port"),
             QByteArray("COM3"));

    // Blanks only: the trimming must not rescan them over and over.
    const QByteArray blanks(tenMegabytes, ' ');
    QCOMPARE(ini::lookup("[SETTINGS]\nport=" + blanks + "COM3" + blanks, "SETTINGS", "port"),
             QByteArray("COM3"));

    // A long header and a long key name that do not match.
    QCOMPARE(ini::lookup("[" + junkLine + "]\nport=1\n", "SETTINGS", "port"), QByteArray());
    QCOMPARE(ini::lookup("[SETTINGS]\n" + junkLine + "=1\n", "SETTINGS", "port"), QByteArray());

    // Millions of short lines with a single CR at the very end: a reader that
    // looked for the next CR and the next LF separately would rescan the file
    // for every line.
    QByteArray manyLines = "[SETTINGS]\n";
    manyLines.reserve(tenMegabytes + 64);
    while (manyLines.size() < tenMegabytes)
        manyLines += "a=b\n";
    QCOMPARE(ini::lookup(manyLines + "port=COM3\r", "SETTINGS", "port"), QByteArray("COM3"));
}

void TestIniFile::edit_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray S("SETTINGS");
    const QByteArray K("port");
    const QByteArray V("COM4");

    // Replacing an existing value.
    QTest::newRow("replace") << QByteArray("[SETTINGS]\nport=COM3\n") << S << K << V
                             << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("replace keeps spelling and spacing")
        << QByteArray("[Settings]\r\n  Port =\tCOM3 \r\n") << S << K << V
        << QByteArray("[Settings]\r\n  Port =\tCOM4\r\n");
    QTest::newRow("replace keeps everything around")
        << QByteArray("; top comment\n\n[A]\nport=1\n\n[SETTINGS]\n; why\nbaud=9600\nport=COM3\n"
                      "speed=2\n\n\n[B]\nport=3\n")
        << S << K << V
        << QByteArray("; top comment\n\n[A]\nport=1\n\n[SETTINGS]\n; why\nbaud=9600\nport=COM4\n"
                      "speed=2\n\n\n[B]\nport=3\n");
    QTest::newRow("replace quoted value") << QByteArray("[SETTINGS]\nport=\"COM3\"\n") << S << K
                                          << V << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("replace empty value") << QByteArray("[SETTINGS]\nport=\n") << S << K << V
                                         << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("replace with empty value")
        << QByteArray("[SETTINGS]\nport = COM3\n") << S << K << QByteArray()
        << QByteArray("[SETTINGS]\nport = \n");
    QTest::newRow("replace on last line without newline")
        << QByteArray("[SETTINGS]\nport=COM3") << S << K << V
        << QByteArray("[SETTINGS]\nport=COM4");
    QTest::newRow("replace first duplicate key")
        << QByteArray("[SETTINGS]\nport=COM1\nport=COM2\n") << S << K << V
        << QByteArray("[SETTINGS]\nport=COM4\nport=COM2\n");
    QTest::newRow("replace in first duplicate section")
        << QByteArray("[SETTINGS]\nport=COM1\n[SETTINGS]\nport=COM2\n") << S << K << V
        << QByteArray("[SETTINGS]\nport=COM4\n[SETTINGS]\nport=COM2\n");
    QTest::newRow("replace keeps BOM and CRLF")
        << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport=COM3\r\n") << S << K << V
        << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport=COM4\r\n");
    QTest::newRow("replace keeps lone CR") << QByteArray("[SETTINGS]\rport=COM3\r") << S << K << V
                                           << QByteArray("[SETTINGS]\rport=COM4\r");

    // Inserting into an existing section.
    QTest::newRow("insert after last key") << QByteArray("[SETTINGS]\nbaud=9600\n") << S << K << V
                                           << QByteArray("[SETTINGS]\nbaud=9600\nport=COM4\n");
    QTest::newRow("insert before trailing blank lines and next section")
        << QByteArray("[SETTINGS]\nbaud=9600\n\n  \n[B]\nx=1\n") << S << K << V
        << QByteArray("[SETTINGS]\nbaud=9600\nport=COM4\n\n  \n[B]\nx=1\n");
    QTest::newRow("insert after trailing comment")
        << QByteArray("[SETTINGS]\nbaud=9600\n; end\n\n") << S << K << V
        << QByteArray("[SETTINGS]\nbaud=9600\n; end\nport=COM4\n\n");
    QTest::newRow("insert into header-only section")
        << QByteArray("[SETTINGS]\n\n[B]\n") << S << K << V
        << QByteArray("[SETTINGS]\nport=COM4\n\n[B]\n");
    QTest::newRow("insert after header without newline")
        << QByteArray("[SETTINGS]") << S << K << V << QByteArray("[SETTINGS]\nport=COM4");
    QTest::newRow("insert after last line without newline")
        << QByteArray("[SETTINGS]\r\nbaud=1") << S << K << V
        << QByteArray("[SETTINGS]\r\nbaud=1\r\nport=COM4");
    QTest::newRow("insert in CRLF file")
        << QByteArray("[SETTINGS]\r\nbaud=9600\r\n\r\n[B]\r\n") << S << K << V
        << QByteArray("[SETTINGS]\r\nbaud=9600\r\nport=COM4\r\n\r\n[B]\r\n");
    QTest::newRow("insert into first duplicate section")
        << QByteArray("[SETTINGS]\nbaud=1\n[SETTINGS]\nport=COM2\n") << S << K << V
        << QByteArray("[SETTINGS]\nbaud=1\nport=COM4\n[SETTINGS]\nport=COM2\n");
    QTest::newRow("insert uses trimmed key")
        << QByteArray("[SETTINGS]\n") << S << QByteArray(" port\t") << V
        << QByteArray("[SETTINGS]\nport=COM4\n");

    // Appending a missing section.
    QTest::newRow("append to empty file")
        << QByteArray() << S << K << V << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("append to BOM-only file") << QByteArray("\xEF\xBB\xBF") << S << K << V
                                             << QByteArray("\xEF\xBB\xBF[SETTINGS]\nport=COM4\n");
    QTest::newRow("append after final newline")
        << QByteArray("[A]\nx=1\n") << S << K << V
        << QByteArray("[A]\nx=1\n\n[SETTINGS]\nport=COM4\n");
    QTest::newRow("append without final newline")
        << QByteArray("[A]\nx=1") << S << K << V
        << QByteArray("[A]\nx=1\n\n[SETTINGS]\nport=COM4\n");
    QTest::newRow("append after blank line") << QByteArray("[A]\nx=1\n\n") << S << K << V
                                             << QByteArray("[A]\nx=1\n\n[SETTINGS]\nport=COM4\n");
    QTest::newRow("append in CRLF file")
        << QByteArray("[A]\r\nx=1\r\n") << S << K << V
        << QByteArray("[A]\r\nx=1\r\n\r\n[SETTINGS]\r\nport=COM4\r\n");
    QTest::newRow("append uses first line break's style")
        << QByteArray("[A]\nx=1\r\n") << S << K << V
        << QByteArray("[A]\nx=1\r\n\n[SETTINGS]\nport=COM4\n");
    QTest::newRow("append uses trimmed section") << QByteArray() << QByteArray(" SETTINGS ") << K
                                                 << V << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("section only in a comment")
        << QByteArray(";[SETTINGS]\n") << S << K << V
        << QByteArray(";[SETTINGS]\n\n[SETTINGS]\nport=COM4\n");

    // Values lookup() would not give back as written.
    QTest::newRow("value with surrounding blanks quoted")
        << QByteArray("[SETTINGS]\nport=COM3\n") << S << K << QByteArray(" COM4 ")
        << QByteArray("[SETTINGS]\nport=\" COM4 \"\n");
    QTest::newRow("quoted value quoted again")
        << QByteArray("[SETTINGS]\nport=COM3\n") << S << K << QByteArray("'COM4'")
        << QByteArray("[SETTINGS]\nport=\"'COM4'\"\n");
    QTest::newRow("value cut at line break")
        << QByteArray("[SETTINGS]\nport=COM3\n") << S << K << QByteArray("COM4\n[EVIL]")
        << QByteArray("[SETTINGS]\nport=COM4\n");
    QTest::newRow("value cut at NUL")
        << QByteArray("[SETTINGS]\nport=COM3\n") << S << K << QByteArray("COM4\0x", 6)
        << QByteArray("[SETTINGS]\nport=COM4\n");

    // Names that could never be found again leave the file alone.
    const QByteArray file("[SETTINGS]\nport=COM3\n");
    QTest::newRow("key with '='") << file << S << QByteArray("a=b") << V << file;
    QTest::newRow("key that is a comment") << file << S << QByteArray(";port") << V << file;
    QTest::newRow("key that is a header") << file << S << QByteArray("[port") << V << file;
    QTest::newRow("key with line break") << file << S << QByteArray("po\nrt") << V << file;
    QTest::newRow("section with line break") << file << QByteArray("SET\nTINGS") << K << V << file;
}

void TestIniFile::edit() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(ini::edit(content, section, key, value), expected);
}

void TestIniFile::editKeepsUntouchedLinesAndReadsBack_data() {
    QTest::addColumn<QByteArray>("content");
    const char* const files[] = {
        "",
        "\xEF\xBB\xBF",
        "\n",
        "\r\n\r\n",
        "[SETTINGS]",
        "[SETTINGS]\r",
        "[SETTINGS]\nport=COM3",
        "[settings]\r\n PORT = 'x' \r\n",
        "[A]\nport=1\n[SETTINGS]\n[B]\nport=2\n",
        "[SETTINGS]\nbaud=1\n[SETTINGS]\nport=2\n",
        "; only a comment",
        "x=1\ny=2\r",
        "[SETTINGS\nport=1\n",
        "[ SETTINGS ] trailing\n\n\n",
        "[]\n=\n[SETTINGS]]\nport",
    };
    for (const char* f : files)
        QTest::newRow(QByteArray(f).toPercentEncoding().constData()) << QByteArray(f);
}

void TestIniFile::editKeepsUntouchedLinesAndReadsBack() {
    QFETCH(QByteArray, content);
    const QByteArray values[] = {
        "COM4", "",         "/dev/ttyUSB0", "a b",   "\"", "'x", "=", "; not a comment",
        "[x]",  "\xC3\xBC", " padded ",     "\"q\"", "''"};
    for (const QByteArray& v : values) {
        const QByteArray edited = ini::edit(content, "SETTINGS", "port", v);
        QCOMPARE(ini::lookup(edited, "SETTINGS", "port"), v);
        QVERIFY2(onlyOneLineTouched(content, edited), edited.toPercentEncoding().constData());
        // Other settings stay as they read before.
        QCOMPARE(ini::lookup(edited, "A", "port"), ini::lookup(content, "A", "port"));
        QCOMPARE(ini::lookup(edited, "B", "port"), ini::lookup(content, "B", "port"));
        QCOMPARE(ini::lookup(edited, "SETTINGS", "baud"), ini::lookup(content, "SETTINGS", "baud"));
        // Editing again changes nothing more.
        QCOMPARE(ini::edit(edited, "SETTINGS", "port", v), edited);
    }
}

void TestIniFile::editOfJunkReadsBack() {
    QRandomGenerator rng(7);
    const QByteArray iniish("[]=;#\"' \t\r\n\0SETTINGSport\xEF\xBB\xBF", 27);
    const QByteArray valueChars("abc \t\"'=;#[]\x01\xFF");
    for (int round = 0; round < 3000; ++round) {
        const int size = int(rng.bounded(256));
        const QByteArray junk =
            round % 3 == 0 ? randomBytes(rng, size) : randomBytes(rng, size, iniish);
        const QByteArray value = randomBytes(rng, int(rng.bounded(8)), valueChars);
        const QByteArray edited = ini::edit(junk, "SETTINGS", "port", value);
        if (ini::lookup(edited, "SETTINGS", "port") != value || !onlyOneLineTouched(junk, edited)) {
            QFAIL(qPrintable(QStringLiteral("content %1 value %2 gave %3")
                                 .arg(QString::fromLatin1(junk.toPercentEncoding()),
                                      QString::fromLatin1(value.toPercentEncoding()),
                                      QString::fromLatin1(edited.toPercentEncoding()))));
        }
    }
}

void TestIniFile::editHandlesHugeLines() {
    const qsizetype tenMegabytes = 10 * 1024 * 1024;
    const QByteArray junkLine(tenMegabytes, 'j');
    const QByteArray content = junkLine + "\n[SETTINGS]\nport=" + junkLine + "\n" + junkLine;
    const QByteArray edited = ini::edit(content, "SETTINGS", "port", "COM4");
    QCOMPARE(edited, junkLine + "\n[SETTINGS]\nport=COM4\n" + junkLine);

    const QByteArray hugeValue(tenMegabytes, 'v');
    const QByteArray appended = ini::edit(junkLine, "SETTINGS", "port", hugeValue);
    QCOMPARE(appended, junkLine + "\n\n[SETTINGS]\nport=" + hugeValue + "\n");
    QCOMPARE(ini::lookup(appended, "SETTINGS", "port"), hugeValue);
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
