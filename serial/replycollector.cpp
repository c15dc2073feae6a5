#include "serial/replycollector.h"

QList<QByteArray> ReplyCollector::feed(const QByteArray& bytes, qint64 nowMs) {
    QList<QByteArray> done = expire(nowMs);
    if (bytes.isEmpty())
        return done;
    if (m_text.isEmpty()) {
        m_firstByteMs = nowMs;
        // The usual case, a whole reply in one read, is passed on uncopied.
        if (bytes.contains('\n')) {
            done.append(bytes);
            return done;
        }
    }
    m_text += bytes;
    // Only the new bytes can hold the first line feed: the waiting text had none.
    if (bytes.contains('\n')) {
        done.append(m_text);
        m_text.clear();
    }
    return done;
}

QList<QByteArray> ReplyCollector::expire(qint64 nowMs) {
    if (m_text.isEmpty() || nowMs < deadline())
        return {};
    QList<QByteArray> done{m_text};
    m_text.clear();
    return done;
}
