#pragma once

#include <QByteArray>
#include <QList>

// When a piece of a reply was read: the wall clock for the log and the
// tooltip, and the monotonic clock for latencies, which a change of the
// system time must not bend.
struct LineStamp {
    qint64 msecsSinceEpoch = 0;
    qint64 monotonicNs = 0;

    static LineStamp now();
};

// The monotonic clock LineStamp uses, for stamping sends.
qint64 monotonicNs();

// A completed reply and the time it arrived: when its line feed was read, or
// for one completed without a line feed, when its last byte was.
struct ReceivedReply {
    QByteArray text;
    LineStamp at;
};

// Gathers received bytes into replies. A reply is the bytes up to and
// including a line feed, as received; bytes after a line feed begin the next
// reply. A device that never sends a line feed cannot hold a reply back for
// ever: once the bound has passed since its first byte, what was gathered is
// a reply of its own.
class ReplyCollector {
public:
    static constexpr qint64 boundMs = 2000;
    static constexpr qint64 boundNs = boundMs * 1000000;

    // Bytes read at `at`. Appends the replies this completes to `done`: what
    // was waiting first if its bound had passed, then one per line feed.
    void feed(const QByteArray& bytes, const LineStamp& at, QList<ReceivedReply>& done);
    // Appends the waiting bytes as a reply if the bound has passed at nowNs
    // (on the monotonic clock); all of them with `force`.
    void expire(qint64 nowNs, QList<ReceivedReply>& done, bool force = false);

    bool isEmpty() const { return m_text.isEmpty(); }
    // When the waiting bytes fall due (monotonic ns); meaningless while empty.
    qint64 deadlineNs() const { return m_firstNs + boundNs; }
    void clear() { m_text.clear(); }

private:
    QByteArray m_text;
    qint64 m_firstNs = 0;
    LineStamp m_last; // when the last waiting byte came
};
