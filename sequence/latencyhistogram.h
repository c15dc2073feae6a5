#pragma once

#include <QtGlobal>
#include <array>

// Reply latencies of a run in fixed memory, however long it runs: min and max
// exact, quantiles from log-linear buckets (HDR-style). Values below 128 µs
// get a bucket each; above, every power of two is split into 64 equal
// buckets, so a bucket is never wider than 1/64 of its lower edge and its
// midpoint is within 0.8 % of any value in it. 3,712 buckets cover every
// non-negative qint64: about 29 KiB.
class LatencyHistogram {
public:
    void add(qint64 us);
    void clear();

    qint64 count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    qint64 minUs() const { return m_min; }
    qint64 maxUs() const { return m_max; }
    // The nearest-rank q-quantile (0 < q <= 1): the value of the
    // ceil(q * count())-th smallest sample, to within a bucket. 0 when empty.
    double quantileUs(double q) const;
    // The middle value, or the mean of the two middle values of an even count.
    double medianUs() const;

    // The buckets, for drawing: [bucketLowerUs(i), bucketUpperUs(i)) holds
    // countAt(i) samples.
    static constexpr int bucketCount() { return linearBuckets + octaves * subBuckets; }
    static qint64 bucketLowerUs(int i);
    static qint64 bucketUpperUs(int i);
    quint64 countAt(int i) const { return m_counts[std::size_t(i)]; }
    static int bucketOf(qint64 us);

private:
    static constexpr int subBuckets = 64;
    static constexpr int linearBuckets = 2 * subBuckets;
    // Powers of two from 2^7 to 2^62.
    static constexpr int octaves = 56;

    double valueAtRank(qint64 rank) const;

    std::array<quint64, std::size_t(linearBuckets + octaves * subBuckets)> m_counts{};
    qint64 m_count = 0;
    qint64 m_min = 0;
    qint64 m_max = 0;
};
