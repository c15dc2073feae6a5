// The session log: every line in the file of its day with its time, and when
// the disk fills or the file is not what it should be, every line whole or not
// at all, gaps noted, nothing written through a link.
#include "session/mainsession.h"
#include "session/stampedline.h"
#include "support/files.h"
#include "support/filesizelimit.h"
#include "support/monitorlines.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A session that sends two keys with no port: the lines its monitor shows.
QList<QByteArray> twoKeysWithoutAPort() {
    MainSession s;
    s.sendKeyCode(0);
    s.sendKeyCode(1);
    QCoreApplication::processEvents();
    return lines(s.monitor());
}

} // namespace

class TestLogFaults : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", m_dir->path().toUtf8());
    }

    void linesGoToTheFileOfTheirDayWithTheirTime() {
        // The last line of a day and the first of the next, in local time.
        const qint64 midnight = QDateTime(QDate(2031, 1, 16), QTime(0, 0)).toMSecsSinceEpoch();
        SessionLog log;
        log.append(midnight - 1, "Key: 1 - 0B 00 02 50 5D");
        log.append(midnight, QByteArray("Reply: 0B \x00\\n\r\n", 15));
        // Written once per turn of the event loop, not held until the end.
        QCoreApplication::processEvents();
        const QString folder = m_dir->path() + QStringLiteral("/orv-test/");
        QCOMPARE(SessionLog::pathFor(QDate(2031, 1, 15)), folder + "2031-01-15.log");
        QCOMPARE(readFile(folder + "2031-01-15.log"),
                 QByteArray("2031-01-15 23:59:59.999  Key: 1 - 0B 00 02 50 5D\n"));
        QCOMPARE(readFile(folder + "2031-01-16.log"),
                 QByteArray("2031-01-16 00:00:00.000  Reply: 0B \\x00\\\\n\\r\\n\n"));
    }

    void fullDiskTearsNoLineAndLeavesAGapLine() {
        MainSession s;
        const MonitorModel& m = s.monitor();
        s.sendKeyCode(0); // no port: a "Not sent" line
        QCoreApplication::processEvents();
        const QString path = SessionLog::pathFor(QDate::currentDate());
        // Room for part of the first line of a batch of three.
        FileSizeLimit limit(rlim_t(QFileInfo(path).size() + 30));
        if (!limit.set)
            QSKIP("Cannot set a file size limit here");
        for (qint16 key : {1, 2, 3})
            s.sendKeyCode(key);
        QCoreApplication::processEvents();
        // Still full: these two, and the monitor's report, go unlogged.
        s.sendKeyCode(4);
        s.sendKeyCode(5);
        QCoreApplication::processEvents();
        QVERIFY(limit.lift());
        s.sendKeyCode(6);
        QCoreApplication::processEvents();

        QCOMPARE(m.count(), 8); // seven keys and one report of the failure
        const QList<QByteArray> lines = readFile(path).split('\n');
        auto logged = [&](int i) {
            return stampedLine(m.at(i).msecsSinceEpoch, m.line(i)).toUtf8();
        };
        QCOMPARE(lines.size(), 7); // six lines and the empty rest after the last
        QCOMPARE(lines.first(4), (QList<QByteArray>{logged(0), logged(1), logged(2), logged(3)}));
        QCOMPARE(lines[4].mid(23), QByteArray("  (3 lines not logged: File too large)"));
        QCOMPARE(lines[5], logged(m.count() - 1));
    }

    void logThatIsNoPlainFileOfOursIsRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const char* kind, const char* reason) {
            QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(reason);
        };
        row("symbolic link", "link", "it is a symbolic link");
        row("FIFO", "fifo", "it is not a regular file");
        row("another user's file", "foreign", "it belongs to another user");
        row("a file in the folder's place", "folder",
            "cannot create its folder DIR: Not a directory");
        // The folder may be a link (logs on another disk), but to a folder of the user's own.
        row("a link to another user's folder", "foreign folder",
            "the folder DIR (a link to REAL) belongs to another user");
    }

    void logThatIsNoPlainFileOfOursIsRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = SessionLog::pathFor(QDate::currentDate());
        const QByteArray name = QFile::encodeName(path);
        const QString target = m_dir->filePath("elsewhere");
        const QString real = m_dir->filePath("disk");
        const QByteArray realName = QFile::encodeName(real);
        QVERIFY(QDir().mkpath(SessionLog::directory()) && writeFile(target, {}) &&
                QFile::setPermissions(SessionLog::directory(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (kind == "link")
            QVERIFY(QFile::link(target, path));
        else if (kind == "fifo")
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        else if (kind == "folder")
            QVERIFY(QDir(SessionLog::directory()).removeRecursively() &&
                    writeFile(SessionLog::directory(), {}));
        else if (kind == "foreign folder") {
            QVERIFY(QDir(SessionLog::directory()).removeRecursively() && QDir().mkpath(real) &&
                    ::chmod(realName.constData(), 0777) == 0);
            if (::chown(realName.constData(), 65534, 65534) != 0)
                QSKIP("Cannot give a folder to another user here (not root)");
            QVERIFY(QFile::link(real, SessionLog::directory()));
        } else if (!writeFile(path, {}) || ::chown(name.constData(), 65534, 65534) != 0)
            QSKIP("Cannot give a file to another user here (not root)");
        const QString expected =
            QStringLiteral("Error: Cannot write the session log %1: %2")
                .arg(path, reason.replace("DIR", SessionLog::directory()).replace("REAL", real));
        const QFile::Permissions folderMode = QFileInfo(SessionLog::directory()).permissions();
        for (int session = 0; session < 2; ++session) { // each session says it, once
            const QList<QByteArray> said = twoKeysWithoutAPort();
            QCOMPARE(said.size(), 3);
            QCOMPARE(QString::fromUtf8(said[1]), expected);
        }
        QCOMPARE(readFile(target), QByteArray());
        QCOMPARE(QFileInfo(path).size(), 0);
        QCOMPARE(QFileInfo(SessionLog::directory()).permissions(), folderMode);
    }

    // The folder may be a link (logs on another disk): one open to others is
    // closed, and that said once.
    void logFolderMayBeALinkToAFolderOfOurOwn() {
        const QString real = m_dir->filePath("disk");
        QVERIFY(QDir().mkpath(real) && ::chmod(QFile::encodeName(real).constData(), 0777) == 0);
        QVERIFY(QFile::link(real, SessionLog::directory()));
        const QByteArray said = QStringLiteral("Error: Session log: the folder %1 (a link to %2) "
                                               "is open to others (mode 0777): closed to them "
                                               "now (mode 0700)")
                                    .arg(SessionLog::directory(), real)
                                    .toUtf8();
        QCOMPARE(twoKeysWithoutAPort().count(said), 1);
        QCOMPARE(twoKeysWithoutAPort().count(said), 0);
        QCOMPARE((QFileInfo(real).permissions() & 0x0077).toInt(), 0);
        QVERIFY(QFileInfo::exists(real + "/" +
                                  SessionLog::pathFor(QDate::currentDate()).section('/', -1)));
    }

    void logIsTheOwnersOnly() {
        // Folders made owner-only, parents too; an older, open folder and file are closed.
        qputenv("XDG_STATE_HOME", m_dir->filePath("made/state").toUtf8());
        for (int opened : {0, 1}) {
            if (opened)
                QVERIFY(
                    QFile::setPermissions(SessionLog::directory(), QFile::Permissions(0x7755)) &&
                    QFile::setPermissions(SessionLog::pathFor(QDate::currentDate()),
                                          QFile::Permissions(0x6644)));
            twoKeysWithoutAPort();
            for (const QString& path : {m_dir->filePath("made"), SessionLog::directory(),
                                        SessionLog::pathFor(QDate::currentDate())})
                QVERIFY2(!(QFileInfo(path).permissions() & 0x0077), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
