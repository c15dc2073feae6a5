// The session log when its disk fills or its file is not what it should be:
// every line whole or not at all, gaps noted, nothing written through a link.
#include "session/mainsession.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int errorLines(const MonitorModel& m) {
    int n = 0;
    for (int i = 0; i < m.count(); ++i)
        n += m.line(i).startsWith("Error: Cannot write the session log ");
    return n;
}

// A file size limit fails writes like a full disk does, without a mount.
bool limitFileSize(rlim_t bytes) {
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &r) == 0;
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

    void fullDiskTearsNoLineAndLeavesAGapLine() {
        // Past the limit the kernel sends SIGXFSZ, which would end the test.
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        MainSession s;
        s.sendKeyCode(0); // no port: a "Not sent" line
        QCoreApplication::processEvents();
        const QString path = SessionLog::pathFor(QDate::currentDate());
        const qint64 before = QFileInfo(path).size();
        QVERIFY(before > 0);

        // Room for part of the first line of a batch of three.
        if (!limitFileSize(rlim_t(before + 30)))
            QSKIP("Cannot set a file size limit here");
        for (qint16 key : {1, 2, 3})
            s.sendKeyCode(key);
        QCoreApplication::processEvents();
        // Still full: these two, and the monitor's report, go unlogged.
        s.sendKeyCode(4);
        s.sendKeyCode(5);
        QCoreApplication::processEvents();
        QVERIFY(limitFileSize(RLIM_INFINITY));
        std::signal(SIGXFSZ, savedHandler);
        s.sendKeyCode(6);
        QCoreApplication::processEvents();

        QCOMPARE(errorLines(s.monitor()), 1);
        const QList<QByteArray> lines = readFile(path).split('\n');
        const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "));
        QStringList tails;
        for (const QByteArray& line : lines.first(lines.size() - 1)) {
            QVERIFY2(stamp.match(QString::fromUtf8(line)).hasMatch(), line.constData());
            tails << QString::fromUtf8(line.mid(25));
        }
        QCOMPARE(lines.last(), QByteArray());
        QCOMPARE(tails.size(), 6);
        for (int i : {0, 1, 2, 3})
            QVERIFY2(tails[i].endsWith(QStringLiteral("Key: %1 - ").arg(i + 1) +
                                       QString::fromLatin1(s.monitor().line(i).right(14))),
                     qPrintable(tails[i]));
        QCOMPARE(tails[4], QStringLiteral("(3 lines not logged: File too large)"));
        QVERIFY(tails[5].contains(QLatin1String("Key: 7 - ")));
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
    }

    void logThatIsNoPlainFileOfOursIsRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = SessionLog::pathFor(QDate::currentDate());
        QVERIFY(QDir().mkpath(SessionLog::directory()));
        const QString target = m_dir->filePath(QStringLiteral("elsewhere"));
        QFile(target).open(QIODevice::WriteOnly);
        const QByteArray name = QFile::encodeName(path);
        if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(target, path));
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        } else {
            QFile(path).open(QIODevice::WriteOnly);
            if (::chown(name.constData(), 65534, 65534) != 0)
                QSKIP("Cannot give a file to another user here (not root)");
        }
        MainSession s;
        s.sendKeyCode(0);
        s.sendKeyCode(1);
        QCoreApplication::processEvents();
        QCOMPARE(errorLines(s.monitor()), 1);
        QCOMPARE(QString::fromUtf8(s.monitor().line(1)),
                 QStringLiteral("Error: Cannot write the session log %1: %2").arg(path, reason));
        QCOMPARE(readFile(target), QByteArray());
        QCOMPARE(QFileInfo(path).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
