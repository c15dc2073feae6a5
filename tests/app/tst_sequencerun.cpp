// orv-test --run as CI runs it: a real process with no display, a device on
// a pseudo-terminal, the exit status, the verdict lines and the JUnit report.
#include "support/pty.h"
#include "support/simprocess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <csignal>
#include <functional>

namespace {

using Answer = std::function<QByteArray(const QByteArray& frame)>;

// The headless program, run to its end (or to a condition) while the test
// plays the device: every frame it writes is recorded and answered.
struct HeadlessRun {
    QTemporaryDir dir;
    QProcess process;
    QByteArrayList frames;
    QByteArray out;

    void start(const QByteArray& sequence, const QString& port) {
        QFile f(dir.filePath(QStringLiteral("t.seq")));
        f.open(QIODevice::WriteOnly);
        f.write(sequence);
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(ORV_TEST_PATH),
                      {QStringLiteral("--run"), f.fileName(), QStringLiteral("--port"), port,
                       QStringLiteral("--report"), dir.filePath(QStringLiteral("r.xml"))});
        process.waitForStarted();
    }
    // Serves the device until the program ends or until `until` holds.
    void serve(PtyPair& device, const Answer& answer, std::function<bool()> until = {}) {
        QByteArray pending;
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
            pending += device.read(1, 20);
            // Frames are 3 bytes (0B 05, 0B 06) or 5 (keypad).
            while (pending.size() >= 3) {
                const int size = (pending[1] == 5 || pending[1] == 6) ? 3 : 5;
                if (pending.size() < size)
                    break;
                frames << pending.left(size);
                device.write(answer(pending.left(size)));
                pending.remove(0, size);
            }
            process.waitForReadyRead(1);
            out += process.readAllStandardOutput();
            if (until && until())
                return;
        }
        process.waitForFinished(5000);
        out += process.readAllStandardOutput();
    }
    QByteArray report() {
        QFile f(dir.filePath(QStringLiteral("r.xml")));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
};

bool wellFormed(const QByteArray& xml) {
    QXmlStreamReader r(xml);
    while (!r.atEnd())
        r.readNext();
    return !r.hasError() && !xml.isEmpty();
}

const QByteArray ack = "0B 00 0B\r\n";
Answer always(const QByteArray& reply) {
    return [reply](const QByteArray&) { return reply; };
}
// Reset is not answered, everything else ACK.
QByteArray picky(const QByteArray& frame) {
    return frame == QByteArray("\x0B\x06\x11", 3) ? QByteArray() : ack;
}

} // namespace

class TestSequenceRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void verdictExitStatusAndReport_data() {
        QTest::addColumn<QStringList>("sim"); // orv-sim's options; none: the test's device
        QTest::addColumn<QByteArray>("sequence");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArrayList>("outHas");
        QTest::addColumn<QByteArrayList>("reportHas");
        QTest::newRow("passes against orv-sim")
            << QStringList{QStringLiteral("--split")}
            << QByteArray("repeat 3\n  key 1\n  expect ACK\nend\ncommtest\nexpect any\n") << 0
            << QByteArrayList{"  Key: 1 - 0B 00 02 50 5D\n",
                              "over 4 replies\nPASS: 4 of 4 expectations met\n"}
            << QByteArrayList{"tests=\"4\" failures=\"0\""};
        QTest::newRow("orv-sim's NAK fails at its line and repetition")
            << QStringList{QStringLiteral("--answer"), QStringLiteral("0B 02 02 50 5F=NAK")}
            << QByteArray("repeat 2\n repeat 2\n  key 1\n  expect ACK\n end\n key 5\n"
                          " expect ACK within 500 # NAK\nend\n")
            << 1
            << QByteArrayList{"Expect failed: t.seq:7: expected ACK, got \"0B FF 0A\\r\\n\"",
                              "FAIL: 2 of 6 expectations failed"}
            << QByteArrayList{"tests=\"6\" failures=\"2\"",
                              "name=\"t.seq:7 expect ACK (repetition 2)\"",
                              "name=\"t.seq:4 expect ACK (repetition 2, 1)\"",
                              "<failure message=\"expected ACK, got &quot;0B FF 0A\\r\\n&quot;\""};
        QTest::newRow("expect none passes on a silent frame")
            << QStringList() << QByteArray("reset\nexpect none within 200\n") << 0
            << QByteArrayList{"Latency (ms): min -, median -, p95 -, max - over 0 replies",
                              "PASS: 1 of 1 expectations met"}
            << QByteArrayList{"failures=\"0\""};
        QTest::newRow("expect none fails on an answered frame")
            << QStringList() << QByteArray("KEY 2\nExpect NONE within 2000\n") << 1
            << QByteArrayList{"expected none, got \"0B 00 0B\\r\\n\"", "over 1 replies"}
            << QByteArrayList{"failures=\"1\""};
        QTest::newRow("silence fails a reply expectation after its bound")
            << QStringList() << QByteArray("reset\nexpect CRC within 100\n") << 1
            << QByteArrayList{"t.seq:2: expected CRC, got no reply within 100 ms"}
            << QByteArrayList{"expected CRC, got no reply within 100 ms"};
    }
    void verdictExitStatusAndReport() {
        QFETCH(QStringList, sim);
        QFETCH(QByteArray, sequence);
        QFETCH(int, status);
        QFETCH(QByteArrayList, outHas);
        QFETCH(QByteArrayList, reportHas);
        PtyPair device;
        HeadlessRun run;
        if (sim.isEmpty()) {
            run.start(sequence, device.slavePath());
            run.serve(device, picky);
        } else {
            SimProcess orvSim(sim);
            QVERIFY(orvSim.isRunning());
            run.start(sequence, orvSim.devicePath());
            QVERIFY(run.process.waitForFinished(20000));
            run.out = run.process.readAllStandardOutput();
        }
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), status);
        for (const QByteArray& text : outHas)
            QVERIFY2(run.out.contains(text), run.out.constData());
        const QByteArray report = run.report();
        QVERIFY(wellFormed(report));
        for (const QByteArray& text : reportHas)
            QVERIFY2(report.contains(text), report.constData());
    }

    void nestedRepeatsSendTheirFramesInOrder() {
        PtyPair device;
        HeadlessRun run;
        run.start("repeat 2\n key 1\n repeat 2\n  commtest\n  key #\n end\nend\nreset\n",
                  device.slavePath());
        run.serve(device, always({}));
        QCOMPARE(run.process.exitCode(), 0);
        const QByteArray k1("\x0B\x00\x02\x50\x5D", 5), ct("\x0B\x05\x10", 3),
            rs("\x0B\x06\x11", 3);
        QCOMPARE(run.frames, (QByteArrayList{k1, ct, ct, k1, ct, ct, rs}));
    }

    void aBadFileOrPortSendsNothingAndSaysWhere_data() {
        QTest::addColumn<QByteArray>("sequence");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("unknown step") << QByteArray("key 1\n\nkee 5\n") << QString()
                                      << QByteArray("t.seq:3: \"kee 5\": unknown step");
        QTest::newRow("port that cannot open")
            << QByteArray("key 1\n") << QStringLiteral("/nonexistent/tty")
            << QByteArray("Cannot start the run: ");
    }
    void aBadFileOrPortSendsNothingAndSaysWhere() {
        QFETCH(QByteArray, sequence);
        QFETCH(QString, port);
        QFETCH(QByteArray, error);
        PtyPair device;
        HeadlessRun run;
        run.start(sequence, port.isEmpty() ? device.slavePath() : port);
        QVERIFY(run.process.waitForFinished(10000));
        QCOMPARE(run.process.exitCode(), 2);
        QVERIFY(run.process.readAllStandardError().contains(error));
        QCOMPARE(device.readAvailable(), QByteArray());
        QVERIFY(!QFile::exists(run.dir.filePath(QStringLiteral("r.xml"))));
    }

    void sigtermMidRunLeavesAReadableReport() {
        PtyPair device;
        HeadlessRun run;
        run.start("key 1\nexpect ACK\nwait 600000\nkey 2\n", device.slavePath());
        run.serve(device, always(ack), [&] { return run.out.contains("Reply: "); });
        QVERIFY(run.out.contains("Reply: "));
        ::kill(pid_t(run.process.processId()), SIGTERM);
        QVERIFY(run.process.waitForFinished(5000));
        QCOMPARE(run.process.exitCode(), 143);
        QVERIFY(run.process.readAllStandardOutput().contains("PASS: 1 of 1 expectations met"));
        const QByteArray report = run.report();
        QVERIFY(wellFormed(report));
        QVERIFY(wellFormed(report));
        QVERIFY2(report.contains("tests=\"1\" failures=\"0\"") &&
                     report.contains("<system-err>Stopped by signal 15"),
                 report.constData());
        QCOMPARE(device.readAvailable(), QByteArray()); // key 2 never went out
    }
};

QTEST_GUILESS_MAIN(TestSequenceRun)
#include "tst_sequencerun.moc"
