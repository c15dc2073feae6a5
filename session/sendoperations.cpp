// The send operations of the main window: remember the frame, write it to the
// port, record it in the monitor. None of them waits for a reply.
#include "protocol/commandtable.h"
#include "protocol/hexframe.h"
#include "session/mainsession.h"

void MainSession::send(const CommandFrame& frame, SessionPress press) {
    send(frame.bytes(), QString::fromLatin1(frame.hex.data(), qsizetype(frame.hex.size())),
         frame.monitorLine(), std::move(press));
}

void MainSession::send(const QByteArray& bytes, const QString& hex, const QByteArray& line,
                       SessionPress press) {
    m_cmdHex = bytes;
    m_cmdAscii = hex;
    press.frame = bytes;
    LineStamp at;
    const quint64 id = ++m_frameIds;
    switch (m_link.output(bytes, id, &at)) {
    case SerialLink::Output::Sent:
        // Every reply read before the frame went is shown before its row.
        m_waiting.push_back({id, line, std::move(press)});
        handOverReplies();
        return;
    case SerialLink::Output::Waiting:
        // The port is full: the row comes when the device has drained it.
        m_waiting.push_back({id, line, std::move(press)});
        return;
    case SerialLink::Output::Failed:
        break;
    }
    // Nothing reached the device, so the line must not read like a sent frame.
    m_monitor.append("Not sent (" + m_link.lastError().toUtf8() + "): " + line);
    Q_EMIT pressed(press);
}

void MainSession::addSent(const Waiting& frame, const LineStamp& at) {
    ++m_sendCount;
    m_monitor.append(frame.line, at.msecsSinceEpoch);
    m_lastSendNumber = m_monitor.droppedCount() + m_monitor.count() - 1;
    if (m_sends.size() == keptSends)
        m_sends.pop_front();
    m_sends.push_back({at.monotonicNs, m_lastSendNumber, m_sendCount});
    Q_EMIT frameSent(m_sendCount, at.monotonicNs);
    SessionPress press = frame.press;
    press.sentNs = at.monotonicNs;
    Q_EMIT pressed(press);
}

void MainSession::sendKeyCode(qint16 Index) {
    const SessionPress press{SessionPress::Key, Index, {}, -1};
    if (const CommandFrame* frame = commands::keypadFrame(Index))
        send(*frame, press);
    else // "*" and "#" send nothing, but were pressed all the same
        Q_EMIT pressed(press);
    // Also when nothing was sent ("*", "#").
    m_monitor.selectLast();
}

void MainSession::sendCommTest() {
    send(commands::commTest, {SessionPress::CommTest, -1, {}, -1});
}

void MainSession::sendReset() {
    send(commands::reset, {SessionPress::Reset, -1, {}, -1});
}

void MainSession::sendFrame(const QByteArray& frame) {
    if (frame.isEmpty())
        return;
    const QByteArray hex = hexText(frame);
    send(frame, QString::fromLatin1(hex), "Sent: " + hex, {SessionPress::Frame, -1, {}, -1});
}
