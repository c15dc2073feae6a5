// Saving the port where it cannot be written: a read-only directory, a full
// disk. The operator is told why, config.ini stays exactly as it was, and the
// program does not restart.
#include "faults.h"

#include <QScopeGuard>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Permission bits do not stop root, a read-only mount stops everyone. In a
// mount namespace of our own nobody else sees it. unshare() needs a single
// thread, hence main(), before Qt starts any.
const char* g_noPrivateMounts = "not tried";

void makePrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        g_noPrivateMounts = strerror(errno);
    else
        g_noPrivateMounts = nullptr;
}

const QString newPort = QStringLiteral("/dev/ttyUSB7");

} // namespace

class TestSaveFailure : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void readOnlyMount() {
        if (g_noPrivateMounts)
            QSKIP(g_noPrivateMounts); // no mount namespace of our own
        TestBench bench;
        const QByteArray before =
            "; by hand\n[SETTINGS]\nport=" + bench.device.slavePath().toUtf8() + "\n[NEXT]\nx=1";
        MainWindow* w = startWith(bench, before);
        QVERIFY(w);
        // The directory bind-mounted read-only over itself.
        const QByteArray dir = QFile::encodeName(bench.dir.path());
        QVERIFY2(::mount(dir, dir, nullptr, MS_BIND, nullptr) == 0, strerror(errno));
        const auto unmount = qScopeGuard([&] { ::umount2(dir, MNT_DETACH); });
        QVERIFY2(::mount(nullptr, dir, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0,
                 strerror(errno));
        checkRefusedAndKept(bench, w, save(w), EROFS, before);
    }

    void directoryUnderProc() {
        // No one, root included, can create a file in /proc.
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        const QString dir = QStringLiteral("/proc/%1").arg(::getpid());
        setProgramDirectoryForTesting(dir);
        checkRefusedAndKept(bench, w, save(w), 0, bench.config());
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/config.ini")));
    }

    void fullDiskOneByteShort() {
        TestBench bench;
        QByteArray before = "[SETTINGS]\r\nport=" + bench.device.slavePath().toUtf8() + "\r\n";
        for (int i = 0; i < 1000; ++i)
            before += "; line " + QByteArray::number(i) + " of notes kept by hand\r\n";
        MainWindow* w = startWith(bench, before);
        QVERIFY(w);
        // The saved file is the old one with the port changed: one byte short
        // of its size fails on the very last write.
        const qsizetype newSize =
            before.size() - bench.device.slavePath().toUtf8().size() + newPort.size();
        // Past the file size limit writes fail as on a full disk, for root too.
        // SIGXFSZ, which would end the test, is ignored meanwhile.
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        if (saved.rlim_cur != RLIM_INFINITY && saved.rlim_cur < rlim_t(newSize))
            QSKIP("The file size limit is lower already");
        rlimit full = saved;
        full.rlim_cur = rlim_t(newSize - 1);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
        const auto boxes = save(w);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        checkRefusedAndKept(bench, w, boxes, EFBIG, before);
    }

private:
    static MainWindow* startWith(TestBench& bench, const QByteArray& config) {
        writeFile(bench.dir.filePath(QStringLiteral("config.ini")), config);
        MainWindow* w = bench.start();
        return w && w->session().portOpen() ? w : nullptr;
    }

    static std::shared_ptr<QList<AnsweredBox>> save(MainWindow* w) {
        return saveThroughTheWindow(w, newPort, {QMessageBox::Ok, QMessageBox::Ok});
    }

    // Asked, then warned with the file and the system's reason (when given);
    // config.ini as it was, alone; the same window goes on, on the same port.
    static void checkRefusedAndKept(TestBench& bench, MainWindow* w,
                                    const std::shared_ptr<QList<AnsweredBox>>& boxes, int reason,
                                    const QByteArray& before) {
        QCOMPARE(bench.config(), before);
        QCOMPARE(
            QDir(bench.dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("config.ini")});
        QCOMPARE(boxes->size(), 2);
        QCOMPARE(boxes->at(0).icon, QMessageBox::Question);
        const AnsweredBox& warning = boxes->at(1);
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QVERIFY2(warning.text.contains(configPath()), qPrintable(warning.text));
        if (reason != 0)
            QVERIFY2(warning.text.contains(qt_error_string(reason)) ||
                         (reason != EFBIG && warning.text.contains(QLatin1String("not writable"))),
                     qPrintable(warning.text));
        QVERIFY2(warning.text.contains(QLatin1String("not changed")), qPrintable(warning.text));
        checkStillUp(bench, w);
        QCOMPARE(child<QLineEdit>(w, "txtCommPort")->text(), bench.device.slavePath());
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(bench.device.read(3), commTestFrame);
    }
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
