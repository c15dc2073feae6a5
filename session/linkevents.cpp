// The session's side of the serial link: link start, and the handler of
// the link's communication events, which turns received bytes into replies.
#include "session/mainsession.h"

#include <limits>

bool MainSession::linkStart() {
    m_reconnect.stop();
    const bool named = m_link.setCommPort(m_port) && m_settingsError.isEmpty();
    if (m_link.portOpen())
        m_link.setPortOpen(false);
    const bool opened = named && m_link.setPortOpen(true);
    m_serialInput.clear();
    m_serialOutput.clear();
    m_wasOpen = opened;
    m_opened = opened ? PortIdentity::of(m_link.portName()) : PortIdentity{};
    if (!opened) {
        if (!m_settingsError.isEmpty()) {
            reportProblem(m_settingsError);
            return false;
        }
        // A port that exists by name may still appear (adapter plugged in late);
        // a pseudo-terminal's number never comes back to the same device.
        const bool retry = named && !m_link.refusedAsTerminal() &&
                           reopenCanBecomeSafe(PortIdentity::of(m_link.portName()));
        if (named && !retry && !m_link.refusedAsTerminal())
            reportProblem(m_link.lastError() + QStringLiteral(" (not tried again: its number "
                                                              "goes to the next terminal opened)"));
        else
            reportProblem(m_link.lastError());
        if (retry)
            m_reconnect.start();
    }
    return opened;
}

void MainSession::linkEnd() {
    m_reconnect.stop();
    if (m_link.portOpen()) {
        // Whatever the device said before the end stays on record, even unfinished.
        completeEvents(m_link.takeEvents(true, true));
        m_link.setPortOpen(false);
    }
    m_log.flush();
}

void MainSession::handOverReplies() {
    completeEvents(m_link.takeEvents(true));
}

void MainSession::handleCommEvent(int code) {
    if (code == SerialLink::CtsChangeEvent) {
        LineStamp at;
        m_link.output(m_serialOutput, ++m_frameIds, &at);
        // A short pause before DTR drops, without holding up the window.
        m_ctsPause.start();
    } else if (code == SerialLink::ReceiveEvent) {
        completeEvents(m_link.takeEvents());
    } else if (code == SerialLink::SendEvent) {
        // The port raises no send events; a link that did would drop DTR here.
        m_link.setDTREnable(false);
    }
}

void MainSession::onPortLost(const QString& message) {
    completeEvents(m_link.takeEvents(true, true));
    // Frames still waiting for room never reached the device.
    for (const Waiting& w : m_waiting) {
        m_monitor.append("Not sent (" + message.toUtf8() + "): " + w.line);
        Q_EMIT pressed(w.press);
    }
    m_waiting.clear();
    m_link.dropUnwritten();
    // The monitor says why before anyone hears of the loss: a run that ends
    // on it prints the monitor's last lines at once.
    const bool retry = m_lostPortNote.isEmpty() && reopenCanBecomeSafe(m_opened);
    if (!m_lostPortNote.isEmpty())
        reportProblem(message + QStringLiteral(" (") + m_lostPortNote + QLatin1Char(')'));
    else
        reportProblem(retry ? message + QStringLiteral(" (trying again every second)") : message);
    Q_EMIT portLost(message);
    if (retry)
        m_reconnect.start();
}

void MainSession::retryPort() {
    // Opening a missing device fails at once, so this never holds the window.
    if (m_wasOpen && !reopenIsSafe(m_opened, m_link.portName()))
        return;
    if (!m_link.setPortOpen(true)) {
        // Whatever came in its place under that name is someone's terminal.
        if (m_link.refusedAsTerminal()) {
            m_reconnect.stop();
            reportProblem(m_link.lastError());
        }
        return;
    }
    m_opened = PortIdentity::of(m_link.portName());
    m_reconnect.stop();
    m_monitor.append("Port: " + m_link.portName().toUtf8() +
                     (m_wasOpen ? " is open again" : " is open now"));
    m_wasOpen = true;
    m_monitor.selectLast();
}

void MainSession::completeEvents(const QList<PortEvent>& events) {
    for (const PortEvent& e : events) {
        if (e.frame == 0) {
            completeReply(e.reply);
        } else if (!m_waiting.empty() && m_waiting.front().id == e.frame) {
            const Waiting frame = m_waiting.front();
            m_waiting.pop_front();
            addSent(frame, e.reply.at);
        } // else serialOutput, which has no row
    }
}

void MainSession::completeReply(const ReceivedReply& reply) {
    m_serialInput = reply.text;
    // It answers the latest frame handed over before its first byte came,
    // both stamped where the bytes cross to the system.
    const Sent* sent = nullptr;
    for (const Sent& s : m_sends)
        if (s.ns <= reply.first.monotonicNs)
            sent = &s;
    const qint64 latencyNs = sent ? reply.at.monotonicNs - sent->ns : -1;
    m_monitor.append(
        "Reply: " + reply.text, reply.at.msecsSinceEpoch,
        sent ? qint32(qMin<qint64>(latencyNs / 1000, std::numeric_limits<qint32>::max())) : -1,
        sent ? sent->number : -1, reply.continues);
    m_monitor.selectLast();
    Q_EMIT replyReceived(reply.text, latencyNs);
    Q_EMIT replyRead({reply.text, reply.first.monotonicNs, reply.at.monotonicNs,
                      sent ? sent->frame : 0, latencyNs,
                      m_monitor.droppedCount() + m_monitor.count() - 1, reply.continues});
}
