// What a bench engineer expects beyond the original: reconnecting to a
// device that comes (back).
#include "support/simprocess.h"
#include "support/testbench.h"

#include <QMessageBox>

class TestConveniences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portOpensWhenItAppearsAndAgainWhenItComesBack() {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("orv-device"));
        TestBench bench(link);
        MainWindow* w = bench.start();
        MainSession& s = w->session();
        QVERIFY(!s.portOpen() && s.isReconnecting());
        QList<QByteArray> before = lines(s.monitor());
        for (const char* now : {" is open now", " is open again"}) {
            SimProcess sim({QStringLiteral("--link"), link}); // plugged in
            QTRY_VERIFY_WITH_TIMEOUT(s.portOpen(), 10000);
            QCOMPARE(s.monitor().line(before.size()), "Port: " + link.toUtf8() + now);
            click(w, "cmdCommTest");
            QTRY_COMPARE(s.monitor().count(), before.size() + 3);
            QCOMPARE(s.monitor().line(before.size() + 2), QByteArray("Reply: 0B 00 0B\r\n"));
            // Nothing before the loss went missing.
            QCOMPARE(lines(s.monitor()).mid(0, before.size()), before);
            QVERIFY(sim.stop()); // unplugged
            QTRY_VERIFY(!s.portOpen() && s.isReconnecting());
            QVERIFY(lines(s.monitor()).last().startsWith("Error: Lost " + link.toUtf8()));
            before = lines(s.monitor());
        }
        // The loss is told once.
        QCOMPARE(w->findChildren<QMessageBox*>(QStringLiteral("linkWarning")).size(), 1);
    }
};

QTEST_MAIN(TestConveniences)
#include "tst_conveniences.moc"
