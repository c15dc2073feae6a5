#include "feeder.h"

#include <chrono>

void LoopTicks::tick() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_count;
    }
    m_changed.notify_all();
}

int LoopTicks::count() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

bool LoopTicks::waitBeyond(int seen, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_count > seen; });
}

PtyFeeder::PtyFeeder(PtyPair& pty, std::function<QByteArray()> next, const LoopTicks* ticks)
    : m_thread([this, &pty, next = std::move(next), ticks] { run(pty, next, ticks); }) {}

PtyFeeder::~PtyFeeder() {
    stop();
    join();
}

void PtyFeeder::join() {
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray PtyFeeder::failure() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

void PtyFeeder::run(PtyPair& pty, std::function<QByteArray()> next, const LoopTicks* ticks) {
    // Generous: only a window that has stopped for good takes this long.
    constexpr int loopTimeoutMs = 60000;
    int seen = ticks ? ticks->count() : 0;
    while (!m_stop) {
        const QByteArray piece = next();
        if (piece.isEmpty())
            break;
        if (ticks && m_pieces > 0) {
            if (!ticks->waitBeyond(seen, loopTimeoutMs)) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_failure = "the window's event loop did not turn for a minute";
                break;
            }
            seen = ticks->count();
        }
        if (!pty.write(piece)) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_failure = "a write to the pty did not go through";
            break;
        }
        ++m_pieces;
    }
    m_finished = true;
}
