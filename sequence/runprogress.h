#pragma once

#include <QString>
#include <QVector>
#include <array>

// How far a run has come and how long it has left, for the run window and the
// headless status line alike. The pace is that of about the last half minute:
// a sample a second, the last 30 kept. The time left is worked out in double
// and clamped before it becomes a whole number, so that a run of 10^18
// expectations says a long time rather than a negative one.
class RunProgress {
public:
    // The most the time left is said to be: about 31,700 years.
    static constexpr double maxMsLeft = 1e15;

    explicit RunProgress(qint64 total) : m_total(total) {}

    // Where the run is at nowMs since it started: done expectations.
    void sample(qint64 nowMs, qint64 done);

    qint64 total() const { return m_total; }
    // Whether the total could be counted (it saturates at the largest qint64).
    bool countable() const;
    // The share done, 0 to 1.
    double share() const;
    // How long the kept samples cover, and the expectations gained in that time.
    qint64 spanMs() const;
    qint64 gained() const;
    // Expectations a second; 0 until two seconds are covered or none gained.
    double pace() const;
    // The time left at that pace, at most maxMsLeft; -1 when it is not known.
    qint64 msLeft() const;

private:
    using Sample = std::pair<qint64, qint64>; // (ms, expectations)
    const Sample& newest() const;
    const Sample& oldest() const;

    qint64 m_total;
    qint64 m_done = 0;
    std::array<Sample, 30> m_samples{};
    int m_count = 0;
};

// "2 d 3 h", "3 h 05 min", "4 min 10 s", "12 s".
QString duration(qint64 ms);

// "2, 17": the repetition of each block around a step, outermost first.
QString repetitionText(const QVector<int>& repetitions);
