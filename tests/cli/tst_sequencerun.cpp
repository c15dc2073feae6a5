// orv-test --run as CI runs it: a real process with no display, a device on
// a pseudo-terminal, the exit status, the verdict lines and the JUnit report.
#include "support/files.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Frames as orv-sim logs them.
const QString k1("0B 00 02 50 5D"), k5("0B 02 02 50 5F"), ct("0B 05 10"), rs("0B 06 11");

// As CI starts it: no display, and session logs kept in the test's folder.
QProcessEnvironment headless(const QString& stateDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(var));
    env.insert("XDG_STATE_HOME", stateDir);
    return env;
}

bool wellFormed(const QByteArray& xml) {
    QXmlStreamReader r(xml);
    while (!r.atEnd())
        r.readNext();
    return !r.hasError() && !xml.isEmpty();
}

} // namespace

class TestSequenceRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void run_data() {
        QTest::addColumn<QStringList>("device"); // orv-sim's options; Reset is never answered
        QTest::addColumn<QByteArray>("sequence");
        QTest::addColumn<int>("status"); // 128+n: signal n once the first reply is in
        QTest::addColumn<QByteArrayList>("outAndReportHave"); // status 2: no report at all
        QTest::addColumn<QStringList>("frames");              // what orv-sim got
        QTest::addColumn<QString>("fault"); // in writing the report: then the old file stays
        const auto row = [](const char* name, const QStringList& device, const QByteArray& sequence,
                            int status, const QByteArrayList& have, const QStringList& frames = {},
                            const QString& fault = {}) {
            QTest::newRow(name) << device << sequence << status << have << frames << fault;
        };
        row("passes against orv-sim", {"--split"},
            "repeat 3\n  key 1\n  expect ACK\nend\ncommtest\nexpect any\n", 0,
            {"  Key: 1 - 0B 00 02 50 5D\n", "over 4 replies\nPASS: 4 of 4 expectations met\n",
             "tests=\"4\" failures=\"0\""},
            {k1, k1, k1, ct});
        row("orv-sim's NAK fails at its line and repetition", {"--answer", "0B 02 02 50 5F=NAK"},
            "repeat 2\n repeat 2\n  key 1\n  expect ACK\n end\n key 5\n"
            " expect ACK within 500 # NAK\nend\n",
            1,
            {"tests=\"6\" failures=\"2\"", "name=\"t.seq:7 expect ACK (repetition 2)\"",
             "name=\"t.seq:4 expect ACK (repetition 2, 1)\"",
             "<failure message=\"expected ACK, got &quot;0B FF 0A\\r\\n&quot;\""},
            {k1, k1, k5, k1, k1, k5});
        row("expect none and a reply expectation on silence", {},
            "reset\nexpect none within 200\nKEY 1\nExpect NONE within 2000\n"
            "reset\nexpect CRC within 100\n",
            1,
            {"t.seq:4: expected none, got \"0B 00 0B\\r\\n\"",
             "t.seq:6: expected CRC, got no reply within 100 ms\nLatency", // no "no reply" line
             "FAIL: 2 of 3 expectations failed"},
            {rs, k1, rs});
        row("nested repeats, in order", {},
            "repeat 2\n key 1\n repeat 2\n  commtest\n  key #\n end\nend\nreset\n", 0,
            {"PASS: 0 of 0 expectations met"}, {k1, ct, ct, k1, ct, ct, rs});
        row("unknown step: nothing sent", {}, "key 1\n\nkee 5\n", 2,
            {"t.seq:3: \"kee 5\": unknown step"});
        // A stopped run never reads as a pass: the step it was at is in error.
        row("SIGTERM in a wait: stopped at the wait's line, in error", {},
            "repeat 2\n key 1\n expect ACK\n wait 600000\nend\nkey 2\n", 143,
            {"STOPPED: SIGTERM at t.seq:4 after 1 expectation, 0 failed",
             "tests=\"2\" failures=\"0\" errors=\"1\"",
             "name=\"t.seq:4 wait 600000 (repetition 1)\"",
             "<error message=\"stopped by SIGTERM\""},
            {k1});
        row("SIGTERM in an expect: it is in error", {},
            "key 1\nexpect ACK\nreset\nexpect ACK within 600000\n", 143,
            {"STOPPED: SIGTERM at t.seq:4 after 1 expectation, 0 failed", "errors=\"1\"",
             "name=\"t.seq:4 expect ACK\"", "<error message=\"stopped by SIGTERM\""},
            {k1, rs});
        // Bytes without their line feed at the deadline are no reply, and the
        // line they become later is nobody's: one late answer, one failure.
        row("reply in pieces across a deadline", {"--split", "--split-pause", "600-600"},
            "key 1\nexpect ACK within 300\nkey 2\nexpect ACK\n", 1,
            {"t.seq:2: expected ACK, got an incomplete reply \"0",
             "\" (no line feed within 300 ms)", "Reply: 0B 00 0B\\r\\n\n",
             "FAIL: 1 of 2 expectations failed"},
            {k1, "0B 00 03 50 5E"});
        // Judged on the reply's time: held up past the answer, the runner
        // must not count a 700 ms answer as one within 500.
        row("stopped tester (SIGSTOP for 1.2 s after the send)", {"--delay", "700"},
            "key 1\nexpect ACK within 500\n", 1,
            {"t.seq:2: expected ACK, got ", "FAIL: 1 of 1 expectations failed"}, {k1}, "stop");
        // Lines read before key 2 went are key 1's, wherever they are handed over.
        row("a stream across a send", {"--flood", "500", "--answer", "0B 00 03 50 5E=none"},
            "key 1\nwait 1000\nkey 2\nexpect none within 300\n", 0,
            {"Reply: 0B 00 0B 000500\\r\\n\n", "PASS: 1 of 1 expectations met"},
            {k1, "0B 00 03 50 5E"});
        // More than the system's buffer holds: frames wait for room, none is lost.
        row("a device that drains slowly", {"--read-rate", "40000"},
            "repeat 20000\n key 1\nend\nkey 2\nexpect ACK within 10000\n", 0,
            {"PASS: 1 of 1 expectations met"}, QStringList(20000, k1) << "0B 00 03 50 5E");
        // SIGXFSZ at its default, as a shell leaves it: the log and the report
        // fail as at a full disk, and the run still ends with its verdict.
        row("file-size limit: the verdict comes, the old report stays", {},
            "key 1\nexpect ACK\nkey 2\nexpect ACK\n", 2,
            {"Cannot write the session log ", "PASS: 2 of 2 expectations met",
             "Cannot write the report ", "File too large; the old file is unchanged"},
            {k1, "0B 00 03 50 5E"}, "fsize");
        row("read-only report", {}, "key 1\n", 2, {"the file is read-only"}, {}, "readonly");
        row("report is the sequence file, hard-linked", {}, "key 1\n", 2,
            {"it is the sequence file"}, {}, "input");
        row("report in /proc", {}, "key 1\n", 2, {"/proc cannot hold new files"}, {}, "proc");
        row("port lost in a wait", {}, "key 1\nexpect ACK\nwait 600000\n", 2,
            {"the device closed its end (the run stopped)\n",
             "STOPPED: port lost at t.seq:3 after 1 expectation, 0 failed",
             "<error message=\"stopped: port lost\""},
            {k1}, "lose");
        row("send: the bytes exactly, and a reply to each", {},
            "send 0B 07 sum\nexpect NAK\nsend 0b 00 02 50 5d # key 1\nexpect ACK\n", 0,
            {"  Sent: 0B 07 12\n", "  Sent: 0B 00 02 50 5D\n", "PASS: 2 of 2 expectations met"},
            {"0B 07", k1});
        row("nothing answers at all: said before the summary", {"--answer", k1 + "=none"},
            "key 1\nexpect ACK within 100\nkey 1\nexpect none within 50\n", 1,
            {"50 5D\nNo reply came from /dev/pts/",
             "at all: check that it is the device's port, that the device is on and connected, "
             "and that it talks 9600 baud 8N1\nLatency (ms): min -",
             "FAIL: 1 of 2 expectations failed"},
            {k1, k1});
        row("report is a symbolic link", {}, "key 1\n", 2, {"symbolic link"}, {}, "symlink");
        row("report is a dangling link", {}, "key 1\n", 2, {"symbolic link"}, {}, "dangling");
        row("SIGINT in a wait", {}, "key 1\nexpect ACK\nwait 600000\nkey 2\n", 130,
            {"STOPPED: SIGINT at t.seq:3 after 1 expectation, 0 failed"}, {k1});
    }
    void run() {
        QFETCH(QStringList, device);
        QFETCH(QByteArray, sequence);
        QFETCH(int, status);
        QFETCH(QByteArrayList, outAndReportHave);
        QFETCH(QStringList, frames);
        QFETCH(QString, fault);
        SimProcess sim(device + QStringList{"--answer", "0B 06 11=none"});
        QVERIFY(sim.isRunning());
        QTemporaryDir dir;
        QString report = dir.filePath("r.xml");
        const QString seq = dir.filePath("t.seq");
        QVERIFY(writeFile(seq, sequence));
        if (fault == "input")
            QCOMPARE(::link(QFile::encodeName(seq), QFile::encodeName(report)), 0);
        else if (fault == "proc")
            report = QStringLiteral("/proc/bad.xml");
        else if (fault == "symlink" || fault == "dangling")
            QVERIFY(QFile::link(fault == "symlink" ? seq : dir.filePath("gone.xml"), report));
        else if (!fault.isEmpty() && fault != "stop")
            QVERIFY(writeFile(report, "old"));
        if (fault == "readonly")
            QVERIFY(QFile::setPermissions(report, QFile::ReadOwner));
        const QByteArray before = readFile(report);
        QProcess p;
        p.setProcessEnvironment(headless(dir.path()));
        if (fault == "fsize")
            p.setChildProcessModifier([] {
                const rlimit limit{100, 100}; // room for the port's lock file, not the log
                ::setrlimit(RLIMIT_FSIZE, &limit);
                ::signal(SIGXFSZ, SIG_DFL);
            });
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ORV_TEST_PATH),
                {QStringLiteral("--run"), seq, "--port", sim.devicePath(), "--report", report});
        QByteArray out;
        const QDeadlineTimer deadline(60000);
        for (bool signalled = false, done = false; !done;) {
            done = p.waitForFinished(10) || deadline.hasExpired();
            out += p.readAll();
            if (fault == "stop" && !signalled && out.contains("Key: 1")) {
                signalled = ::kill(pid_t(p.processId()), SIGSTOP) == 0;
                QThread::msleep(1200);
                ::kill(pid_t(p.processId()), SIGCONT);
            }
            if ((status > 128 || fault == "lose") && !signalled && out.contains("Reply: "))
                signalled = fault == "lose" ? (sim.kill(), true)
                                            : ::kill(pid_t(p.processId()), status - 128) == 0;
        }
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        const QByteArray xml = readFile(report);
        if (fault.isEmpty() || fault == "lose" || fault == "stop")
            QVERIFY(status == 2 && fault.isEmpty() ? !QFile::exists(report) : wellFormed(xml));
        else
            QCOMPARE(xml, before);
        QCOMPARE(entries(dir.path()).filter(".tmp"), QStringList());
        for (const QByteArray& text : outAndReportHave)
            QVERIFY2((out + xml).contains(text), (out + xml).constData());
        if (fault != "lose") { // a frame of ours after the program's: once logged, so are theirs
            QTRY_VERIFY(!sim.log().contains("port opened") ||
                        sim.log().contains("closed by the program"));
            const int fd =
                ::open(QFile::encodeName(sim.devicePath()).constData(), O_WRONLY | O_NOCTTY);
            QVERIFY(fd >= 0 && ::write(fd, "\x0B\x04\x02\x50\x61", 5) == 5 && ::close(fd) == 0);
            frames << "0B 04 02 50 61";
        }
        // 20,000 frames take the simulator a while to log under the sanitizers
        // and a loaded machine: a cheap count while it works, then one compare.
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().count(" recv ") >= frames.size(), 90000);
        QCOMPARE(sim.log().split('\n').filter(" recv ").replaceInStrings(
                     QRegularExpression("^.* recv | \\(.*"), QString()),
                 frames);
    }

    // What orv-test says on stdout, stderr or in the report, and its status, for
    // command lines, settings files and outputs that are not as they should be.
    void messages_data() {
        QTest::addColumn<QStringList>("args");  // SEQ: t.seq, DEV: orv-sim's device, DIR: a folder
        QTest::addColumn<QByteArray>("config"); // DIR/c.ini: "fifo", its content, or none
        QTest::addColumn<QByteArray>("how"); // stdout full, closed or gone; stderr a tty; a window
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("has");
        const auto row = [](const char* name, const QStringList& args, const QByteArray& config,
                            const QByteArray& how, int status, const QByteArray& has) {
            QTest::newRow(name) << args << config << how << status << has;
        };
        const QStringList run{"--run", "SEQ", "--port", "DEV"};
        row("--config FIFO", {"--run", "SEQ", "--config", "DIR/c.ini"}, "fifo", "", 2,
            "Cannot use the settings file DIR/c.ini: it is a FIFO, not a file");
        row("--config=folder", {"--run", "SEQ", "--config=DIR"}, "", "", 2,
            "Cannot use the settings file DIR: it is a directory, not a file");
        row("--config missing", {"--run", "SEQ", "--config", "DIR/c.ini"}, "", "", 2,
            "No port to use: the settings file DIR/c.ini does not exist");
        row("--config=FILE names the port", {"--run", "SEQ", "--config=DIR/c.ini"},
            "[SETTINGS]\nport=DEV\n", "", 0, "PASS: 1 of 1 expectations met");
        row(">/dev/full", run, "", "full", 2,
            "cannot write to standard output: No space left on device; the verdict was: PASS");
        row(">&-", run, "", "closed", 2, "cannot write to standard output: Bad file descriptor");
        row("| head -1", run + QStringList{"--report", "DIR/r.xml"}, "", "gone", 0,
            "tests=\"1\" failures=\"0\"");
        row("port that cannot open, its name escaped", {"--run", "SEQ", "--port", "/dev/\x1b[2Jx"},
            "", "", 2, "Cannot start the run: Cannot open /dev/\\x1B[2Jx: ");
        row("--run twice", run + QStringList{"--run", "SEQ"}, "", "", 2,
            "orv-test: --run given more than once");
        row("unknown option", {"--bogus"}, "", "", 2, "unknown option '--bogus'\nUsage: orv-test");
        row("Qt's options", QStringList{"-platform", "offscreen", "-reverse"} + run, "", "", 0,
            "PASS: 1 of 1 expectations met");
        row("--report without --run", {"--report", "DIR/r.xml"}, "", "", 2,
            "--report goes with --run FILE");
        // The window opens the port given, and the settings file stays as it was.
        row("--port without --run: the window's",
            {"--port", "DEV", "--config", "DIR/c.ini", "-platform", "offscreen"},
            "[SETTINGS]\nport=/dev/orv-test-none\n", "window", 0, "port opened");
        row("progress on a terminal", run, "", "tty", 0, "1 of 1 expectations, 0 failed | p95 ");
        // Answered with no display, on stdout alone: "stdout" rows see nothing else.
        row("--help", {"--help"}, "", "stdout", 0, "Usage: orv-test [--port PORT] [--config FILE]");
        row("-h", {"-h"}, "", "stdout", 0, "\nExit status of --run: 0 every expectation met");
        row("--version", {"--version"}, "", "stdout", 0, "orv-test " ORV_VERSION "\n");
        row("-v", {"-v"}, "", "stdout", 0, "orv-test " ORV_VERSION "\n");
        row("options named as typed: -hv", {"-hv"}, "", "", 2, "unknown option '-hv'");
        row("options named as typed: -platform twice",
            QStringList{"-platform", "offscreen", "-platform", "offscreen"} + run, "", "", 2,
            "orv-test: -platform given more than once");
        // Paths are bytes from argv to open(): the report lands under the name given.
        row("report name that is not UTF-8", run, "", "latin1", 0, "tests=\"1\" failures=\"0\"");
        row("report name of 255 bytes",
            run + QStringList{"--report", "DIR/" + QString(251, 'r') + ".xml"}, "", "", 0,
            "tests=\"1\" failures=\"0\"");
        row("working folder removed", run + QStringList{"--report", "r.xml"}, "", "nocwd", 2,
            "Cannot write the report r.xml: the working folder has been removed");
    }
    void messages() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, how);
        QFETCH(int, status);
        QFETCH(QByteArray, has);
        QTemporaryDir dir;
        SimProcess sim;
        const auto fill = [&](QString s) {
            return s.replace("SEQ", dir.filePath("t.seq"))
                .replace("DEV", sim.devicePath())
                .replace("DIR", dir.path());
        };
        for (QString& arg : args)
            arg = fill(arg);
        const QString ini = dir.filePath("c.ini");
        if (config == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
        else if (!config.isEmpty())
            QVERIFY(writeFile(ini, config.replace("DEV", sim.devicePath().toUtf8())));
        QVERIFY(writeFile(dir.filePath("t.seq"),
                          "key 1\nexpect ACK\n" + QByteArray(how == "tty" ? "wait 1500\n" : "")));
        PtyPair tty;
        const QByteArray ttyPath = QFile::encodeName(tty.slavePath());
        QProcess p;
        p.setProcessEnvironment(headless(dir.path()));
        if (how == "full")
            p.setStandardOutputFile("/dev/full");
        const QByteArray gone = QFile::encodeName(dir.filePath("gone"));
        p.setChildProcessModifier([&how, &ttyPath, &gone] {
            if (how == "nocwd" && ::mkdir(gone.constData(), 0700) == 0 &&
                ::chdir(gone.constData()) == 0)
                ::rmdir(gone.constData());
            int gone[2];
            if (how == "gone" && ::pipe(gone) == 0) // a pipe whose reader has left
                ::close(gone[0]), ::dup2(gone[1], STDOUT_FILENO);
            if (how == "closed")
                ::close(STDOUT_FILENO);
            if (how == "tty")
                ::dup2(::open(ttyPath.constData(), O_RDWR | O_NOCTTY), STDERR_FILENO);
        });
        // QProcess would pass the name as UTF-8: a shell passes the bytes, and
        // shows the report found under them.
        if (how == "latin1")
            p.start("/bin/sh", QStringList{"-c",
                                           "r=\"$(printf '" + dir.path() +
                                               "/r\\351port.xml')\"; \"$0\" \"$@\" --report "
                                               "\"$r\"; s=$?; cat \"$r\"; exit $s",
                                           ORV_TEST_PATH} +
                                   args);
        else
            p.start(QStringLiteral(ORV_TEST_PATH), args);
        QByteArray out, err, simLog;
        if (how == "window") { // ended as a desktop session ends it, once the port is open
            QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("port opened"), 20000);
            simLog = sim.log().toUtf8();
            ::kill(pid_t(p.processId()), SIGTERM);
        }
        for (QDeadlineTimer deadline(20000); !p.waitForFinished(10) && !deadline.hasExpired();)
            out += p.readAllStandardOutput(), err += p.readAllStandardError() + tty.readAvailable();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        out += p.readAllStandardOutput(), err += p.readAllStandardError() + tty.readAvailable();
        QByteArray all = simLog + out + err;
        for (const QString& name : entries(dir.path()).filter(QRegularExpression("^r+\\.xml$")))
            all += readFile(dir.filePath(name));
        QVERIFY2(how != "stdout" || err.isEmpty(), err.constData());
        QVERIFY2(all.contains(fill(has).toUtf8()), all.constData());
        QVERIFY2(how == "tty" || !all.contains('\x1b'), all.constData()); // no progress line
        QCOMPARE(p.exitCode(), status);
        // Whatever the run or the window did, nothing wrote the settings file.
        QVERIFY(config == "fifo" || readFile(ini) == (config.isEmpty() ? "<unreadable>" : config));
    }
    // The session log is written once per event-loop turn, yet a line a run
    // has printed is on disk when the program is killed outright the moment after.
    void shownLinesSurviveSigkill() {
        SimProcess sim;
        QVERIFY(sim.isRunning());
        QTemporaryDir dir;
        const QString sequence = dir.filePath("burst.seq");
        QVERIFY(writeFile(sequence, "repeat 300\n commtest\n expect ACK\nend\nwait 60000\n"));
        QProcess run;
        run.setProcessEnvironment(headless(dir.path()));
        run.start(QStringLiteral(ORV_TEST_PATH), {"--run", sequence, "--port", sim.devicePath()});
        QByteArray shown;
        QTRY_VERIFY_WITH_TIMEOUT((shown += run.readAllStandardOutput()).count("Reply: ") >= 150,
                                 20000);
        ::kill(pid_t(run.processId()), SIGKILL);
        QVERIFY(run.waitForFinished(5000));
        shown += run.readAllStandardOutput();
        const QByteArray log = readFile(dir.filePath(
            QStringLiteral("orv-test/%1.log").arg(QDate::currentDate().toString(Qt::ISODate))));
        for (const QByteArray& line : shown.split('\n'))
            QVERIFY2(log.contains(line + '\n'), line.constData());
    }
};

QTEST_GUILESS_MAIN(TestSequenceRun)
#include "tst_sequencerun.moc"
