#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace {

// Makes this binary print programDirectory() and exit, for the symlink test.
const char kPrintDirectoryVariable[] = "TST_CONFIGURATION_PRINT_PROGRAM_DIRECTORY";

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// The error must name the path and give a reason after it.
bool namesPathAndReason(const QString& error, const QString& verb, const QString& path) {
    const QString prefix = QStringLiteral("Cannot %1 %2: ").arg(verb, path);
    return error.startsWith(prefix) && error.size() > prefix.size();
}

} // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void programDirectoryIsTheExecutablesDirectory();
    void programDirectoryCanBePointedElsewhere();
    void programDirectoryResolvesSymlinks();

    void readMissingFileIsEmpty();
    void readValue_data();
    void readValue();
    void readDirectoryIsEmpty();

    void writeCreatesMissingFile();
    void writeKeepsEveryOtherByte();
    void writeInsertsIntoExistingSection();
    void writeRoundTripsUtf8();
    void writeKeepsPermissions();
    void writeRefusesLineBreaksAndNul_data();
    void writeRefusesLineBreaksAndNul();
    void writeRefusesUnstorableKey();
    void writeIntoMissingDirectoryFails();
    void writeBelowARegularFileFails();
    void writeOverADirectoryFails();
    void writeInReadOnlyDirectoryKeepsOldFile();
    void writeCutShortKeepsOldFile_data();
    void writeCutShortKeepsOldFile();
};

void TestConfiguration::cleanup() {
    setProgramDirectoryForTesting(QString());
}

void TestConfiguration::programDirectoryIsTheExecutablesDirectory() {
    const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(programDirectory(), expected);
    QCOMPARE(configPath(), expected + QStringLiteral("/config.ini"));
}

void TestConfiguration::programDirectoryCanBePointedElsewhere() {
    const QString real = programDirectory();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    setProgramDirectoryForTesting(dir.path());
    QCOMPARE(programDirectory(), dir.path());
    QCOMPARE(configPath(), dir.path() + QStringLiteral("/config.ini"));
    setProgramDirectoryForTesting(QString());
    QCOMPARE(programDirectory(), real);
}

void TestConfiguration::programDirectoryResolvesSymlinks() {
    // Started through a link elsewhere, the program must still find the
    // config.ini beside the real binary.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("linked-test"));
    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), link));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kPrintDirectoryVariable), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.start(link, {});
    QVERIFY2(process.waitForFinished(60000), qPrintable(process.errorString()));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString printed = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    QCOMPARE(printed, QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
    QVERIFY(printed != QFileInfo(dir.path()).canonicalFilePath());
}

void TestConfiguration::readMissingFileIsEmpty() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QCOMPARE(readIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), path), QString());
    QVERIFY(!QFileInfo::exists(path));
}

void TestConfiguration::readValue_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("[SETTINGS]\nport=COM3\n") << QStringLiteral("COM3");
    QTest::newRow("other case, blanks, quotes")
        << QByteArray("[settings]\n  PORT = \"/dev/ttyUSB0\" \n") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("BOM and CRLF") << QByteArray("\xEF\xBB\xBF[SETTINGS]\r\nport=COM3\r\n")
                                  << QStringLiteral("COM3");
    QTest::newRow("missing section") << QByteArray("[OTHER]\nport=COM3\n") << QString();
    QTest::newRow("missing key") << QByteArray("[SETTINGS]\nbaud=1\n") << QString();

    const QByteArray ascii60(60, 'a');
    QTest::newRow("cut to 49") << "[SETTINGS]\nport=" + ascii60 + "\n"
                               << QString(49, QLatin1Char('a'));
    QTest::newRow("exactly 49 kept") << "[SETTINGS]\nport=" + QByteArray(49, 'b') + "\n"
                                     << QString(49, QLatin1Char('b'));
    QTest::newRow("50 cut") << "[SETTINGS]\nport=" + QByteArray(50, 'b') + "\n"
                            << QString(49, QLatin1Char('b'));
    QTest::newRow("cut after trimming quotes") << "[SETTINGS]\nport= \"" + ascii60 + "\" \n"
                                               << QString(49, QLatin1Char('a'));

    // Cut by characters, not bytes: each of these is two bytes of UTF-8.
    QByteArray umlauts;
    for (int i = 0; i < 60; ++i)
        umlauts += "\xC3\xBC";
    QTest::newRow("cut counts characters") << "[SETTINGS]\nport=" + umlauts + "\n"
                                           << QString(49, QChar(0x00FC));
    // A character outside the BMP takes two QChars; never keep half of it.
    QTest::newRow("no half surrogate")
        << "[SETTINGS]\nport=" + QByteArray(48, 'c') + "\xF0\x9F\x98\x80" + "\n"
        << QString(48, QLatin1Char('c'));
}

