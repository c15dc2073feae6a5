// The device goes away in the middle of a flood of replies: the window stays
// up, keeps every line it had, and says what happened once.
#include "support/simprocess.h"
#include "support/testbench.h"

#include <QMessageBox>
#include <QSignalSpy>

class TestDeviceVanishes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void orvSimKilledDuringAFlood() {
        SimProcess sim({QStringLiteral("--flood"), QStringLiteral("1000000000")});
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QVERIFY(w);
        const MonitorModel& m = w->session().monitor();
        click(w, "cmdCommTest");
        QTRY_VERIFY_WITH_TIMEOUT(replies(m).size() >= 300, 60000);
        const QList<QByteArray> before = lines(m);
        QSignalSpy problems(&w->session(), &MainSession::linkProblem);
        sim.kill();

        QTRY_VERIFY_WITH_TIMEOUT(lines(m).last().startsWith("Error: Lost "), 30000);
        // The freed pty number may go to another test's pty: stop trying it.
        w->session().linkEnd();
        QCOMPARE(problems.count(), 1);
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(w->isVisible() && !bench.windows.splash() && bench.endCount == 0);
        QTRY_COMPARE(w->findChildren<QMessageBox*>("linkWarning").size(), 1);

        // Every line it had is unchanged and in place; after them only what was
        // still on its way, then the one error line.
        const QList<QByteArray> after = lines(m);
        QCOMPARE(after.mid(0, before.size()), before);
        for (int i = before.size(); i < after.size() - 1; ++i)
            QVERIFY2(after[i].startsWith("Reply: "), after[i].left(80).constData());
        // None lost or doubled: the replies are the flood's first bytes in order.
        const QByteArray received = replies(m).join();
        QByteArray flood;
        for (int line = 1; flood.size() < received.size(); ++line)
            flood += "0B 00 0B " + QByteArray::number(line).rightJustified(6, '0') + "\r\n";
        QVERIFY2(received == flood.left(received.size()), "not the flood's bytes in order");
    }
};

QTEST_MAIN(TestDeviceVanishes)
#include "tst_devicevanishes.moc"
