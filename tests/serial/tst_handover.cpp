// The reader's hand-over rules, fed an injected clock.
#include "serial/handover.h"

#include <QTest>

class TestHandOver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rules_data() {
        // Steps: "qMS" a reply ended at MS is queued ("qMSxN": N of them),
        // "s" a frame went, "?MS" asks wakeDue at MS ("wake" or "-"), "tN"
        // takes N ("resume" when a paused reader reads again, else "-"),
        // "p" says whether reading is paused.
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QByteArrayList>("said");
        QTest::newRow("after quiet: at once") << QByteArrayList{"q0", "?0", "t1", "q60", "?60"}
                                              << QByteArrayList{"wake", "-", "wake"};
        // Held until the next line, at the stream's pace, would come after the hold.
        QTest::newRow("stream: held, then handed with a line")
            << QByteArrayList{"q0", "?0", "t1", "q10", "?10", "q20", "?20", "?84", "?96"}
            << QByteArrayList{"wake", "-", "-", "-", "-", "wake"};
        QTest::newRow("after a send: at once, even mid-stream")
            << QByteArrayList{"q0", "?0", "t1", "q10", "?10", "s", "q20", "?20"}
            << QByteArrayList{"wake", "-", "-", "wake"};
        QTest::newRow("urgent: a frame that went")
            << QByteArrayList{"q0", "?0", "t1", "q10", "?10", "u20", "?20"}
            << QByteArrayList{"wake", "-", "-", "wake"};
        QTest::newRow("once told, nothing more until taken")
            << QByteArrayList{"q0", "?0", "q1", "?1", "?500", "t2", "q530", "?530"}
            << QByteArrayList{"wake", "-", "-", "-", "wake"};
        QTest::newRow("flood: at once at floodLines")
            << QByteArrayList{"q0", "?0", "t1", "q1x255", "?1", "q1", "?1"}
            << QByteArrayList{"wake", "-", "-", "wake"};
        // A partial take leaves the rest to the taker's own next turn.
        QTest::newRow("slices: the rest is still waiting, no new wake")
            << QByteArrayList{"q0x2000", "?0", "t1024", "?1", "t976", "q2000", "?2000"}
            << QByteArrayList{"wake", "-", "-", "-", "wake"};
        QTest::newRow("full mark pauses, half mark resumes")
            << QByteArrayList{"q0x16383", "p", "q0", "p", "t8192", "p", "t1", "p"}
            << QByteArrayList{"reading", "paused", "-", "paused", "resume", "reading"};
    }
    void rules() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QByteArrayList, said);
        HandOver h;
        QByteArrayList got;
        for (const QByteArray& step : steps) {
            const QByteArrayList parts = step.mid(1).split('x');
            const qint64 ns = parts.value(0).toLongLong() * 1000000;
            switch (step[0]) {
            case 'q':
                for (int i = 0; i < parts.value(1, "1").toInt(); ++i)
                    h.queued(ns, 10);
                break;
            case 'u':
                h.queued(ns, 0, true);
                break;
            case 's':
                h.sent();
                break;
            case '?':
                got << (h.wakeDue(ns) ? "wake" : "-");
                break;
            case 't':
                got << (h.taken(parts[0].toInt(), parts[0].toInt() * 10) ? "resume" : "-");
                break;
            case 'p':
                got << (h.paused() ? "paused" : "reading");
                break;
            }
        }
        QCOMPARE(got, said);
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
