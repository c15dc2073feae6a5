// Saving the port where it cannot be written: a read-only directory, a full
// disk. Driven through the window: Serial > Settings, type, Save, OK. The
// operator is told why, config.ini stays exactly as it was, and the program
// does not restart.
#include "app/bench.h"
#include "support/dialogs.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Whether main() got this process a mount namespace of its own, and if not why.
bool g_privateMounts = false;
QString g_noPrivateMounts;

// Permission bits do not stop root, and CI runs as root. A read-only mount
// stops everyone, and in a mount namespace of our own it is seen by nobody
// else and gone with the process. Making one needs a single-threaded process,
// hence main(), before Qt starts any thread.
void makePrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) {
        g_noPrivateMounts = QStringLiteral("unshare(CLONE_NEWNS): ") + qt_error_string(errno);
        return;
    }
    // Our mounts must not propagate back to the machine's namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        g_noPrivateMounts = QStringLiteral("making mounts private: ") + qt_error_string(errno);
        return;
    }
    g_privateMounts = true;
}

// The directory mounted read-only over itself for as long as this lives.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(const QString& dir) : m_dir(QFile::encodeName(dir)) {
        if (::mount(m_dir.constData(), m_dir.constData(), nullptr, MS_BIND, nullptr) != 0) {
            m_error = qt_error_string(errno);
            return;
        }
        m_mounted = true;
        if (::mount(nullptr, m_dir.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                    nullptr) != 0)
            m_error = qt_error_string(errno);
    }
    ~ReadOnlyMount() {
        if (m_mounted)
            ::umount2(m_dir.constData(), MNT_DETACH);
    }
    QString error() const { return m_error; }

private:
    QByteArray m_dir;
    bool m_mounted = false;
    QString m_error;
};

// Write permission taken from a directory for as long as this lives.
class ReadOnlyBits {
public:
    explicit ReadOnlyBits(const QString& dir) : m_dir(dir), m_saved(QFile::permissions(dir)) {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser |
                                       QFile::ExeUser);
    }
    ~ReadOnlyBits() { QFile::setPermissions(m_dir, m_saved); }

private:
    QString m_dir;
    QFile::Permissions m_saved;
};

// A file size limit makes writes fail as on a full disk, for root too. Past
// it the kernel sends SIGXFSZ, which would end the test, so it is ignored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            return;
        if (m_saved.rlim_cur != RLIM_INFINITY && m_saved.rlim_cur < bytes)
            return;
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit low = m_saved;
        low.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &low) == 0;
    }
    ~FileSizeLimit() {
        if (m_active)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        if (m_savedHandler != SIG_ERR)
            std::signal(SIGXFSZ, m_savedHandler);
    }
    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = SIG_ERR;
    bool m_active = false;
};

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// Serial > Settings, type the port, Save, answer OK to the question and to
// what follows. Returns what the boxes said.
std::shared_ptr<QList<AnsweredBox>> saveThroughTheWindow(MainWindow* w, const QString& port) {
    w->findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
    child<QLineEdit>(w, "txtPortSettings")->setText(port);
    auto boxes = answerMessageBoxes({QMessageBox::Ok, QMessageBox::Ok});
    child<QPushButton>(w, "cmdSaveSettings")->click();
    return boxes;
}

} // namespace

