#pragma once

#include "support/pty.h"

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Counts ticks of the window's event loop (a QTimer in the test calls tick()),
// so another thread can wait until the loop has turned.
class LoopTicks {
public:
    void tick();
    int count() const;
    // Waits until count() exceeds `seen`; false if that took over timeoutMs.
    bool waitBeyond(int seen, int timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_count = 0;
};

// Plays a device that sends a lot: writes to the device side of a pty from a
// thread of its own, so the window's event loop runs all the while. (A write
// from the test's main thread would stall as soon as the pty is full, since
// the program could not read meanwhile.)
class PtyFeeder {
public:
    // `next` gives the next piece to write; an empty piece means the end.
    // With `ticks`, each piece after the first waits until the window's event
    // loop has turned since the piece before: proof that it keeps turning
    // while the data arrives, whatever the machine's speed.
    PtyFeeder(PtyPair& pty, std::function<QByteArray()> next, const LoopTicks* ticks = nullptr);
    ~PtyFeeder();
    PtyFeeder(const PtyFeeder&) = delete;
    PtyFeeder& operator=(const PtyFeeder&) = delete;

    // Asks it to stop after the piece being written.
    void stop() { m_stop = true; }
    bool finished() const { return m_finished; }
    // Why it ended early, or empty.
    QByteArray failure() const;
    qint64 piecesWritten() const { return m_pieces; }
    // Waits for the thread; call once finished() is true, or it may block.
    void join();

private:
    void run(PtyPair& pty, std::function<QByteArray()> next, const LoopTicks* ticks);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<qint64> m_pieces{0};
    mutable std::mutex m_mutex;
    QByteArray m_failure;
    std::thread m_thread;
};
