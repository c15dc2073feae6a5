// The device goes away in the middle of a flood of replies: the window stays
// up, keeps every line it had, and says what happened.
#include "app/bench.h"
#include "feeder.h"
#include "simrun.h"

#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

namespace {

const QByteArray replyPrefix = "Reply: ";

// orv-sim's flood: "0B 00 0B 000001\r\n" upwards, as one stream of bytes.
class FloodStream {
public:
    QByteArray next() {
        return "0B 00 0B " + QByteArray::number(++m_line).rightJustified(6, '0') + "\r\n";
    }
    static QByteArray first(qsizetype atLeast) {
        FloodStream s;
        QByteArray out;
        while (out.size() < atLeast)
            out += s.next();
        return out;
    }

private:
    int m_line = 0;
};

QList<QByteArray> monitorLines(MainWindow* w) {
    MonitorModel& m = w->session().lstComm();
    QList<QByteArray> out;
    for (int i = 0; i < m.count(); ++i)
        out.append(m.line(i));
    return out;
}

int replyCount(MainWindow* w) {
    int n = 0;
    for (const QByteArray& line : monitorLines(w))
        n += line.startsWith(replyPrefix);
    return n;
}

} // namespace

class TestDeviceVanishes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Every monitor line also goes to a session log: keep it out of the way.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }

    void orvSimKilledDuringAFlood() {
        SimRun sim({QStringLiteral("--flood"), QStringLiteral("1000000000")});
        QVERIFY(sim.isRunning());
        TestBench bench(sim.devicePath());
        MainWindow* w = bench.start();
        QVERIFY(w);
        QVERIFY(w->session().link().portOpen());
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        // Mid-flood: many replies in, and the device still sending.
        QTRY_VERIFY_WITH_TIMEOUT(replyCount(w) >= 300, 60000);
        const QList<QByteArray> before = monitorLines(w);
        QSignalSpy problems(&w->session(), &MainSession::linkProblem);
        sim.kill();
        checkLossWasSurvived(bench, w, before, problems);
    }

    void ptyMasterClosedDuringAFlood() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        QVERIFY(w->session().link().portOpen());
        FloodStream stream;
        PtyFeeder feeder(bench.device, [&stream] {
            QByteArray piece;
            for (int i = 0; i < 64; ++i)
                piece += stream.next();
            return piece;
        });
        QTRY_VERIFY_WITH_TIMEOUT(replyCount(w) >= 300, 60000);
        // The window keeps reading while the feeder finishes its piece.
        feeder.stop();
        QTRY_VERIFY_WITH_TIMEOUT(feeder.finished(), 30000);
        feeder.join();
        QVERIFY2(feeder.failure().isEmpty(), feeder.failure().constData());
        const QList<QByteArray> before = monitorLines(w);
        QSignalSpy problems(&w->session(), &MainSession::linkProblem);
        bench.device.closeMaster();
        checkLossWasSurvived(bench, w, before, problems);
    }

private:
    void checkLossWasSurvived(TestBench& bench, MainWindow* w, const QList<QByteArray>& before,
                              const QSignalSpy& problems) {
        auto lost = [w] {
            const QList<QByteArray> lines = monitorLines(w);
            return !lines.isEmpty() && lines.last().startsWith("Error: Lost ");
        };
        QTRY_VERIFY_WITH_TIMEOUT(lost(), 30000);
        const QList<QByteArray> after = monitorLines(w);
        QCOMPARE(problems.count(), 1);
        QVERIFY(problems.first().first().toString().startsWith(QLatin1String("Lost ")));

        // Still the same window, shown, working, and it said so once.
        QCOMPARE(bench.windows.main(), w);
        QVERIFY(w->isVisible());
        QVERIFY(!bench.windows.splash());
        QCOMPARE(bench.endCount, 0);
        QVERIFY(!w->session().link().portOpen());
        QTest::mouseClick(child<QPushButton>(w, "cmdReset"), Qt::LeftButton);
        const QByteArray last = w->session().lstComm().line(w->session().lstComm().count() - 1);
        QVERIFY2(last.startsWith("Not sent ("), last.constData());
        QVERIFY(last.endsWith("Reset - 0B 06 11"));
        // The freed pty number goes to the next pty anyone opens, maybe another
        // test's: the window must not try it again meanwhile.
        w->session().linkEnd();
        QTRY_COMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
        const QString warning = w->findChild<QMessageBox*>(QStringLiteral("linkWarning"))->text();
        QVERIFY2(warning.startsWith(QLatin1String("Lost ")), qPrintable(warning));

        // Every line it had is still there, unchanged and in place.
        QVERIFY(after.size() > before.size());
        for (int i = 0; i < before.size(); ++i)
            QVERIFY2(after[i] == before[i], qPrintable(QStringLiteral("line %1 changed").arg(i)));
        // After them only what was still on its way, then the one error line.
        for (int i = before.size(); i < after.size() - 1; ++i)
            QVERIFY2(after[i].startsWith(replyPrefix), after[i].left(80).constData());
        int errors = 0;
        for (const QByteArray& line : after)
            errors += line.startsWith("Error: ");
        QCOMPARE(errors, 1);

        // The replies are the device's bytes, in order, none lost or doubled:
        // a prefix of the flood (an unfinished last line included).
        QByteArray received;
        qsizetype receivedBefore = 0;
        for (int i = 0; i < after.size(); ++i) {
            if (!after[i].startsWith(replyPrefix))
                continue;
            received += after[i].mid(replyPrefix.size());
            if (i < before.size())
                receivedBefore = received.size();
        }
        QVERIFY(receivedBefore > 0);
        const QByteArray expected = FloodStream::first(received.size());
        QVERIFY2(received == expected.left(received.size()),
                 "the replies are not the flood's bytes in order");

        // The monitor view shows every row, the error selected (Reset keeps
        // the selection where it was).
        auto* view = child<QListView>(w, "lstComm");
        QTRY_COMPARE(view->model()->rowCount(), w->session().lstComm().count());
        QTRY_COMPARE(view->currentIndex().row(), after.size() - 1);
    }

    QTemporaryDir m_state;
};

QTEST_MAIN(TestDeviceVanishes)
#include "tst_devicevanishes.moc"
