#pragma once

#include <QtGlobal>
#include <array>

// Latency over a run's time in a fixed number of time buckets, each keeping
// the least and greatest latency and the failures that fell in it. When the
// run outgrows the buckets, neighbours merge in pairs and each bucket spans
// twice the time: a week costs the same memory, and draws the same number of
// points, as a minute.
class LatencyTrace {
public:
    static constexpr int bucketLimit = 512;
    static constexpr qint64 firstSpanMs = 50;

    struct Bucket {
        qint64 minUs = -1; // -1: no reply in this bucket
        qint64 maxUs = -1;
        qint64 failures = 0;
        bool hasReply() const { return minUs >= 0; }
    };

    // A reply latencyUs after its send, atMs into the run.
    void addReply(qint64 atMs, qint64 latencyUs);
    void addFailure(qint64 atMs);

    // The time each bucket spans; bucket i starts at i * spanMs().
    qint64 spanMs() const { return m_spanMs; }
    // Buckets 0 .. used() - 1 have been reached.
    int used() const { return m_used; }
    const Bucket& at(int i) const { return m_buckets[std::size_t(i)]; }
    qint64 maxUs() const { return m_maxUs; }
    // Bumped at every change, so a view redraws only when there is news.
    quint64 revision() const { return m_revision; }

private:
    Bucket& bucketFor(qint64 atMs);

    std::array<Bucket, bucketLimit> m_buckets{};
    qint64 m_spanMs = firstSpanMs;
    int m_used = 0;
    qint64 m_maxUs = 0;
    quint64 m_revision = 0;
};
