#pragma once
// TEMPORARY stand-in for the report engineer's histogram; reverted before merge.
#include <QtGlobal>
#include <array>
#include <cmath>

class LatencyHistogram {
public:
    void add(qint64 us) {
        ++m_count;
        m_min = m_count == 1 ? us : qMin(m_min, us);
        m_max = qMax(m_max, us);
        ++m_counts[std::size_t(indexOf(us))];
    }
    qint64 count() const { return m_count; }
    qint64 minUs() const { return m_min; }
    qint64 maxUs() const { return m_max; }
    qint64 quantileUs(double q) const {
        if (!m_count)
            return 0;
        const qint64 rank = qMax<qint64>(1, qint64(std::ceil(q * double(m_count))));
        qint64 seen = 0;
        for (int i = 0; i < bucketCount(); ++i)
            if ((seen += m_counts[std::size_t(i)]) >= rank)
                return qBound(m_min, (bucketLowerUs(i) + bucketUpperUs(i)) / 2, m_max);
        return m_max;
    }
    qint64 medianUs() const { return quantileUs(0.5); }
    int bucketCount() const { return buckets; }
    qint64 bucketLowerUs(int i) const { return i == 0 ? 0 : qint64(std::pow(1.02, i - 1)); }
    qint64 bucketUpperUs(int i) const { return qint64(std::pow(1.02, i)); }
    qint64 countAt(int i) const { return m_counts[std::size_t(i)]; }

private:
    static constexpr int buckets = 1400;
    static int indexOf(qint64 us) {
        if (us < 1)
            return 0;
        return qBound(1, int(std::log(double(us)) / std::log(1.02)) + 1, buckets - 1);
    }
    qint64 m_count = 0, m_min = 0, m_max = 0;
    std::array<qint64, buckets> m_counts{};
};
