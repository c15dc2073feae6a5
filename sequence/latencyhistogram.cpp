#include "sequence/latencyhistogram.h"

#include <cmath>
#include <limits>

int LatencyHistogram::bucketOf(qint64 us) {
    if (us < linearBuckets)
        return int(qMax<qint64>(us, 0));
    const int top = 63 - __builtin_clzll(quint64(us)); // 7..62
    const int shift = top - 6;
    return linearBuckets + (top - 7) * subBuckets + int((us >> shift) - subBuckets);
}

qint64 LatencyHistogram::bucketLowerUs(int i) {
    if (i < linearBuckets)
        return i;
    const int octave = (i - linearBuckets) / subBuckets;
    const int sub = (i - linearBuckets) % subBuckets;
    return qint64(subBuckets + sub) << (octave + 1);
}

qint64 LatencyHistogram::bucketUpperUs(int i) {
    if (i + 1 >= bucketCount())
        return std::numeric_limits<qint64>::max();
    return bucketLowerUs(i + 1);
}

void LatencyHistogram::add(qint64 us) {
    us = qMax<qint64>(us, 0);
    m_min = m_count ? qMin(m_min, us) : us;
    m_max = m_count ? qMax(m_max, us) : us;
    ++m_count;
    ++m_counts[std::size_t(bucketOf(us))];
}

void LatencyHistogram::clear() {
    *this = LatencyHistogram();
}

double LatencyHistogram::valueAtRank(qint64 rank) const {
    if (rank <= 1)
        return double(m_min);
    if (rank >= m_count)
        return double(m_max);
    quint64 seen = 0;
    for (int i = 0; i < bucketCount(); ++i) {
        seen += m_counts[std::size_t(i)];
        if (seen >= quint64(rank)) {
            // The middle of the whole microseconds the bucket holds, within
            // what was seen.
            const double mid = (double(bucketLowerUs(i)) + double(bucketUpperUs(i) - 1)) / 2;
            return qBound(double(m_min), mid, double(m_max));
        }
    }
    return double(m_max);
}

double LatencyHistogram::quantileUs(double q) const {
    if (m_count == 0)
        return 0;
    const qint64 rank = qint64(std::ceil(q * double(m_count) - 1e-9));
    return valueAtRank(qBound<qint64>(1, rank, m_count));
}

double LatencyHistogram::medianUs() const {
    if (m_count == 0)
        return 0;
    if (m_count % 2)
        return valueAtRank(m_count / 2 + 1);
    return (valueAtRank(m_count / 2) + valueAtRank(m_count / 2 + 1)) / 2;
}
