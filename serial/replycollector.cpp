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

void ReplyCollector::begin(const LineStamp& at) {
    m_first = at;
    m_deadlineNs = at.monotonicNs + boundNs;
}

void ReplyCollector::cut(const LineStamp& at, QList<ReceivedReply>& done) {
    done.append({m_text.first(maxLineBytes), m_first, at, true});
    m_text.remove(0, maxLineBytes);
    begin(at);
}

void ReplyCollector::feed(const QByteArray& bytes, const LineStamp& at,
                          QList<ReceivedReply>& done) {
    expire(at.monotonicNs, done);
    if (bytes.isEmpty())
        return;
    qsizetype from = 0;
    if (m_text.isEmpty())
        begin(at);
    for (qsizetype lf = bytes.indexOf('\n'); lf >= 0; lf = bytes.indexOf('\n', from)) {
        if (m_text.isEmpty()) {
            // The usual case, a whole reply in one read, is passed on uncopied.
            done.append(
                {lf + 1 == bytes.size() && from == 0 ? bytes : bytes.sliced(from, lf + 1 - from),
                 m_first, at});
        } else {
            m_text += bytes.sliced(from, lf + 1 - from);
            while (m_text.size() > maxLineBytes)
                cut(at, done);
            done.append({m_text, m_first, at});
            m_text.clear();
        }
        from = lf + 1;
        begin(at);
    }
    if (from < bytes.size()) {
        m_text += bytes.sliced(from);
        m_last = at;
        while (m_text.size() >= maxLineBytes)
            cut(at, done);
    }
}

void ReplyCollector::expire(qint64 nowNs, QList<ReceivedReply>& done, bool force) {
    if (m_text.isEmpty() || (!force && nowNs < m_deadlineNs))
        return;
    // It ended when its bound passed; the wall clock follows the monotonic one.
    const qint64 endNs = force ? qMax(nowNs, m_last.monotonicNs) : m_deadlineNs;
    const LineStamp end{m_last.msecsSinceEpoch + (endNs - m_last.monotonicNs) / 1000000, endNs};
    done.append({m_text, m_first, end});
    m_text.clear();
}
