#include "app/mainsession.h"

MainSession::MainSession(QObject* parent) : QObject(parent) {
    m_clock.start();
    m_replyBound.setSingleShot(true);
    connect(&m_replyBound, &QTimer::timeout, this, &MainSession::expireReply);
    m_ctsPause.setSingleShot(true);
    m_ctsPause.setInterval(ctsPauseMs);
    connect(&m_ctsPause, &QTimer::timeout, this, [this] { m_link.setDTREnable(false); });
    m_reconnect.setInterval(reconnectMs);
    connect(&m_reconnect, &QTimer::timeout, this, &MainSession::retryPort);
    connect(&m_lstComm, &MonitorModel::lineAppended, this, &MainSession::logLine);
    connect(&m_link, &SerialLink::commEvent, this, &MainSession::handleCommEvent);
    connect(&m_link, &SerialLink::portLost, this, &MainSession::onPortLost);
}

void MainSession::setPortNumber(const QString& value) {
    m_portNumber = value;
    Q_EMIT portNumberChanged(value);
}

void MainSession::reportProblem(const QString& message) {
    m_lstComm.append("Error: " + message.toUtf8());
    m_lstComm.selectLast();
    Q_EMIT linkProblem(message);
}

void MainSession::logLine(int row) {
    const MonitorModel::Line& line = m_lstComm.at(row);
    const QString error = m_log.append(line.msecsSinceEpoch, line.text);
    // Reported once; the log stays quiet about its later failures.
    if (!error.isEmpty())
        m_lstComm.append("Error: " + error.toUtf8());
}