class TestSaveFailure : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Every monitor line also goes to a session log: keep it out of the way.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }

    void readOnlyDirectory_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only mount") << QStringLiteral("mount");
        QTest::newRow("no write permission") << QStringLiteral("bits");
    }

    void readOnlyDirectory() {
        QFETCH(QString, how);
        TestBench bench;
        const QByteArray before =
            "; by hand\n[SETTINGS]\nport=" + bench.device.slavePath().toUtf8() + "\n[NEXT]\nx=1";
        writeConfig(bench, before);
        MainWindow* w = bench.start();
        QVERIFY(w);
        QVERIFY(w->session().link().portOpen());

        std::unique_ptr<ReadOnlyMount> mount;
        std::unique_ptr<ReadOnlyBits> bits;
        int reason = 0;
        if (how == QLatin1String("mount")) {
            if (!g_privateMounts)
                QSKIP(qPrintable(QStringLiteral("No mount namespace of our own (%1); the other "
                                                "rows cover a read-only directory")
                                     .arg(g_noPrivateMounts)));
            mount = std::make_unique<ReadOnlyMount>(bench.dir.path());
            QVERIFY2(mount->error().isEmpty(), qPrintable(mount->error()));
            reason = EROFS;
        } else {
            bits = std::make_unique<ReadOnlyBits>(bench.dir.path());
            reason = EACCES;
        }
        // Find out by trying whether the directory really refuses a new file.
        QFile probe(bench.dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            QSKIP("This user writes into a directory without write permission (root?); the "
                  "read-only mount and /proc rows cover it");
        }

        const auto boxes = saveThroughTheWindow(w, QStringLiteral("/dev/ttyUSB7"));
        checkRefusedAndKept(bench, w, boxes, reason);
        QCOMPARE(bench.config(), before);
        QCOMPARE(entries(bench.dir.path()), QStringList{QStringLiteral("config.ini")});
    }

    void directoryUnderProc() {
        // No one, root included, can create a file in /proc.
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        const QString dir = QStringLiteral("/proc/%1").arg(::getpid());
        setProgramDirectoryForTesting(dir);
        const auto boxes = saveThroughTheWindow(w, QStringLiteral("/dev/ttyUSB7"));
        QVERIFY(boxes->size() == 2);
        QVERIFY2(boxes->at(1).text.contains(dir + QStringLiteral("/config.ini")),
                 qPrintable(boxes->at(1).text));
        checkRefusedAndKept(bench, w, boxes, 0);
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/config.ini")));
    }

    void fullDisk_data() {
        QTest::addColumn<int>("limit");
        QTest::newRow("full from the start") << 0;
        QTest::newRow("full after 4 KiB") << 4096;
        QTest::newRow("full one byte short") << -1;
    }

    void fullDisk() {
        QFETCH(int, limit);
        TestBench bench;
        QByteArray before = "[SETTINGS]\r\nport=" + bench.device.slavePath().toUtf8() + "\r\n";
        for (int i = 0; i < 1000; ++i)
            before += "; line " + QByteArray::number(i) + " of notes kept by hand\r\n";
        writeConfig(bench, before);
        MainWindow* w = bench.start();
        QVERIFY(w);
        QVERIFY(w->session().link().portOpen());

        const QString port = QStringLiteral("/dev/ttyUSB7");
        // The new file is the old one with the port changed: one byte short of
        // it still fails on the very last write.
        const qsizetype newSize =
            before.size() - bench.device.slavePath().toUtf8().size() + port.size();
        const rlim_t bytes = rlim_t(limit >= 0 ? limit : newSize - 1);
        std::shared_ptr<QList<AnsweredBox>> boxes;
        {
            FileSizeLimit full(bytes);
            if (!full.isActive())
                QSKIP("Cannot lower the file size limit here");
            boxes = saveThroughTheWindow(w, port);
        }
        checkRefusedAndKept(bench, w, boxes, EFBIG);
        QCOMPARE(bench.config(), before);
        QCOMPARE(entries(bench.dir.path()), QStringList{QStringLiteral("config.ini")});
    }

private:
    static void writeConfig(TestBench& bench, const QByteArray& bytes) {
        QFile f(bench.dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // Asked, then warned with the file and the system's reason (when `reason`
    // is given), and the same window goes on, on the same port, no restart.
    static void checkRefusedAndKept(TestBench& bench, MainWindow* w,
                                    const std::shared_ptr<QList<AnsweredBox>>& boxes, int reason) {
        QCOMPARE(boxes->size(), 2);
        QCOMPARE(boxes->at(0).icon, QMessageBox::Question);
        const AnsweredBox& warning = boxes->at(1);
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QVERIFY2(warning.text.contains(configPath()), qPrintable(warning.text));
        // The system's reason, or Qt's own word for an unwritable file.
        if (reason != 0)
            QVERIFY2(warning.text.contains(qt_error_string(reason)) ||
                         (reason != EFBIG && warning.text.contains(QLatin1String("not writable"))),
                     qPrintable(warning.text));
        QVERIFY2(warning.text.contains(QLatin1String("not changed")), qPrintable(warning.text));
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(w->isVisible());
        QVERIFY(!bench.windows.splash());
        QCOMPARE(bench.endCount, 0);
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), bench.device.slavePath());
        QVERIFY(w->session().link().portOpen());
        // Still in working order on the old port.
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(bench.device.read(3), QByteArray("\x0B\x05\x10", 3));
    }

    QTemporaryDir m_state;
};

int main(int argc, char** argv) {
    makePrivateMountNamespace();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestSaveFailure test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savefailure.moc"
