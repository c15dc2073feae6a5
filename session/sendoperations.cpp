// The send operations of the main window: remember the frame, write it to the
// port, record it in the monitor. None of them waits for a reply.
#include "protocol/commandtable.h"
#include "session/mainsession.h"

void MainSession::send(const CommandFrame& frame) {
    m_cmdHex = frame.bytes();
    m_cmdAscii = QString::fromLatin1(frame.hex.data(), qsizetype(frame.hex.size()));
    if (m_link.output(m_cmdHex)) {
        const LineStamp at = m_link.lastOutputStamp();
        ++m_sendCount;
        m_monitor.append(frame.monitorLine(), at.msecsSinceEpoch);
        m_lastSendNumber = m_monitor.droppedCount() + m_monitor.count() - 1;
        if (m_sends.size() == keptSends)
            m_sends.pop_front();
        m_sends.push_back({at.monotonicNs, m_lastSendNumber});
        return;
    }
    // Nothing reached the device, so the line must not read like a sent frame.
    m_monitor.append("Not sent (" + m_link.lastError().toUtf8() + "): " + frame.monitorLine());
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