void TestConfiguration::readValue() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeBytes(path, content));
    QCOMPARE(readIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), path), expected);
}

void TestConfiguration::readDirectoryIsEmpty() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(QDir().mkdir(path));
    QCOMPARE(readIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), path), QString());
}

void TestConfiguration::writeCreatesMissingFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM3"), path);
    QVERIFY2(result, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(readBytes(path), QByteArray("[SETTINGS]\nport=COM3\n"));
    QCOMPARE(readIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), path),
             QStringLiteral("COM3"));
    // The temporary file used on the way is gone.
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeKeepsEveryOtherByte() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QByteArray before = "\xEF\xBB\xBF; written by hand\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "port=keep me\r\n"
                              "\r\n"
                              "[Settings]\r\n"
                              "  # a note\r\n"
                              "Port = COM1  \r\n"
                              "baud\t=9600\r\n"
                              "\r\n";
    QVERIFY(writeBytes(path, before));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM7"), path);
    QVERIFY2(result, qPrintable(result.error));
    QByteArray expected = before;
    expected.replace("Port = COM1  \r\n", "Port = COM7\r\n");
    QCOMPARE(readBytes(path), expected);
    QCOMPARE(readIniValue(QStringLiteral("Other"), QStringLiteral("port"), path),
             QStringLiteral("keep me"));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeInsertsIntoExistingSection() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeBytes(path, "[SETTINGS]\r\nbaud=9600\r\n\r\n[NEXT]\r\nx=1"));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM2"), path);
    QVERIFY2(result, qPrintable(result.error));
    QCOMPARE(readBytes(path),
             QByteArray("[SETTINGS]\r\nbaud=9600\r\nport=COM2\r\n\r\n[NEXT]\r\nx=1"));
}

void TestConfiguration::writeRoundTripsUtf8() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QString value = QStringLiteral("/dev/serial/by-id/usb-\u00DCber_\u20AC");
    const IniWriteResult result =
        writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), value, path);
    QVERIFY2(result, qPrintable(result.error));
    QCOMPARE(readBytes(path), "[SETTINGS]\nport=" + value.toUtf8() + "\n");
    QCOMPARE(readIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), path), value);
}

void TestConfiguration::writeKeepsPermissions() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeBytes(path, "[SETTINGS]\nport=COM1\n"));
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                    QFile::WriteUser | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM2"), path);
    QVERIFY2(result, qPrintable(result.error));
    QCOMPARE(QFile::permissions(path), mode);
}

void TestConfiguration::writeRefusesLineBreaksAndNul_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("LF") << QStringLiteral("COM3\n[EVIL]");
    QTest::newRow("CR") << QStringLiteral("COM3\rx");
    QTest::newRow("CRLF at end") << QStringLiteral("COM3\r\n");
    QTest::newRow("NUL") << QString(QStringLiteral("COM3") + QChar(0) + QStringLiteral("x"));
}

void TestConfiguration::writeRefusesLineBreaksAndNul() {
    QFETCH(QString, value);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QString missing = dir.filePath(QStringLiteral("missing.ini"));
    const QByteArray before("[SETTINGS]\nport=COM1\n");
    QVERIFY(writeBytes(path, before));

    IniWriteResult result =
        writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), value, path);
    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    // The reason points at the value, not at the file.
    QVERIFY2(result.error.contains(QStringLiteral("value")), qPrintable(result.error));
    QCOMPARE(readBytes(path), before);

    result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), value, missing);
    QVERIFY(!result);
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeRefusesUnstorableKey() {
    // A key holding '=' would be written where no read could ever find it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QByteArray before("[SETTINGS]\nport=COM1\n");
    QVERIFY(writeBytes(path, before));
    const IniWriteResult result =
        writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("a=b"), QStringLiteral("x"), path);
    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    QCOMPARE(readBytes(path), before);
}

