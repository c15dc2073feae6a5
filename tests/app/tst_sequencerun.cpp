// orv-test --run as CI runs it: a real process with no display, a device on
// a pseudo-terminal, the exit status, the verdict lines and the JUnit report.
#include "support/files.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QProcess>
#include <QTest>
#include <QXmlStreamReader>
#include <csignal>
#include <optional>

namespace {

const QByteArray k1("\x0B\x00\x02\x50\x5D", 5), ct("\x0B\x05\x10", 3), rs("\x0B\x06\x11", 3);
const QByteArray ack = "0B 00 0B\r\n";

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
        // device: orv-sim's options, a port path, or none: the test's own
        // device, which answers ACK to every frame but Reset.
        QTest::addColumn<QStringList>("device");
        QTest::addColumn<QByteArray>("sequence");
        QTest::addColumn<int>("status"); // 143: SIGTERM once the first reply is in
        QTest::addColumn<QByteArrayList>("outAndReportHave"); // status 2: no report at all
        QTest::addColumn<QByteArrayList>("frames");           // what the test's device got
        QTest::newRow("passes against orv-sim")
            << QStringList{"--split"}
            << QByteArray("repeat 3\n  key 1\n  expect ACK\nend\ncommtest\nexpect any\n") << 0
            << QByteArrayList{"  Key: 1 - 0B 00 02 50 5D\n",
                              "over 4 replies\nPASS: 4 of 4 expectations met\n",
                              "tests=\"4\" failures=\"0\""}
            << QByteArrayList();
        QTest::newRow("orv-sim's NAK fails at its line and repetition")
            << QStringList{"--answer", "0B 02 02 50 5F=NAK"}
            << QByteArray("repeat 2\n repeat 2\n  key 1\n  expect ACK\n end\n key 5\n"
                          " expect ACK within 500 # NAK\nend\n")
            << 1
            << QByteArrayList{"Expect failed: t.seq:7: expected ACK, got \"0B FF 0A\\r\\n\"",
                              "FAIL: 2 of 6 expectations failed",
                              "tests=\"6\" failures=\"2\"",
                              "name=\"t.seq:7 expect ACK (repetition 2)\"",
                              "name=\"t.seq:4 expect ACK (repetition 2, 1)\"",
                              "<failure message=\"expected ACK, got &quot;0B FF 0A\\r\\n&quot;\""}
            << QByteArrayList();
        QTest::newRow("expect none and a reply expectation on silence")
            << QStringList()
            << QByteArray("reset\nexpect none within 200\nKEY 1\nExpect NONE within 2000\n"
                          "reset\nexpect CRC within 100\n")
            << 1
            << QByteArrayList{"t.seq:4: expected none, got \"0B 00 0B\\r\\n\"",
                              "t.seq:6: expected CRC, got no reply within 100 ms",
                              "FAIL: 2 of 3 expectations failed", "failures=\"2\""}
            << QByteArrayList{rs, k1, rs};
        QTest::newRow("nested repeats, in order")
            << QStringList()
            << QByteArray("repeat 2\n key 1\n repeat 2\n  commtest\n  key #\n end\nend\nreset\n")
            << 0 << QByteArrayList{"PASS: 0 of 0 expectations met"}
            << QByteArrayList{k1, ct, ct, k1, ct, ct, rs};
        QTest::newRow("unknown step: nothing sent")
            << QStringList() << QByteArray("key 1\n\nkee 5\n") << 2
            << QByteArrayList{"t.seq:3: \"kee 5\": unknown step"} << QByteArrayList();
        QTest::newRow("port that cannot open")
            << QStringList{"/nonexistent/tty"} << QByteArray("key 1\n") << 2
            << QByteArrayList{"Cannot start the run: "} << QByteArrayList();
        QTest::newRow("SIGTERM mid-run: a readable report, no more frames")
            << QStringList() << QByteArray("key 1\nexpect ACK\nwait 600000\nkey 2\n") << 143
            << QByteArrayList{"PASS: 1 of 1 expectations met", "tests=\"1\" failures=\"0\"",
                              "<system-err>Stopped by signal 15"}
            << QByteArrayList{k1};
    }
    void run() {
        QFETCH(QStringList, device);
        QFETCH(QByteArray, sequence);
        QFETCH(int, status);
        QFETCH(QByteArrayList, outAndReportHave);
        QFETCH(QByteArrayList, frames);
        PtyPair pty;
        std::optional<SimProcess> sim;
        QString port = device.value(0, pty.slavePath());
        if (!device.isEmpty() && !port.startsWith(QLatin1Char('/'))) {
            sim.emplace(device);
            QVERIFY(sim->isRunning());
            port = sim->devicePath();
        }
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("r.xml"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("t.seq")), sequence));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(var));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ORV_TEST_PATH),
                {QStringLiteral("--run"), dir.filePath("t.seq"), QStringLiteral("--port"), port,
                 QStringLiteral("--report"), report});
        QByteArray out, pending;
        QByteArrayList sent;
        QElapsedTimer clock;
        clock.start();
        for (bool signalled = false, done = false; !done;) {
            done = p.waitForFinished(10) || clock.elapsed() > 20000;
            pending += pty.readAvailable();
            for (int n; pending.size() >= 3 &&
                        pending.size() >= (n = pending[1] == 5 || pending[1] == 6 ? 3 : 5);
                 pending.remove(0, n)) {
                sent << pending.left(n);
                QVERIFY(sent.last() == rs || pty.write(ack));
            }
            out += p.readAll();
            if (status == 143 && !signalled && out.contains("Reply: "))
                signalled = ::kill(pid_t(p.processId()), SIGTERM) == 0;
        }
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        QCOMPARE(QFile::exists(report), status != 2);
        const QByteArray xml = readFile(report);
        QVERIFY(status == 2 || wellFormed(xml));
        for (const QByteArray& text : outAndReportHave)
            QVERIFY2((out + xml).contains(text), (out + xml).constData());
        if (device.isEmpty())
            QCOMPARE(sent, frames);
    }
};

QTEST_GUILESS_MAIN(TestSequenceRun)
#include "tst_sequencerun.moc"
