#pragma once

#include <QtGlobal>
#include <limits>

// When the replies a reader thread has queued are handed to the thread that
// shows them. The whole contract, fed times rather than reading a clock:
// - hand over at once a reply that follows a quiet spell, the first reply
//   after a send, and anything queued urgently (a frame that has gone);
// - during a stream, hold a reply at most holdNs, and hand it with the line
//   read when the next, at the stream's pace, would come after that;
// - floodLines waiting is a flood: hand over at once, and the taker takes it
//   in slices of sliceLines, coming back by itself until none wait;
// - at the full mark (fullBytes or fullLines waiting) the reader pauses, and
//   it reads again once a take has brought the queue under half of both.
// After saying "wake", it says nothing more until the taker has taken.
class HandOver {
public:
    static constexpr qint64 quietNs = 50'000'000;
    static constexpr qint64 holdNs = 100'000'000;
    static constexpr int sliceLines = 1024;
    static constexpr int floodLines = 256;
    static constexpr qsizetype fullBytes = qsizetype(512) << 10;
    static constexpr qsizetype fullLines = 16384;
    static constexpr qint64 never = std::numeric_limits<qint64>::max();

    // A reply that ended at atNs, of `bytes`, was queued.
    void queued(qint64 atNs, qsizetype bytes, bool urgent = false);
    // A frame went out: what is queued next is its answer.
    void sent() { m_sent = true; }
    // Whether to wake the taker at nowNs.
    bool wakeDue(qint64 nowNs);
    // When wakeDue says yes if nothing more comes; never while none wait.
    qint64 dueNs() const;
    // The taker took `lines` replies of `bytes`. True when a paused reader
    // is to read again.
    bool taken(qsizetype lines, qsizetype bytes);
    // Whether replies still wait after a take (the taker comes back for them).
    bool waiting() const { return m_lines > 0; }
    bool paused() const { return m_paused; }
    void reset() { *this = HandOver(); }

private:
    qsizetype m_lines = 0;
    qsizetype m_bytes = 0;
    qint64 m_oldestNs = 0;    // of the oldest reply not yet handed over
    qint64 m_lastLineNs = -1; // the latest reply queued
    qint64 m_gapNs = 0;       // between the last two, at most holdNs / 4
    bool m_sent = false;
    bool m_urgent = false;
    bool m_wakePending = false;
    bool m_paused = false;
};
