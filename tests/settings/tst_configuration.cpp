// config.ini read and written: every other byte kept, values read whole, and
// anything that is not a sane regular file refused by name, on reading and on
// saving, leaving it as it was.
#include "settings/configuration.h"
#include "support/files.h"
#include "support/filesizelimit.h"

#include <QtTest>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString S = QStringLiteral("SETTINGS");
const QString K = QStringLiteral("port");
const QByteArray before = "\xEF\xBB\xBF; by hand\r\n\r\n[Other]\r\nport=keep me\r\n\r\n"
                          "[Settings]\r\n  # a note\r\nPort = COM1  \r\nbaud\t=9600\r\n\r\n";

} // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        const QByteArray com7 = QByteArray(before).replace("Port = COM1  ", "Port = COM7");
        // Written and read back whole, by characters: a cut path names another device.
        const QString utf8 = QStringLiteral("/dev/by-id/") + QString(60, QChar(0x00FC));
        row("creates the file, UTF-8 read back whole", "new.ini", utf8,
            "[SETTINGS]\nport=" + utf8.toUtf8() + "\n");
        row("keeps every other byte", "config.ini", "COM7", com7);
        // A path under a regular file fails without any permission bits, so for root too.
        row("under a regular file", "config.ini/x.ini", "x", {}, ENOTDIR);
        // A file size limit fails the write halfway like a full disk, and binds root as well.
        row("disk full", "config.ini", QString(256 * 1024, QLatin1Char('x')), {}, EFBIG);
        // Dotfile managers keep it as a link to the user's own file: written through it.
        row("through a link to the user's own file", "link.ini", "COM7", com7);
    }

    void write() {
        QFETCH(QString, file);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        QFETCH(int, reason);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("config.ini"), before));
        const QString path = dir.filePath(file);
        if (file == "link.ini")
            QVERIFY(QFile::link("config.ini", path));
        std::optional<FileSizeLimit> limit;
        if (reason == EFBIG)
            QVERIFY(limit.emplace(64 * 1024).set);
        const IniWriteResult result = writeIniValue(S, K, value, path);
        QVERIFY(!limit || limit->lift());
        if (!after.isNull()) {
            QVERIFY2(result, qPrintable(result.error));
            QCOMPARE(readFile(path), after);
            QCOMPARE(readIniValue(S, K, path), value);
        } else {
            QVERIFY2(result.error.startsWith("Cannot ") &&
                         result.error.contains(path + ": " + qt_error_string(reason)),
                     qPrintable(result.error));
            QCOMPARE(readFile(dir.filePath("config.ini")), before);
        }
        // The link is still a link; a file made new is the owner's only.
        QCOMPARE(QFileInfo(path).isSymLink(), file == "link.ini");
        if (file == "new.ini")
            QCOMPARE((QFileInfo(path).permissions() & 0x0077).toInt(), 0);
        // Nothing else was left behind, the temporary file on the way included.
        QCOMPARE(entries(dir.path()).size(),
                 file.endsWith("new.ini") || file == "link.ini" ? 2 : 1);
    }

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
        if (kind == "unreadable" && ::geteuid() == 0)
            QSKIP("root reads any file: no permission error to see");
        QTemporaryDir dir;
        const QString path = dir.filePath("config.ini");
        const QByteArray name = QFile::encodeName(path);
        bool made = true;
        if (kind == "zero") {
            // As root, a node of our own: a Save that wrongly replaced the
            // link's target must never reach the machine's /dev/zero.
            const QString zero = dir.filePath("zero");
            made = ::geteuid() != 0 ||
                   ::mknod(QFile::encodeName(zero).constData(), S_IFCHR | 0666, makedev(1, 5)) == 0;
            made = made && QFile::link(::geteuid() ? QStringLiteral("/dev/zero") : zero, path);
        } else if (kind == "fifo")
            made = ::mkfifo(name.constData(), 0644) == 0;
        else if (kind == "dir")
            made = QDir().mkdir(path);
        else if (kind == "dangling")
            made = QFile::link(dir.filePath("gone"), path);
        else if (kind == "loop")
            made = ::symlink("config.ini", name.constData()) == 0;
        else
            made = writeFile(path, content) &&
                   (kind != "unreadable" || ::chmod(name.constData(), 0) == 0);
        QVERIFY(made);
        auto state = [&] {
            const QByteArray bytes = QFileInfo(path).isFile() ? readFile(path) : QByteArray();
            return entries(dir.path()) << QFile::symLinkTarget(path) << bytes.toHex();
        };
        const QStringList before = state();

        QString error;
        QCOMPARE(readIniValue(S, K, path, &error), QString());
        QCOMPARE(error, QStringLiteral("Cannot use the settings file %1: ").arg(path) + reason);
        const IniWriteResult written = writeIniValue(S, K, "COM7", path);
        if (kind == "mendable") {
            QVERIFY2(written, qPrintable(written.error));
            QCOMPARE(readIniValue(S, K, path, &error), "COM7");
            QCOMPARE(error, QString());
            return;
        }
        QVERIFY(!written);
        QCOMPARE(written.error, error);
        QCOMPARE(state(), before);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
