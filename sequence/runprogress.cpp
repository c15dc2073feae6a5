#include "sequence/runprogress.h"

#include <QStringList>
#include <limits>

void RunProgress::sample(qint64 nowMs, qint64 done) {
    m_done = done;
    const int size = int(m_samples.size());
    if (m_count == 0 || nowMs - newest().first >= 1000)
        m_samples[std::size_t(m_count++ % size)] = {nowMs, done};
}

const RunProgress::Sample& RunProgress::newest() const {
    return m_samples[std::size_t((m_count - 1) % int(m_samples.size()))];
}

const RunProgress::Sample& RunProgress::oldest() const {
    const int size = int(m_samples.size());
    return m_samples[std::size_t(m_count >= size ? m_count % size : 0)];
}

bool RunProgress::countable() const {
    return m_total != std::numeric_limits<qint64>::max();
}

double RunProgress::share() const {
    return m_total > 0 ? qBound(0.0, double(m_done) / double(m_total), 1.0) : 0;
}

qint64 RunProgress::spanMs() const {
    return m_count ? newest().first - oldest().first : 0;
}

qint64 RunProgress::gained() const {
    return m_count ? newest().second - oldest().second : 0;
}

double RunProgress::pace() const {
    return spanMs() >= 2000 && gained() > 0 ? 1000.0 * double(gained()) / double(spanMs()) : 0;
}

qint64 RunProgress::msLeft() const {
    const double perSecond = pace();
    if (perSecond <= 0 || !countable())
        return -1;
    const double left = 1000.0 * double(qMax<qint64>(m_total - m_done, 0)) / perSecond;
    return qint64(qMin(left, maxMsLeft));
}

QString duration(qint64 ms) {
    const qint64 s = ms / 1000;
    if (s >= 86400)
        return QStringLiteral("%1 d %2 h").arg(s / 86400).arg(s % 86400 / 3600);
    if (s >= 3600)
        return QStringLiteral("%1 h %2 min")
            .arg(s / 3600)
            .arg(s % 3600 / 60, 2, 10, QLatin1Char('0'));
    if (s >= 60)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 s").arg(s);
}

QString repetitionText(const QVector<int>& repetitions) {
    QStringList r;
    for (const int n : repetitions)
        r << QString::number(n);
    return r.join(QStringLiteral(", "));
}
