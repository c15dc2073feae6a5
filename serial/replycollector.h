#pragma once

#include <QByteArray>
#include <QList>

// Gathers received bytes into reply texts. A reply is complete once the
// gathered text holds a line feed; it is taken whole, as received, so bytes
// that came after the line feed in the same read stay with it. A device that
// never sends a line feed cannot hold a reply back for ever: once the bound has
// passed since the first byte, what was gathered is a reply of its own.
class ReplyCollector {
public:
    static constexpr qint64 boundMs = 2000;

    // Bytes that arrived at nowMs (any monotonic millisecond clock). Returns the
    // replies this completes: none, one, or two when the bound had already
    // passed for what was waiting.
    QList<QByteArray> feed(const QByteArray& bytes, qint64 nowMs);
    // The waiting text, if the bound has passed at nowMs.
    QList<QByteArray> expire(qint64 nowMs);

    bool isEmpty() const { return m_text.isEmpty(); }
    // When the waiting text falls due; meaningless while empty.
    qint64 deadline() const { return m_firstByteMs + boundMs; }
    void clear() { m_text.clear(); }

private:
    QByteArray m_text;
    qint64 m_firstByteMs = 0;
};
