#include "settings/configuration.h"
#include "support/files.h"

#include <QCoreApplication>
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
const QString S = QStringLiteral("SETTINGS");
const QString K = QStringLiteral("port");

} // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programDirectoryResolvesSymlinks();
    void read_data();
    void read();
    void write_data();
    void write();
    void writeFails_data();
    void writeFails();
};

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
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
             QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
}

void TestConfiguration::read_data() {
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("expected");
    const QByteArray prefix = "[SETTINGS]\nport=";
    QTest::newRow("missing file") << QByteArray() << QString();
    // Read whole, by characters: a cut path would name another device.
    QByteArray umlauts;
    for (int i = 0; i < 60; ++i)
        umlauts += "\xC3\xBC";
    QTest::newRow("long value read whole") << prefix + umlauts << QString(60, QChar(0x00FC));
}

void TestConfiguration::read() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    QCOMPARE(readIniValue(S, K, path), expected);
}

void TestConfiguration::write_data() {
    QTest::addColumn<QByteArray>("before"); // null: no file yet
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    const QString utf8 = QStringLiteral("/dev/serial/by-id/usb-\u00DCber_\u20AC");
    QTest::newRow("creates the file")
        << QByteArray() << utf8 << "[SETTINGS]\nport=" + utf8.toUtf8() + "\n";
    const QByteArray before = "\xEF\xBB\xBF; by hand\r\n\r\n[Other]\r\nport=keep me\r\n\r\n"
                              "[Settings]\r\n  # a note\r\nPort = COM1  \r\nbaud\t=9600\r\n\r\n";
    QTest::newRow("keeps every other byte")
        << before << QStringLiteral("COM7")
        << QByteArray(before).replace("Port = COM1  ", "Port = COM7");
}

void TestConfiguration::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!before.isNull())
        QVERIFY(writeFile(path, before));
    const IniWriteResult result = writeIniValue(S, K, value, path);
    QVERIFY2(result, qPrintable(result.error));
    QCOMPARE(readFile(path), after);
    QCOMPARE(readIniValue(S, K, path), value);
    // The temporary file used on the way is gone.
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("config.ini")});
}

void TestConfiguration::writeFails_data() {
    // In a directory holding config.ini and a regular file "plain".
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("reason");    // errno named at the end of the error, 0: any
    QTest::addColumn<int>("sizeLimit"); // RLIMIT_FSIZE while writing, 0: none
    const QString ini = QStringLiteral("config.ini");
    QTest::newRow("LF in value") << ini << K << QStringLiteral("COM3\n[EVIL]") << 0 << 0;
    QTest::newRow("CR in value, no file yet")
        << QStringLiteral("new.ini") << K << QStringLiteral("COM3\rx") << 0 << 0;
    QTest::newRow("NUL in value") << ini << K << QStringLiteral("COM3").append(QChar(0)) << 0 << 0;
    QTest::newRow("key holding '='")
        << ini << QStringLiteral("a=b") << QStringLiteral("x") << 0 << 0;
    QTest::newRow("missing directory")
        << QStringLiteral("gone/config.ini") << K << QStringLiteral("x") << ENOENT << 0;
    // A path under a regular file fails without any permission bits, so for root too.
    QTest::newRow("under a regular file")
        << QStringLiteral("plain/config.ini") << K << QStringLiteral("x") << ENOTDIR << 0;
    // A file size limit fails the write halfway like a full disk, and binds root as well.
    // Larger than the file device's write buffer, it fails in write(); smaller, in commit().
    QTest::newRow("disk full while writing")
        << ini << K << QString(256 * 1024, QLatin1Char('x')) << EFBIG << 64 * 1024;
    QTest::newRow("disk full while committing")
        << ini << K << QString(12 * 1024, QLatin1Char('x')) << EFBIG << 4 * 1024;
}

void TestConfiguration::writeFails() {
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, reason);
    QFETCH(int, sizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray before("[SETTINGS]\r\nport=COM1\r\n; keep\r\n");
    QVERIFY(writeFile(dir.filePath(QStringLiteral("config.ini")), before));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), "data"));
    const QString path = dir.filePath(file);

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit low = saved;
    low.rlim_cur = rlim_t(sizeLimit);
    // Past the limit the kernel sends SIGXFSZ, which would kill the test.
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const bool limited = sizeLimit == 0 || setrlimit(RLIMIT_FSIZE, &low) == 0;
    const IniWriteResult result = limited ? writeIniValue(S, key, value, path) : IniWriteResult{};
    const bool restored = sizeLimit == 0 || setrlimit(RLIMIT_FSIZE, &saved) == 0;
    std::signal(SIGXFSZ, savedHandler);
    QVERIFY(restored);
    if (!limited)
        QSKIP("Cannot set the file size limit here");

    QVERIFY(!result);
    // The error names the path and gives a reason after it.
    const QString prefix = QStringLiteral("Cannot write %1: ").arg(path);
    QVERIFY2(result.error.startsWith(prefix) && result.error.size() > prefix.size(),
             qPrintable(result.error));
    if (reason != 0)
        QVERIFY2(result.error.endsWith(qt_error_string(reason)), qPrintable(result.error));
    // Nothing else changed, and nothing was left behind.
    QCOMPARE(readFile(dir.filePath(QStringLiteral("config.ini"))), before);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("plain"))), QByteArray("data"));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("config.ini"), QStringLiteral("plain")}));
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
