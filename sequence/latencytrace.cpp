#include "sequence/latencytrace.h"

LatencyTrace::Bucket& LatencyTrace::bucketFor(qint64 atMs) {
    atMs = qMax<qint64>(0, atMs);
    while (atMs / m_spanMs >= bucketLimit) {
        for (int i = 0; i < bucketLimit / 2; ++i) {
            const Bucket& a = m_buckets[std::size_t(2 * i)];
            const Bucket& b = m_buckets[std::size_t(2 * i + 1)];
            Bucket merged;
            merged.failures = a.failures + b.failures;
            if (a.hasReply() || b.hasReply()) {
                merged.minUs = !a.hasReply()   ? b.minUs
                               : !b.hasReply() ? a.minUs
                                               : qMin(a.minUs, b.minUs);
                merged.maxUs = qMax(a.maxUs, b.maxUs);
            }
            m_buckets[std::size_t(i)] = merged;
        }
        for (int i = bucketLimit / 2; i < bucketLimit; ++i)
            m_buckets[std::size_t(i)] = Bucket();
        m_spanMs *= 2;
        m_used = (m_used + 1) / 2;
    }
    const int i = int(atMs / m_spanMs);
    m_used = qMax(m_used, i + 1);
    ++m_revision;
    return m_buckets[std::size_t(i)];
}

void LatencyTrace::addReply(qint64 atMs, qint64 latencyUs) {
    Bucket& b = bucketFor(atMs);
    b.minUs = b.hasReply() ? qMin(b.minUs, latencyUs) : latencyUs;
    b.maxUs = qMax(b.maxUs, latencyUs);
    m_maxUs = qMax(m_maxUs, latencyUs);
}

void LatencyTrace::addFailure(qint64 atMs) {
    ++bucketFor(atMs).failures;
}
