// The session log: every line in the file of its day with its time, and when
// the disk fills or the file is not what it should be, every line whole or not
// at all, gaps noted, nothing written through a link.
#include "session/mainsession.h"
#include "session/stampedline.h"
#include "support/files.h"
#include "support/filesizelimit.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
        QCOMPARE(SessionLog::pathFor(QDate(2031, 1, 15)),
                 folder + QStringLiteral("2031-01-15.log"));
        QCOMPARE(readFile(folder + QStringLiteral("2031-01-15.log")),
                 QByteArray("2031-01-15 23:59:59.999  Key: 1 - 0B 00 02 50 5D\n"));
        QCOMPARE(readFile(folder + QStringLiteral("2031-01-16.log")),
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
        QTest::newRow("symbolic link") << "link"
                                       << "it is a symbolic link";
        QTest::newRow("FIFO") << "fifo"
                              << "it is not a regular file";
        QTest::newRow("another user's file") << "foreign"
                                             << "it belongs to another user";
        QTest::newRow("a file in the folder's place")
            << "folder"
            << "cannot create its folder DIR: Not a directory";
    }

    void logThatIsNoPlainFileOfOursIsRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = SessionLog::pathFor(QDate::currentDate());
        const QByteArray name = QFile::encodeName(path);
        const QString target = m_dir->filePath("elsewhere");
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
        else if (!writeFile(path, {}) || ::chown(name.constData(), 65534, 65534) != 0)
            QSKIP("Cannot give a file to another user here (not root)");
        MainSession s;
        s.sendKeyCode(0);
        s.sendKeyCode(1);
        QCoreApplication::processEvents();
        QCOMPARE(s.monitor().count(), 3);
        QCOMPARE(QString::fromUtf8(s.monitor().line(1)),
                 QStringLiteral("Error: Cannot write the session log %1: %2")
                     .arg(path, reason.replace("DIR", SessionLog::directory())));
        QCOMPARE(readFile(target), QByteArray());
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    // The folder may be a link (logs on another disk), to a folder that is
    // the user's own and closed to others.
    void logFolderMayBeALinkToAFolderOfOurOwn_data() {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("said"); // the monitor's line after the first key's
        QTest::addColumn<bool>("logged");
        QTest::newRow("ours, open: closed up and said once")
            << ""
            << "Error: Session log: the folder DIR (a link to REAL) is open to others "
               "(mode 0777): closed to them now (mode 0700)"
            << true;
        QTest::newRow("another user's: not used, said why")
            << "nobody"
            << "Error: Cannot write the session log LOG: the folder DIR (a link to "
               "REAL) belongs to another user"
            << false;
    }
    void logFolderMayBeALinkToAFolderOfOurOwn() {
        QFETCH(QString, owner);
        QFETCH(QString, said);
        QFETCH(bool, logged);
        const QString real = m_dir->filePath("disk");
        const QByteArray realName = QFile::encodeName(real);
        QVERIFY(QDir().mkpath(real) && ::chmod(realName.constData(), 0777) == 0);
        if (!owner.isEmpty() && ::chown(realName.constData(), 65534, 65534) != 0)
            QSKIP("Cannot give a folder to another user here (not root)");
        QVERIFY(QFile::link(real, SessionLog::directory()));
        const QString log = SessionLog::pathFor(QDate::currentDate());
        for (int session = 0; session < 2; ++session) {
            MainSession s;
            s.sendKeyCode(0);
            s.sendKeyCode(1);
            QCoreApplication::processEvents();
            QList<QByteArray> lines; // every row: a session with nothing to say has two
            for (int row = 0; row < s.monitor().count(); ++row)
                lines << s.monitor().line(row);
            QCOMPARE(lines.count(said.replace("DIR", SessionLog::directory())
                                     .replace("REAL", real)
                                     .replace("LOG", log)
                                     .toUtf8()),
                     session == 0 || !logged ? 1 : 0);
        }
        QCOMPARE((QFileInfo(real).permissions() & 0x0077).toInt(), owner.isEmpty() ? 0 : 0x0077);
        QCOMPARE(QFileInfo::exists(real + "/" + QFileInfo(log).fileName()), logged);
    }

    void logIsTheOwnersOnly() {
        // Folders made owner-only, parents too; an older, open folder and file are closed.
        qputenv("XDG_STATE_HOME", m_dir->filePath("made/state").toUtf8());
        const QFile::Permissions others = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::ExeOther | QFile::WriteGroup | QFile::WriteOther;
        for (int opened : {0, 1}) {
            if (opened)
                QVERIFY(
                    QFile::setPermissions(SessionLog::directory(), QFile::Permissions(0x7755)) &&
                    QFile::setPermissions(SessionLog::pathFor(QDate::currentDate()),
                                          QFile::Permissions(0x6644)));
            MainSession s;
            s.sendKeyCode(0);
            QCoreApplication::processEvents();
            for (const QString& path : {m_dir->filePath("made"), SessionLog::directory(),
                                        SessionLog::pathFor(QDate::currentDate())})
                QVERIFY2(!(QFileInfo(path).permissions() & others), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
