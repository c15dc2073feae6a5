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
        completeUnfinishedReply();
        m_link.setPortOpen(false);
    }
    m_log.flush();
}

void MainSession::completeUnfinishedReply() {
    completeReplies(m_link.takeReplies(true));
}

void MainSession::handleCommEvent(int code) {
    if (code == SerialLink::CtsChangeEvent) {
        m_link.output(m_serialOutput);
        // A short pause before DTR drops, without holding up the window.
        m_ctsPause.start();
    } else if (code == SerialLink::ReceiveEvent) {
        completeReplies(m_link.takeReplies());
    } else if (code == SerialLink::SendEvent) {
        // Send events are off by design; the branch stays for a link that raises them.
        m_link.setDTREnable(false);
    }
}

void MainSession::onPortLost(const QString& message) {
    completeUnfinishedReply();
    if (!m_lostPortNote.isEmpty()) {
        reportProblem(message + QStringLiteral(" (") + m_lostPortNote + QLatin1Char(')'));
        return;
    }
    if (!reopenCanBecomeSafe(m_opened)) {
        reportProblem(message);
        return;
    }
    reportProblem(message + QStringLiteral(" (trying again every second)"));
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

void MainSession::completeReplies(const QList<ReceivedReply>& replies) {
    for (const ReceivedReply& reply : replies) {
        m_serialInput = reply.text;
        // Timed from the latest frame handed over before the reply's line feed
        // came, both stamped where the bytes cross to the system.
        const Sent* sent = nullptr;
        for (const Sent& s : m_sends)
            if (s.ns <= reply.at.monotonicNs)
                sent = &s;
        const qint64 latencyNs = sent ? reply.at.monotonicNs - sent->ns : -1;
        m_monitor.append(
            "Reply: " + reply.text, reply.at.msecsSinceEpoch,
            sent ? qint32(qMin<qint64>(latencyNs / 1000, std::numeric_limits<qint32>::max())) : -1,
            sent ? sent->number : -1);
        m_monitor.selectLast();
        Q_EMIT replyRead(reply.text, reply.at.monotonicNs);
        Q_EMIT replyReceived(reply.text, latencyNs);
    }
}
