// The session's side of the serial link: link start, and the handler of
// the link's communication events, which turns received bytes into replies.
#include "session/mainsession.h"

#include <limits>

bool MainSession::linkStart() {
    m_collector.clear();
    m_replyBound.stop();
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
        m_link.drainInput();
        completeUnfinishedReply();
        m_link.setPortOpen(false);
    }
    m_log.flush();
}

void MainSession::completeUnfinishedReply() {
    // Whatever the device said before the end stays on record, even unfinished.
    receive();
    m_replyBound.stop();
    completeReplies(m_collector.expire(std::numeric_limits<qint64>::max()));
}

void MainSession::handleCommEvent(int code) {
    if (code == SerialLink::CtsChangeEvent) {
        m_link.output(m_serialOutput);
        // A short pause before DTR drops, without holding up the window.
        m_ctsPause.start();
    } else if (code == SerialLink::ReceiveEvent) {
        receive();
    } else if (code == SerialLink::SendEvent) {
        // Send events are off by design; the branch stays for a link that raises them.
        m_link.setDTREnable(false);
    }
}

void MainSession::receive() {
    if (m_link.inBufferCount() <= 0)
        return;
    const QByteArray bytes = m_link.input();
    const qint64 now = m_clock.elapsed();
    completeReplies(m_collector.feed(bytes, now));
    // A device chattering in short lines is read in batches, as often as the
    // monitor shows them. Never held back: the first read after a quiet spell,
    // the rest of a reply, a flood (long reads), and lines that come within a
    // few ms of the last read, faster than a line crosses a 9600-baud wire:
    // a peer on a pseudo-terminal answering each line it sees is read at its
    // own pace. A hold that gathered no more than one line is not repeated:
    // that peer was waiting for us, not chattering.
    const qint64 gap = m_lastReadMs >= 0 ? now - m_lastReadMs : -1;
    const bool stream = gap >= minChatterGapMs && gap < 2 * readBatchMs;
    const bool gathered = !m_readWasHeld || bytes.count('\n') > 1;
    m_readWasHeld = stream && gathered && m_collector.isEmpty() && bytes.size() < batchedReadBytes;
    if (m_readWasHeld) {
        // The batch goes to the views once the log has it (queued behind its
        // write), the next batch no sooner than the hold ends.
        QMetaObject::invokeMethod(&m_monitor, &MonitorModel::publish, Qt::QueuedConnection);
        m_link.holdReading(readBatchMs);
    }
    m_lastReadMs = now;
    if (m_collector.isEmpty())
        m_replyBound.stop();
    else if (!m_replyBound.isActive())
        m_replyBound.start(int(qMax<qint64>(0, m_collector.deadline() - m_clock.elapsed())));
}

void MainSession::expireReply() {
    // The timer may fire a hair early; ask again until the bound has passed.
    const QList<QByteArray> due = m_collector.expire(m_clock.elapsed());
    if (due.isEmpty() && !m_collector.isEmpty()) {
        m_replyBound.start(int(qMax<qint64>(1, m_collector.deadline() - m_clock.elapsed())));
        return;
    }
    completeReplies(due);
}

void MainSession::onPortLost(const QString& message) {
    completeUnfinishedReply();
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

void MainSession::completeReplies(const QList<QByteArray>& replies) {
    for (const QByteArray& reply : replies) {
        m_serialInput = reply;
        if (m_lastSendNs < 0)
            m_monitor.append("Reply: " + reply);
        else
            m_monitor.append(
                "Reply: " + reply,
                qint32(qMin<qint64>(nsSinceLastSend() / 1000, std::numeric_limits<qint32>::max())),
                m_lastSendNumber);
        m_monitor.selectLast();
        Q_EMIT replyReceived(reply);
    }
}
