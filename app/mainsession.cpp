#include "app/mainsession.h"

MainSession::MainSession(QObject* parent) : QObject(parent) {
    m_clock.start();
    m_replyBound.setSingleShot(true);
    connect(&m_replyBound, &QTimer::timeout, this, &MainSession::expireReply);
    m_ctsPause.setSingleShot(true);
    m_ctsPause.setInterval(ctsPauseMs);
    connect(&m_ctsPause, &QTimer::timeout, this, [this] { m_link.setDTREnable(false); });
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
