// The device goes away in the middle of a flood of replies: the window stays
// up, keeps every line it had, and says what happened once.
#include "faults.h"

#include <QMessageBox>
#include <QSignalSpy>

namespace {

// orv-sim's flood: "0B 00 0B 000001\r\n" upwards, as one stream of bytes.
QByteArray floodStart(qsizetype atLeast) {
    QByteArray out;
    for (int line = 1; out.size() < atLeast; ++line)
        out += "0B 00 0B " + QByteArray::number(line).rightJustified(6, '0') + "\r\n";
    return out;
}

} // namespace

class TestDeviceVanishes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(useScratchStateDir()); }

    void orvSimKilledDuringAFlood() {
        SimRun sim({QStringLiteral("--flood"), QStringLiteral("1000000000")});
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QVERIFY(w);
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(replies(w).size() >= 300, 60000);
        const QList<QByteArray> before = monitorLines(w);
        QSignalSpy problems(&w->session(), &MainSession::linkProblem);
        sim.kill();

        QTRY_VERIFY_WITH_TIMEOUT(monitorLines(w).last().startsWith("Error: Lost "), 30000);
        const QList<QByteArray> after = monitorLines(w);
        QCOMPARE(problems.count(), 1);
        QVERIFY(problems.first().first().toString().startsWith(QLatin1String("Lost ")));
        checkStillUp(bench, w);
        QVERIFY(!w->session().portOpen());
        // The freed pty number may go to another test's pty: stop trying it.
        w->session().linkEnd();
        QTRY_COMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
        const QString warning = w->findChild<QMessageBox*>(QStringLiteral("linkWarning"))->text();
        QVERIFY2(warning.startsWith(QLatin1String("Lost ")), qPrintable(warning));

        // Every line it had is unchanged and in place; after them only what was
        // still on its way, then the one error line.
        QVERIFY(after.size() > before.size());
        QCOMPARE(after.mid(0, before.size()), before);
        for (int i = before.size(); i < after.size() - 1; ++i)
            QVERIFY2(after[i].startsWith(replyPrefix), after[i].left(80).constData());
        int errors = 0;
        for (const QByteArray& line : after)
            errors += line.startsWith("Error: ");
        QCOMPARE(errors, 1);

        // None lost or doubled: the replies are a prefix of the flood.
        const QByteArray received = replies(w).join();
        QVERIFY2(received == floodStart(received.size()).left(received.size()),
                 "the replies are not the flood's bytes in order");
    }
};

QTEST_MAIN(TestDeviceVanishes)
#include "tst_devicevanishes.moc"
