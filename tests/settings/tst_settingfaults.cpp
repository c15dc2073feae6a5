// config.ini as hostile hands leave it: values are read whole, and anything
// that is not a sane regular file is refused by name, on reading and on saving.
#include "settings/configuration.h"
#include "support/files.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

class TestSettingFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unusableFileIsNamedAndLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray port = "[SETTINGS]\nport=/dev/ttyS0\n";
        auto row = [](const char* name, const char* kind, const QByteArray& content,
                      const char* reason) { QTest::newRow(name) << kind << content << reason; };
        row("endless device", "zero", {}, "it is a character device, not a file");
        row("FIFO", "fifo", {}, "it is a FIFO, not a file");
        row("directory", "dir", {}, "it is a directory, not a file");
        row("dangling link", "dangling", {}, "it is a symbolic link to nothing");
        row("looping link", "loop", {}, "it is a loop of symbolic links");
        row("UTF-16", "file", QByteArray("\xFF\xFE[\0S\0]\0", 8),
            "it is UTF-16 text; save it as UTF-8");
        row("over 1 MiB", "file", port + QByteArray(1024 * 1024, ';'),
            "it is larger than 1048576 bytes");
        row("unreadable", "unreadable", port, "Permission denied");
        // A regular file: Save replaces the value and so mends it.
        row("value over 4096 bytes", "mendable", "[SETTINGS]\nport=" + QByteArray(4097, 'a') + '\n',
            "the value of port in [SETTINGS] is longer than 4096 bytes");
    }

    void unusableFileIsNamedAndLeftAlone() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        if (kind == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("root reads any file: no permission error to see");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config.ini"));
        const QByteArray name = QFile::encodeName(path);
        const QString S = QStringLiteral("SETTINGS"), K = QStringLiteral("port");
        bool made = true;
        if (kind == QLatin1String("zero")) {
            // As root, a node of our own: a Save that wrongly replaced the
            // link's target must never reach the machine's /dev/zero.
            const QString zero = dir.filePath(QStringLiteral("zero"));
            made = ::geteuid() != 0 ||
                   ::mknod(QFile::encodeName(zero).constData(), S_IFCHR | 0666, makedev(1, 5)) == 0;
            made = made && QFile::link(::geteuid() ? QStringLiteral("/dev/zero") : zero, path);
        } else if (kind == QLatin1String("fifo"))
            made = ::mkfifo(name.constData(), 0644) == 0;
        else if (kind == QLatin1String("dir"))
            made = QDir().mkdir(path);
        else if (kind == QLatin1String("dangling"))
            made = QFile::link(dir.filePath(QStringLiteral("gone")), path);
        else if (kind == QLatin1String("loop"))
            made = ::symlink("config.ini", name.constData()) == 0;
        else
            made = writeFile(path, content) &&
                   (kind != QLatin1String("unreadable") || ::chmod(name.constData(), 0) == 0);
        QVERIFY(made);
        auto state = [&] {
            const QByteArray bytes = QFileInfo(path).isFile() ? readFile(path) : QByteArray();
            return entries(dir.path()) << QFile::symLinkTarget(path) << bytes.toHex();
        };
        const QStringList before = state();

        QString error;
        QCOMPARE(readIniValue(S, K, path, &error), QString());
        QCOMPARE(error, QStringLiteral("Cannot use the settings file %1: ").arg(path) + reason);

        // The 62 characters of a by-id path come back whole, after a restart
        // and a second Save of what the panel was filled with.
        const QString byId =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        const IniWriteResult written = writeIniValue(S, K, byId, path);
        if (kind == QLatin1String("mendable")) {
            QString none;
            const QString afterRestart = readIniValue(S, K, path, &none);
            QVERIFY(written && none.isEmpty());
            QVERIFY(writeIniValue(S, K, afterRestart, path));
            QCOMPARE(readIniValue(S, K, path), byId);
            return;
        }
        QVERIFY(!written);
        QCOMPARE(written.error, error);
        QCOMPARE(state(), before);
    }
};

QTEST_GUILESS_MAIN(TestSettingFaults)
#include "tst_settingfaults.moc"
