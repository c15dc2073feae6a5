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

// A completed reply and its two times: when its first byte was read, and
// when it ended (its line feed was read, its bound passed, or it was cut).
struct ReceivedReply {
    QByteArray text;
    LineStamp first;
    LineStamp at;
    // Cut at maxLineBytes without a line feed: the line goes on in the next.
    bool continues = false;
};

// Gathers received bytes into replies. A reply is the bytes up to and
// including a line feed, as received; bytes after a line feed begin the next
// reply. A device that never sends a line feed cannot hold a reply back for
// ever: once the bound has passed since its first byte, what was gathered is
// a reply of its own, and a line longer than maxLineBytes is cut into rows of
// that size, so what waits stays bounded.
class ReplyCollector {
public:
    static constexpr qint64 boundMs = 2000;
    static constexpr qint64 boundNs = boundMs * 1000000;
    static constexpr int maxLineMiB = 1;
    static constexpr qsizetype maxLineBytes = qsizetype(maxLineMiB) << 20;

    // Bytes read at `at`. Appends the replies this completes to `done`: what
    // was waiting first if its bound had passed, then one per line feed.
    void feed(const QByteArray& bytes, const LineStamp& at, QList<ReceivedReply>& done);
    // Appends the waiting bytes as a reply if the bound has passed at nowNs
    // (on the monotonic clock); all of them with `force`, ending at nowNs.
    void expire(qint64 nowNs, QList<ReceivedReply>& done, bool force = false);
    // The reader did not read for ns (it was paused): the bound counts only
    // time spent reading, so it moves on by that much.
    void postpone(qint64 ns) { m_deadlineNs += ns; }

    bool isEmpty() const { return m_text.isEmpty(); }
    // The bytes waiting for their line feed, and when the first was read.
    const QByteArray& waiting() const { return m_text; }
    const LineStamp& waitingSince() const { return m_first; }
    // When the waiting bytes fall due (monotonic ns); meaningless while empty.
    qint64 deadlineNs() const { return m_deadlineNs; }
    void clear() { m_text.clear(); }

private:
    void begin(const LineStamp& at);
    void cut(const LineStamp& at, QList<ReceivedReply>& done);

    QByteArray m_text;
    LineStamp m_first;
    LineStamp m_last; // when the last waiting byte came
    qint64 m_deadlineNs = 0;
};
