// config.ini as hostile hands leave it: values are read whole, and anything
// that is not a sane regular file is refused by name, on reading and on saving.
#include "settings/configuration.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString S = QStringLiteral("SETTINGS");
const QString K = QStringLiteral("port");

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What path is: its type and link target or content, to prove it untouched.
QString stateOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    QFile f(path);
    const QByteArray content =
        S_ISREG(st.st_mode) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    return QStringLiteral("%1 %2 %3")
        .arg(st.st_mode)
        .arg(QFile::symLinkTarget(path))
        .arg(QString::fromLatin1(content.toHex()));
}

} // namespace

class TestSettingFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void longPathSurvivesSaveRestartAndSecondSave() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config.ini"));
        const QString byId =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        QCOMPARE(byId.size(), 62);
        QVERIFY(writeIniValue(S, K, byId, path));
        QString error;
        const QString afterRestart = readIniValue(S, K, path, &error);
        QCOMPARE(afterRestart, byId);
        QVERIFY(error.isEmpty());
        // The panel is pre-filled with what was read; Save writes it back.
        QVERIFY(writeIniValue(S, K, afterRestart, path));
        QCOMPARE(readIniValue(S, K, path), byId);
    }

    void unusableFileIsNamedAndLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("endless device") << "zero"
                                        << "it is a character device, not a file";
        QTest::newRow("FIFO") << "fifo"
                              << "it is a FIFO, not a file";
        QTest::newRow("directory") << "dir"
                                   << "it is a directory, not a file";
        QTest::newRow("dangling link") << "dangling"
                                       << "it is a symbolic link to nothing";
        QTest::newRow("looping link") << "loop"
                                      << "it is a loop of symbolic links";
        QTest::newRow("UTF-16") << "utf16"
                                << "it is UTF-16 text; save it as UTF-8";
        QTest::newRow("over 1 MiB") << "huge"
                                    << "it is larger than 1048576 bytes";
        // A regular file: Save replaces the value and so mends it.
        QTest::newRow("value over 4096 bytes")
            << "longvalue"
            << "the value of port in [SETTINGS] is longer than 4096 bytes";
        QTest::newRow("unreadable") << "unreadable"
                                    << "Permission denied";
    }

    void unusableFileIsNamedAndLeftAlone() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        if (kind == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("root reads any file: no permission error to see");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config.ini"));
        const QByteArray name = QFile::encodeName(path);
        const QByteArray prefix = "[SETTINGS]\nport=";
        bool made = true;
        if (kind == QLatin1String("zero"))
            made = QFile::link(QStringLiteral("/dev/zero"), path);
        else if (kind == QLatin1String("fifo"))
            made = ::mkfifo(name.constData(), 0644) == 0;
        else if (kind == QLatin1String("dir"))
            made = QDir().mkdir(path);
        else if (kind == QLatin1String("dangling"))
            made = QFile::link(dir.filePath(QStringLiteral("gone")), path);
        else if (kind == QLatin1String("loop"))
            made = ::symlink("config.ini", name.constData()) == 0;
        else if (kind == QLatin1String("utf16"))
            made = writeBytes(path, QByteArray("\xFF\xFE[\0S\0]\0", 8));
        else if (kind == QLatin1String("huge"))
            made = writeBytes(path, prefix + "/dev/ttyS0\n" + QByteArray(1024 * 1024, ';'));
        else if (kind == QLatin1String("longvalue"))
            made = writeBytes(path, prefix + QByteArray(4097, 'a') + '\n');
        else if (kind == QLatin1String("unreadable"))
            made = writeBytes(path, prefix + "/dev/ttyS0\n") && ::chmod(name.constData(), 0) == 0;
        QVERIFY(made);
        const QString before = stateOf(path);

        QString error;
        QCOMPARE(readIniValue(S, K, path, &error), QString());
        QVERIFY2(error.startsWith(QStringLiteral("Cannot use the settings file ") + path),
                 qPrintable(error));
        QVERIFY2(error.endsWith(reason), qPrintable(error));

        const IniWriteResult written = writeIniValue(S, K, QStringLiteral("/dev/ttyUSB0"), path);
        if (kind == QLatin1String("longvalue")) {
            QVERIFY(written);
            QCOMPARE(readIniValue(S, K, path), QStringLiteral("/dev/ttyUSB0"));
            return;
        }
        QVERIFY(!written);
        QCOMPARE(written.error, error);
        QCOMPARE(stateOf(path), before);
    }
};

QTEST_GUILESS_MAIN(TestSettingFaults)
#include "tst_settingfaults.moc"
