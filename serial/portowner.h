#pragma once

#include "serial/handover.h"
#include "serial/portlock.h"
#include "serial/replycollector.h"

#include <QList>
#include <QObject>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

// What the port did, in the order it happened: a reply read, or the last
// byte of a frame handed to the system.
struct PortEvent {
    ReceivedReply reply; // when frame is 0
    quint64 frame = 0;   // that frame went at reply.at
};

// The one owner of a serial device: it opens the tty, holds it exclusive
// (TIOCEXCL, an flock and the LCK.. file) from its open to its close, and is
// the only code that touches its descriptor. A thread of its own blocks in
// epoll_wait() on it: each piece is read as it comes, cut into replies and
// stamped right there, and frames that found the system's buffer full are
// written from there as room comes, whole and in order.
class PortOwner : public QObject {
    Q_OBJECT
public:
    // Why an open failed: the reason for the message, and the holder of the
    // device's lock when that was the reason.
    struct Refusal {
        QString reason;
        int error = 0; // the system's, when the open itself failed
        qint64 holderPid = 0;
        QString holderName;
    };
    enum class Write { Written, Queued, Failed };

    explicit PortOwner(QObject* parent = nullptr);
    ~PortOwner() override;

    // Opens device (a resolved path) at 9600 8N1, raw, no flow control;
    // nothing, or why not.
    std::optional<Refusal> open(const QString& device);
    // Closes it; events not yet taken stay.
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Hands frame `id` to the system, at once if there is room (its time in
    // *at), else after the frames before it; the system's error if it fails.
    // Either way an event says when it went, after the replies read before.
    Write write(const QByteArray& bytes, quint64 id, LineStamp* at, int* error);
    // Frames still waiting for room, oldest first; dropped with `forget`.
    QList<quint64> unwritten(bool forget);

    // What happened so far, oldest first, at most maxEvents. With finish,
    // what the system holds is read first and bytes waiting for their line
    // feed end as a reply too (before closing: nothing said is lost).
    QList<PortEvent> take(bool finish, int maxEvents);
    bool hasWaiting() const;
    // Bytes read that wait for their line feed, and when the first came.
    ReceivedReply unfinished() const;
    // Whether reading ended because the device went away or failed, and the
    // system's error (0: it hung up).
    bool lost(int* error) const;

    // The modem lines (TIOCM_* bits), or nothing on a port without them.
    std::optional<int> modemLines() const;
    bool setModemLine(int line, bool on);

Q_SIGNALS:
    // Events wait, or reading has ended. Emitted on the owner's thread.
    void ready();

private:
    struct Frame {
        quint64 id;
        QByteArray bytes;
        qsizetype written = 0;
    };

    void run();
    // With m_mutex held: reads once, setting nowNs to the time of a read
    // that got bytes; the bytes read, -1 when reading has ended.
    qsizetype readOnce(char* buffer, qsizetype size, bool hungUp, qint64& nowNs);
    // With m_mutex held: writes what waits while there is room; false on failure.
    bool writeQueued();
    void queue(QList<ReceivedReply>& replies);
    void frameWent(quint64 id, const LineStamp& at);
    void endReading(int error);
    void wakeOwner();

    mutable std::mutex m_mutex;
    std::thread m_thread;
    int m_fd = -1;
    int m_wakeFd = -1; // an eventfd: stop, frames to write, or room again in the queue
    int m_epollFd = -1;
    PortLock m_lock;
    bool m_stopping = false;
    bool m_lost = false;
    int m_lostError = 0;
    bool m_resumed = false; // reading was paused and goes on
    ReplyCollector m_collector;
    HandOver m_handOver;
    std::deque<PortEvent> m_events;
    std::deque<Frame> m_frames;
};
