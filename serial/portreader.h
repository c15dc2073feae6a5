#pragma once

#include "serial/replycollector.h"

#include <QList>
#include <QObject>
#include <atomic>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

// Reads the port on a thread of its own, blocked in epoll_wait() on the port's
// descriptor: each piece is read as it comes, cut into replies and stamped
// right there, so a reply's time is when it arrived, not when the window's
// thread got round to it. That thread is woken for the replies at once after
// a quiet spell or a send (an operator's click and its answer), and while a
// device streams, at most once per holdNs: every line stays its own reply
// with its own time, only the hand-over is batched.
class PortReader : public QObject {
    Q_OBJECT
public:
    // A reply this long after the one before it is handed over at once.
    static constexpr qint64 quietNs = 50'000'000;
    // How long a reply in a stream may wait for the next hand-over. A batch
    // goes with the line read when the next one, at the stream's pace, would
    // come after that: so a steady stream is handed over as it is read, not
    // by a wake of the reader's own at the deadline.
    static constexpr qint64 holdNs = 100'000'000;
    // A flood is handed over in slices of this many, so that the window's
    // thread is never held long by one.
    static constexpr int sliceLines = 1024;
    // This many waiting is a flood, not a stream a person reads: handed over
    // without waiting for the hold, so that its end is on screen at once.
    static constexpr int floodLines = 256;
    // Beyond this much waiting, reading pauses (the system's buffer and the
    // device wait) until the window's thread has caught up.
    static constexpr qsizetype maxQueuedBytes = qsizetype(512) << 10;
    static constexpr qsizetype maxQueuedLines = 16384;

    explicit PortReader(QObject* parent = nullptr);
    ~PortReader() override;

    // Starts reading fd, which it now owns; replies left from before go.
    // False, with errno set, when it cannot.
    bool start(int fd);
    // Stops reading and closes the descriptor; replies not yet taken stay.
    void stop();

    // A frame is being written: what comes next is handed over at once.
    void noteSend() { m_sent.store(true, std::memory_order_relaxed); }

    // The replies read so far, oldest first, at most maxLines of them. With
    // finish, what the system holds for the port is read first, and bytes
    // still waiting for their line feed become a reply too.
    QList<ReceivedReply> take(bool finish, int maxLines = std::numeric_limits<int>::max());
    // Whether replies are still waiting after a take.
    bool hasWaiting() const;
    // Whether reading ended because the device went away or failed, and the
    // system's error (0: it hung up).
    bool lost(int* error = nullptr) const;

Q_SIGNALS:
    // Replies are waiting, or reading has ended. Emitted on the reader's
    // thread: connect it queued.
    void ready();

private:
    void run();
    // With m_mutex held: reads once, setting nowNs to the time of a read
    // that got bytes; false when reading has ended.
    bool readOnce(char* buffer, qsizetype size, bool hungUp, qint64& nowNs);
    void queue(QList<ReceivedReply>& replies, bool urgent);
    // With m_mutex held: whether to wake the window's thread now.
    bool wakeDue(qint64 nowNs);
    void wakeReader();

    mutable std::mutex m_mutex;
    std::thread m_thread;
    int m_fd = -1;
    int m_wakeFd = -1; // an eventfd: stop, or room again in the queue
    int m_epollFd = -1;
    bool m_stopping = false;
    bool m_lost = false;
    int m_lostError = 0;
    std::atomic<bool> m_sent{false};
    ReplyCollector m_collector;
    std::deque<ReceivedReply> m_queue;
    qsizetype m_queuedBytes = 0;
    bool m_wakePending = false; // a ready() is on its way and not taken yet
    bool m_urgent = false;      // the waiting replies are to be handed over at once
    bool m_paused = false;      // full: the reader waits to be woken before reading on
    qint64 m_lastLineNs = -1;
    qint64 m_gapNs = 0; // between the last two lines, at most holdNs / 4
};
