// The send operations of the main window: remember the frame, write it to the
// port, record it in the monitor. None of them waits for a reply.
#include "protocol/commandtable.h"
#include "protocol/hexframe.h"
#include "session/mainsession.h"

void MainSession::send(const CommandFrame& frame) {
    send(frame.bytes(), QString::fromLatin1(frame.hex.data(), qsizetype(frame.hex.size())),
         frame.monitorLine());
}

void MainSession::send(const QByteArray& bytes, const QString& hex, const QByteArray& line) {
    m_cmdHex = bytes;
    m_cmdAscii = hex;
    if (m_link.output(m_cmdHex)) {
        const LineStamp at = m_link.lastOutputStamp();
        ++m_sendCount;
        m_monitor.append(line, at.msecsSinceEpoch);
        m_lastSendNumber = m_monitor.droppedCount() + m_monitor.count() - 1;
        if (m_sends.size() == keptSends)
            m_sends.pop_front();
        m_sends.push_back({at.monotonicNs, m_lastSendNumber});
        return;
    }
    // Nothing reached the device, so the line must not read like a sent frame.
    m_monitor.append("Not sent (" + m_link.lastError().toUtf8() + "): " + line);
}

void MainSession::sendKeyCode(qint16 Index) {
    const quint64 before = m_sendCount;
    const CommandFrame* frame = commands::keypadFrame(Index);
    if (frame)
        send(*frame);
    // Also when nothing was sent ("*", "#").
    m_monitor.selectLast();
    notePress(SessionPress::Key, Index, frame ? m_cmdHex : QByteArray(), before);
}

void MainSession::sendCommTest() {
    const quint64 before = m_sendCount;
    send(commands::commTest);
    notePress(SessionPress::CommTest, -1, m_cmdHex, before);
}

void MainSession::sendReset() {
    const quint64 before = m_sendCount;
    send(commands::reset);
    notePress(SessionPress::Reset, -1, m_cmdHex, before);
}

void MainSession::sendFrame(const QByteArray& frame) {
    if (frame.isEmpty())
        return;
    const quint64 before = m_sendCount;
    const QByteArray hex = hexText(frame);
    send(frame, QString::fromLatin1(hex), "Sent: " + hex);
    notePress(SessionPress::Frame, -1, frame, before);
}

void MainSession::notePress(SessionPress::Kind kind, qint16 key, const QByteArray& frame,
                            quint64 sendsBefore) {
    SessionPress press;
    press.kind = kind;
    press.key = key;
    press.frame = frame;
    if (m_sendCount != sendsBefore)
        press.sentNs = m_sends.back().ns;
    Q_EMIT pressed(press);
}
