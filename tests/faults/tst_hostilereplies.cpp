// Replies no device should send: a megabyte without a line feed, and lines of
// nothing but NUL and 0xFF bytes. Each must be kept whole, shown visibly, and
// the window must keep working while they arrive and while it draws them.
#include "app/bench.h"
#include "app/visibletext.h"
#include "feeder.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QRandomGenerator>

namespace {

const QByteArray replyPrefix = "Reply: ";

QList<QByteArray> replies(MainWindow* w) {
    MonitorModel& m = w->session().lstComm();
    QList<QByteArray> out;
    for (int i = 0; i < m.count(); ++i) {
        if (m.line(i).startsWith(replyPrefix))
            out.append(m.line(i).mid(replyPrefix.size()));
    }
    return out;
}

qsizetype replyBytes(MainWindow* w) {
    qsizetype n = 0;
    for (const QByteArray& r : replies(w))
        n += r.size();
    return n;
}

// How much of a line the row must show as it is: a view may shorten a long
// line, but not its start.
constexpr qsizetype shownInFull = 100;

void checkShownVisibly(const QString& shown, const QByteArray& reply) {
    const QString start = QLatin1String(replyPrefix) + visibleText(reply.left(shownInFull));
    if (reply.size() <= shownInFull)
        QCOMPARE(shown, start);
    else
        QVERIFY2(shown.startsWith(start), qPrintable(shown.left(200)));
}

// The window's event loop, watched: a timer that counts its ticks and notes
// the longest pause between two of them.
class LoopWatch : public QObject {
public:
    LoopWatch() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longestPauseMs = qMax(m_longestPauseMs, m_sinceTick.restart());
            ticks.tick();
        });
        m_sinceTick.start();
        m_timer.start();
    }
    qint64 longestPauseMs() const { return m_longestPauseMs; }
    LoopTicks ticks;

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestPauseMs = 0;
};

// Counts the paints a view does on its own, to tell whether it has drawn
// since its model last gave it rows.
class PaintCount : public QObject {
public:
    explicit PaintCount(QAbstractItemView* view) {
        view->viewport()->installEventFilter(this);
        connect(view->model(), &QAbstractItemModel::rowsInserted, this,
                [this] { m_atLastInsert = m_count; });
    }
    bool drewNewRows() const { return m_count > m_atLastInsert; }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        m_count += e->type() == QEvent::Paint;
        return false;
    }

private:
    int m_count = 0;
    int m_atLastInsert = 0;
};

// A healthy window turns its loop every few milliseconds; one that does not
// for a whole second has frozen in the operator's eyes. A liveness bound, far
// from any speed target.
constexpr qint64 frozenMs = 1000;

#define CHECK_NOT_FROZEN(watch)                                                                    \
    do {                                                                                           \
        qInfo("longest pause of the event loop: %lld ms", qlonglong((watch).longestPauseMs()));    \
        QVERIFY2((watch).longestPauseMs() < frozenMs,                                              \
                 qPrintable(QStringLiteral("the window did not react for %1 ms")                   \
                                .arg((watch).longestPauseMs())));                                  \
    } while (false)

} // namespace

class TestHostileReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Every monitor line also goes to a session log: keep it out of the way.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }

    void megabyteWithoutLineFeedIsKeptWholeAndTheWindowKeepsWorking() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        auto* view = child<QListView>(w, "lstComm");
        PaintCount paints(view);
        // Every byte value but the line feed, NUL and 0xFF among them.
        QByteArray sent(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < sent.size(); ++i) {
            const char c = char((i * 7 + i / 256) & 0xFF);
            sent[i] = c == '\n' ? char(0xFF) : c;
        }
        QVERIFY(sent.contains('\0') && sent.contains(char(0xFF)) && !sent.contains('\n'));

        LoopWatch watch;
        qsizetype offset = 0;
        constexpr qsizetype piece = 16 * 1024;
        PtyFeeder feeder(
            bench.device,
            [&sent, &offset] {
                const QByteArray next = sent.mid(offset, piece);
                offset += next.size();
                return next;
            },
            &watch.ticks);
        QTRY_VERIFY_WITH_TIMEOUT(feeder.finished(), 120000);
        feeder.join();
        QVERIFY2(feeder.failure().isEmpty(), feeder.failure().constData());
        QCOMPARE(feeder.piecesWritten(), sent.size() / piece);

        // With no line feed it becomes a reply once the bound has passed (more
        // than one if the bytes took longer than that to come).
        QTRY_COMPARE_WITH_TIMEOUT(replyBytes(w), sent.size(), 60000);
        const QList<QByteArray> got = replies(w);
        QCOMPARE(got.join(), sent);
        for (const QByteArray& reply : got)
            QVERIFY(!reply.isEmpty());
        qInfo("1 MiB arrived as %lld reply line(s)", qlonglong(got.size()));

        // The view draws it on its own; the loop must keep turning meanwhile.
        QTRY_COMPARE(view->model()->rowCount(), w->session().lstComm().count());
        QTRY_VERIFY_WITH_TIMEOUT(paints.drewNewRows(), 30000);
        int ticks = watch.ticks.count();
        QTRY_VERIFY_WITH_TIMEOUT(watch.ticks.count() > ticks + 3, 30000);

        // Shown, every byte visible.
        const QString shown = view->model()->index(0, 0).data().toString();
        checkShownVisibly(shown, got.first());
        QVERIFY(shown.contains(QLatin1String("\\x00")));
        QVERIFY(shown.contains(QLatin1String("\\xFF")));
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), QStringLiteral("Response"));

        // It still answers the operator, and draws the new line too.
        QTest::mouseClick(child<QWidget>(w, "cmdCommTest"), Qt::LeftButton);
        QCOMPARE(bench.device.read(3), QByteArray("\x0B\x05\x10", 3));
        QTRY_COMPARE(view->model()->rowCount(), w->session().lstComm().count());
        QTRY_VERIFY_WITH_TIMEOUT(paints.drewNewRows(), 30000);
        ticks = watch.ticks.count();
        QTRY_VERIFY_WITH_TIMEOUT(watch.ticks.count() > ticks + 3, 30000);
        CHECK_NOT_FROZEN(watch);
    }

    void repliesOfNulAndFfAreKeptAndShownVisibly() {
        TestBench bench;
        MainWindow* w = bench.start();
        QVERIFY(w);
        auto* view = child<QListView>(w, "lstComm");
        PaintCount paints(view);
        LoopWatch watch;
        QList<QByteArray> sent;
        QRandomGenerator random(20240611);
        const int sizes[] = {1, 2, 98, 255, 4096, 65536, 1000};
        for (const int size : sizes) {
            QByteArray reply(size, Qt::Uninitialized);
            for (char& c : reply)
                c = random.bounded(2) ? '\0' : char(0xFF);
            reply += "\r\n";
            sent.append(reply);
            // One at a time, so that each is a line of its own.
            PtyFeeder feeder(bench.device, [reply, done = false]() mutable {
                const QByteArray next = done ? QByteArray() : reply;
                done = true;
                return next;
            });
            QTRY_COMPARE_WITH_TIMEOUT(replies(w).size(), sent.size(), 30000);
            QTRY_VERIFY(feeder.finished());
            QVERIFY2(feeder.failure().isEmpty(), feeder.failure().constData());
        }
        QCOMPARE(replies(w), sent);

        QTRY_COMPARE(view->model()->rowCount(), sent.size());
        for (int row = 0; row < sent.size(); ++row) {
            const QString shown = view->model()->index(row, 0).data().toString();
            checkShownVisibly(shown, sent[row]);
            QVERIFY(shown.contains(QLatin1String("\\x00")) ||
                    shown.contains(QLatin1String("\\xFF")));
        }
        QCOMPARE(view->model()->index(0, 0).data().toString().size(),
                 replyPrefix.size() + 4 + 4); // one byte as \xNN, then \r\n
        QTRY_COMPARE(view->currentIndex().row(), sent.size() - 1);
        // Not an ACK, NAK or CRC reply: the lamp stays as it was.
        QCOMPARE(child<QLabel>(w, "lblResponse")->text(), QStringLiteral("Response"));
        QTRY_VERIFY_WITH_TIMEOUT(paints.drewNewRows(), 30000);
        const int ticks = watch.ticks.count();
        QTRY_VERIFY_WITH_TIMEOUT(watch.ticks.count() > ticks + 3, 30000);
        CHECK_NOT_FROZEN(watch);
    }

private:
    QTemporaryDir m_state;
};

QTEST_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