void TestConfiguration::writeIntoMissingDirectoryFails() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("gone/config.ini"));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM3"), path);
    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    QVERIFY2(result.error.endsWith(qt_error_string(ENOENT)), qPrintable(result.error));
    QVERIFY(entries(dir.path()).isEmpty());
}

void TestConfiguration::writeBelowARegularFileFails() {
    // The "directory" is a file: no permission bits involved, so this fails
    // for root too.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString notADirectory = dir.filePath(QStringLiteral("plain"));
    QVERIFY(writeBytes(notADirectory, "data"));
    const QString path = notADirectory + QStringLiteral("/config.ini");
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM3"), path);
    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    QVERIFY2(result.error.endsWith(qt_error_string(ENOTDIR)), qPrintable(result.error));
    QCOMPARE(readBytes(notADirectory), QByteArray("data"));
}

void TestConfiguration::writeOverADirectoryFails() {
    // Something is there but cannot be read as a file: nothing may be written.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(QDir().mkdir(path));
    const IniWriteResult result = writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                                QStringLiteral("COM3"), path);
    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("read"), path),
             qPrintable(result.error));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(entries(path).isEmpty());
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeInReadOnlyDirectoryKeepsOldFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QByteArray before("[SETTINGS]\nport=COM1\n");
    QVERIFY(writeBytes(path, before));
    const QFile::Permissions writable = QFileInfo(dir.path()).permissions();
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser |
                                                  QFile::ExeUser));
    // Permission bits do not stop a privileged user (root): find out by trying.
    QFile probe(dir.filePath(QStringLiteral("probe")));
    const bool bitsIgnored = probe.open(QIODevice::WriteOnly);
    if (bitsIgnored) {
        probe.close();
        probe.remove();
    }

    const IniWriteResult result =
        bitsIgnored ? IniWriteResult{}
                    : writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"),
                                    QStringLiteral("COM2"), path);
    const QStringList left = entries(dir.path());
    QVERIFY(QFile::setPermissions(dir.path(), writable));
    if (bitsIgnored)
        QSKIP("This user can write into a read-only directory (root?); see "
              "writeCutShortKeepsOldFile");

    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    QVERIFY2(result.error.endsWith(qt_error_string(EACCES)), qPrintable(result.error));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(left, QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeCutShortKeepsOldFile_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("valueSize");
    // Larger than the file device's write buffer: fails in write().
    QTest::newRow("while writing") << 64 * 1024 << 256 * 1024;
    // Fits the write buffer: fails only when commit() flushes it.
    QTest::newRow("while committing") << 4 * 1024 << 12 * 1024;
}

void TestConfiguration::writeCutShortKeepsOldFile() {
    // A file size limit makes the write fail halfway, like a full disk, and
    // binds root as well. The old file must come through whole.
    QFETCH(int, limit);
    QFETCH(int, valueSize);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QByteArray before("[SETTINGS]\r\nport=COM1\r\n; keep\r\n");
    QVERIFY(writeBytes(path, before));
    const QString bigValue(valueSize, QLatin1Char('x'));

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit low = saved;
    low.rlim_cur = rlim_t(limit);
    if (saved.rlim_cur != RLIM_INFINITY && saved.rlim_cur < low.rlim_cur)
        QSKIP("The file size limit is already below what this test needs");
    // Past the limit the kernel sends SIGXFSZ, which would kill the test.
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &low) == 0;
    const IniWriteResult result =
        limited ? writeIniValue(QStringLiteral("SETTINGS"), QStringLiteral("port"), bigValue, path)
                : IniWriteResult{};
    const bool restored = setrlimit(RLIMIT_FSIZE, &saved) == 0;
    std::signal(SIGXFSZ, savedHandler);
    QVERIFY(restored);
    if (!limited)
        QSKIP("Cannot lower the file size limit here");

    QVERIFY(!result);
    QVERIFY2(namesPathAndReason(result.error, QStringLiteral("write"), path),
             qPrintable(result.error));
    QVERIFY2(result.error.endsWith(qt_error_string(EFBIG)), qPrintable(result.error));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kPrintDirectoryVariable)) {
        QTextStream(stdout) << programDirectory() << '\n';
        return 0;
    }
    TestConfiguration test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configuration.moc"
