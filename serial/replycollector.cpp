#include "serial/replycollector.h"

#include <ctime>

namespace {

qint64 clockNs(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

qint64 monotonicNs() {
    return clockNs(CLOCK_MONOTONIC);
}

LineStamp LineStamp::now() {
    return {clockNs(CLOCK_REALTIME) / 1000000, clockNs(CLOCK_MONOTONIC)};
}

void ReplyCollector::feed(const QByteArray& bytes, const LineStamp& at,
                          QList<ReceivedReply>& done) {
    expire(at.monotonicNs, done);
    if (bytes.isEmpty())
        return;
    qsizetype from = 0;
    if (m_text.isEmpty())
        m_firstNs = at.monotonicNs;
    for (qsizetype lf = bytes.indexOf('\n'); lf >= 0; lf = bytes.indexOf('\n', from)) {
        if (m_text.isEmpty()) {
            // The usual case, a whole reply in one read, is passed on uncopied.
            done.append(
                {lf + 1 == bytes.size() && from == 0 ? bytes : bytes.sliced(from, lf + 1 - from),
                 at});
        } else {
            m_text += bytes.sliced(from, lf + 1 - from);
            done.append({m_text, at});
            m_text.clear();
        }
        from = lf + 1;
        m_firstNs = at.monotonicNs;
    }
    if (from < bytes.size()) {
        m_text += bytes.sliced(from);
        m_last = at;
    }
}

void ReplyCollector::expire(qint64 nowNs, QList<ReceivedReply>& done, bool force) {
    if (m_text.isEmpty() || (!force && nowNs < deadlineNs()))
        return;
    done.append({m_text, m_last});
    m_text.clear();
}
