// A long session through the window: random buttons clicked against
// orv-sim answering each frame in two pieces with random pauses, random
// pauses of our own between clicks. Two rounds, each ended by Clear Comm;
// what the second leaves on the heap beyond the first is what the window
// keeps per command.

#include "inscenarios.h"

#include <QAbstractButton>
#include <QTest>
#include <malloc.h>
#include <random>

namespace bench {

namespace {

// Bytes allocated and not freed: unlike the resident size, this does not
// depend on what the allocator keeps for later.
double heapInUseKiB() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / 1024.0;
}

} // namespace

int soak(Harness& h, SimDevice& sim, int trips) {
    QList<QAbstractButton*> buttons;
    for (const char* name : {"cmdCommTest", "cmdReset"})
        if (auto* b = h.window->findChild<QAbstractButton*>(QLatin1String(name)))
            buttons << b;
    for (QAbstractButton* b :
         h.window->findChildren<QAbstractButton*>(QStringLiteral("cmdKeyPress")))
        if (b->text().size() == 1 && b->text().front().isDigit())
            buttons << b;
    auto* clear = h.window->findChild<QAbstractButton*>(QStringLiteral("cmdClearComm"));
    if (buttons.size() != 12 || !clear)
        return Harness::fail("the window's buttons were not found"), 1;
    long replies = 0;
    // Whatever the signal carries: only that a reply completed.
    QObject::connect(&h.window->session(), &MainSession::replyReceived, h.window,
                     [&] { ++replies; });
    std::mt19937 random(20240613u);
    double heap[2] = {};
    bool whole = true;
    for (int round = 0; round < 2; ++round) {
        for (int trip = 1; trip <= trips; ++trip) {
            const long before = replies;
            QTest::mouseClick(buttons[int(random() % std::uint32_t(buttons.size()))],
                              Qt::LeftButton);
            if (!h.runUntil([&] { return replies > before; }, 30000, 1))
                return Harness::fail("no reply within 30 s, trip " + std::to_string(trip)), 1;
            h.settle(int(random() % 4));
        }
        // Every frame answered, each answer whole in a row of its own, nothing else.
        const MonitorModel& monitor = h.model();
        int acks = 0;
        for (int r = 0; r < monitor.count(); ++r)
            acks += monitor.at(r).text == "Reply: 0B 00 0B\r\n" ? 1 : 0;
        if (monitor.count() != 2 * trips || acks != trips) {
            std::fprintf(stderr, "orv-bench-inproc: soak round %d: %d rows, %d of them ACK\n",
                         round + 1, monitor.count(), acks);
            whole = false;
        }
        QTest::mouseClick(clear, Qt::LeftButton);
        // Deferred deletions and queued work first: the heap is read at rest.
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        heap[round] = heapInUseKiB();
        std::fprintf(stderr, "orv-bench-inproc: soak round %d: %ld replies, heap %.0f KiB\n",
                     round + 1, replies, heap[round]);
    }
    // orv-sim's log is read in gulps: its count may trail a little.
    h.runUntil([&] { return sim.frames >= 2L * trips; }, 2000);
    whole = whole && replies == 2L * trips && sim.frames == 2L * trips;
    result("soak_in_round_trips", double(replies));
    result("soak_in_every_frame_answered", whole ? 1 : 0);
    result("soak_in_heap_growth_kib", heap[1] - heap[0]);
    return whole ? 0 : 1;
}

} // namespace bench
