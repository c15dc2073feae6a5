#include "settings/configuration.h"
#include "support/files.h"

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
    void programDirectoryResolvesSymlinks() {
        // Started through a link elsewhere, the program must still find the
        // config.ini beside the real binary.
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("linked-test"));
        QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), link));
        qputenv(kPrintDirectoryVariable, "1");
        QProcess process;
        process.start(link, {});
        qunsetenv(kPrintDirectoryVariable);
        QVERIFY2(process.waitForFinished(60000), qPrintable(process.errorString()));
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                 QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
    }

    void write_data() {
        // In a folder holding only config.ini as `before`.
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after"); // null: the write fails and changes nothing
        QTest::addColumn<int>("reason");       // errno named at the end of the error
        const auto row = [](const char* name, const QString& file, const QString& value,
                            const QByteArray& after, int reason = 0) {
            QTest::newRow(name) << file << value << after << reason;
        };
        // Written and read back whole, by characters: a cut path names another device.
        const QString utf8 = QStringLiteral("/dev/by-id/") + QString(60, QChar(0x00FC));
        row("creates the file, UTF-8 read back whole", QStringLiteral("new.ini"), utf8,
            "[SETTINGS]\nport=" + utf8.toUtf8() + "\n");
        row("keeps every other byte", QStringLiteral("config.ini"), QStringLiteral("COM7"),
            QByteArray(before).replace("Port = COM1  ", "Port = COM7"));
        // A path under a regular file fails without any permission bits, so for root too.
        row("under a regular file", QStringLiteral("config.ini/x.ini"), QStringLiteral("x"), {},
            ENOTDIR);
        // A file size limit fails the write halfway like a full disk, and binds root as well.
        row("disk full", QStringLiteral("config.ini"), QString(256 * 1024, QLatin1Char('x')), {},
            EFBIG);
    }

    void write() {
        QFETCH(QString, file);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        QFETCH(int, reason);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("config.ini")), before));
        const QString path = dir.filePath(file);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit low{reason == EFBIG ? 64 * 1024 : saved.rlim_cur, saved.rlim_max};
        // Past the limit the kernel sends SIGXFSZ, which would kill the test.
        std::signal(SIGXFSZ, SIG_IGN);
        const bool limited = setrlimit(RLIMIT_FSIZE, &low) == 0;
        const IniWriteResult result = writeIniValue(S, K, value, path);
        const bool restored = setrlimit(RLIMIT_FSIZE, &saved) == 0;
        QVERIFY(limited && restored);
        if (!after.isNull()) {
            QVERIFY2(result, qPrintable(result.error));
            QCOMPARE(readFile(path), after);
            QCOMPARE(readIniValue(S, K, path), value);
        } else {
            QCOMPARE(result.error,
                     QStringLiteral("Cannot write %1: %2").arg(path, qt_error_string(reason)));
            QCOMPARE(readFile(dir.filePath(QStringLiteral("config.ini"))), before);
        }
        // Nothing else was left behind, the temporary file on the way included.
        QCOMPARE(entries(dir.path()).size(), file == QLatin1String("new.ini") ? 2 : 1);
    }
};

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
