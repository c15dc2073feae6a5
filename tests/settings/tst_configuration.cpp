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
const QByteArray before = "\xEF\xBB\xBF; by hand\r\n\r\n[Other]\r\nport=keep me\r\n\r\n"
                          "[Settings]\r\n  # a note\r\nPort = COM1  \r\nbaud\t=9600\r\n\r\n";

} // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programDirectoryResolvesSymlinks();
    void read_data();
    void read();
    void write_data();
    void write();
};

void TestConfiguration::programDirectoryResolvesSymlinks() {
    // Started through a link elsewhere, the program must still find the
    // config.ini beside the real binary.
    QTemporaryDir dir;
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
    // In a folder holding config.ini as `before` below and a regular file "plain".
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("sizeLimit");    // RLIMIT_FSIZE while writing, 0: none
    QTest::addColumn<QByteArray>("after"); // null: the write fails and changes nothing
    QTest::addColumn<int>("reason");       // errno named at the end of the error, 0: any
    const QString ini = QStringLiteral("config.ini"),
                  utf8 = QStringLiteral("/dev/by-id/\u00DC\u20AC");
    QTest::newRow("creates the file")
        << QStringLiteral("new.ini") << K << utf8 << 0 << "[SETTINGS]\nport=" + utf8.toUtf8() + "\n"
        << 0;
    QTest::newRow("keeps every other byte")
        << ini << K << QStringLiteral("COM7") << 0
        << QByteArray(before).replace("Port = COM1  ", "Port = COM7") << 0;
    QTest::newRow("line break in value, no file yet")
        << QStringLiteral("new.ini") << K << QStringLiteral("COM3\n[EVIL]") << 0 << QByteArray()
        << 0;
    QTest::newRow("key holding '='")
        << ini << QStringLiteral("a=b") << QStringLiteral("x") << 0 << QByteArray() << 0;
    // A path under a regular file fails without any permission bits, so for root too.
    QTest::newRow("under a regular file") << QStringLiteral("plain/config.ini") << K
                                          << QStringLiteral("x") << 0 << QByteArray() << ENOTDIR;
    // A file size limit fails the write halfway like a full disk, and binds root as well.
    // Larger than the file device's write buffer, it fails in write(); smaller, in commit().
    QTest::newRow("disk full while writing")
        << ini << K << QString(256 * 1024, QLatin1Char('x')) << 64 * 1024 << QByteArray() << EFBIG;
    QTest::newRow("disk full while committing")
        << ini << K << QString(12 * 1024, QLatin1Char('x')) << 4 * 1024 << QByteArray() << EFBIG;
}

void TestConfiguration::write() {
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, sizeLimit);
    QFETCH(QByteArray, after);
    QFETCH(int, reason);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("config.ini")), before));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), "data"));
    const QString path = dir.filePath(file);
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const rlimit low{rlim_t(sizeLimit ? sizeLimit : saved.rlim_cur), saved.rlim_max};
    // Past the limit the kernel sends SIGXFSZ, which would kill the test.
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &low) == 0;
    const IniWriteResult result = writeIniValue(S, key, value, path);
    const bool restored = setrlimit(RLIMIT_FSIZE, &saved) == 0;
    std::signal(SIGXFSZ, savedHandler);
    QVERIFY(limited && restored);
    QStringList files{QStringLiteral("config.ini"), QStringLiteral("plain")};
    if (!after.isNull()) {
        QVERIFY2(result, qPrintable(result.error));
        QCOMPARE(readFile(path), after);
        files << file;
    } else {
        QVERIFY(!result);
        const QString prefix = QStringLiteral("Cannot write %1: ").arg(path);
        QVERIFY2(result.error.startsWith(prefix) && result.error.size() > prefix.size() &&
                     (!reason || result.error.endsWith(qt_error_string(reason))),
                 qPrintable(result.error));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("config.ini"))), before);
    }
    // Nothing else was left behind, the temporary file on the way included.
    files.removeDuplicates();
    files.sort();
    QCOMPARE(entries(dir.path()), files);
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
