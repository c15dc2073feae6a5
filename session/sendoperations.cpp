// The send operations of the main window: remember the frame, write it to the
// port, record it in the monitor. None of them waits for a reply.
#include "protocol/commandtable.h"
#include "session/mainsession.h"

void MainSession::send(const CommandFrame& frame) {
    m_cmdHex = frame.bytes();
    m_cmdAscii = QString::fromLatin1(frame.hex.data(), qsizetype(frame.hex.size()));
    transmit(m_cmdHex, frame.monitorLine());
}

void MainSession::transmit(const QByteArray& bytes, const QByteArray& line) {
    LineStamp at;
    const quint64 id = ++m_frameIds;
    switch (m_link.output(bytes, id, &at)) {
    case SerialLink::Output::Sent:
        // Every reply read before the frame went is shown before its row.
        m_waiting.push_back({id, line});
        handOverReplies();
        return;
    case SerialLink::Output::Waiting:
        // The port is full: the row comes when the device has drained it.
        m_waiting.push_back({id, line});
        return;
    case SerialLink::Output::Failed:
        break;
    }
    // Nothing reached the device, so the line must not read like a sent frame.
    m_monitor.append("Not sent (" + m_link.lastError().toUtf8() + "): " + line);
}

void MainSession::addSent(const QByteArray& line, const LineStamp& at) {
    ++m_sendCount;
    m_monitor.append(line, at.msecsSinceEpoch);
    m_lastSendNumber = m_monitor.droppedCount() + m_monitor.count() - 1;
    if (m_sends.size() == keptSends)
        m_sends.pop_front();
    m_sends.push_back({at.monotonicNs, m_lastSendNumber, m_sendCount});
    Q_EMIT frameSent(m_sendCount, at.monotonicNs);
}

void MainSession::sendKeyCode(qint16 Index) {
    if (const CommandFrame* frame = commands::keypadFrame(Index))
        send(*frame);
    // Also when nothing was sent ("*", "#").
    m_monitor.selectLast();
}

void MainSession::sendCommTest() {
    send(commands::commTest);
}

void MainSession::sendReset() {
    send(commands::reset);
}
