#pragma once

#include "app/monitormodel.h"
#include "app/sessionlog.h"
#include "serial/portidentity.h"
#include "serial/replycollector.h"
#include "serial/seriallink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Everything of the main window that needs no display: its variables, the
// serial link and the communication monitor, with the operations that act on
// them. The window owns one and forwards its events here.
//
// The operations live beside the subsystem they belong to: the send
// operations in protocol/sendoperations.cpp, link start and the communication
// events in serial/commevents.cpp.
struct CommandFrame;

class MainSession : public QObject {
    Q_OBJECT
public:
    // How long a clear-to-send change waits before dropping DTR.
    static constexpr int ctsPauseMs = 5;
    // How often a lost or unopened port is tried again.
    static constexpr int reconnectMs = 1000;

    explicit MainSession(QObject* parent = nullptr);

    // The configured port value as text, filled by loadSettings.
    QString portNumber() const { return m_portNumber; }
    void setPortNumber(const QString& value);
    QByteArray serialInput() const { return m_serialInput; }
    QByteArray serialOutput() const { return m_serialOutput; }
    QByteArray cmdHex() const { return m_cmdHex; }
    QString cmdAscii() const { return m_cmdAscii; }

    SerialLink& link() { return m_link; }
    MonitorModel& lstComm() { return m_lstComm; }

    // Opens the configured port afresh. On failure the port stays closed, the
    // reason is in the monitor and in linkProblem, and the session goes on.
    bool linkStart();
    // Closes the port if it is open, and stops trying to reopen it.
    void linkEnd();
    // Whether a lost or unopened port is being tried again.
    bool isReconnecting() const { return m_reconnect.isActive(); }

    void sendKeyCode(qint16 Index);
    void sendCommTest();
    void sendReset();

    // The handler of the link's communication events.
    void handleCommEvent(int code);

Q_SIGNALS:
    void portNumberChanged(const QString& value);
    // A reply has been completed and written to the monitor.
    void replyReceived(const QByteArray& reply);
    // Something about the port the operator must know.
    void linkProblem(const QString& message);

private:
    void send(const CommandFrame& frame);
    void receive();
    void completeReplies(const QList<QByteArray>& replies);
    void expireReply();
    void onPortLost(const QString& message);
    void retryPort();
    void logLine(int row);
    void reportProblem(const QString& message);

    QString m_portNumber;
    QByteArray m_serialInput;
    QByteArray m_serialOutput;
    QByteArray m_cmdHex;
    QString m_cmdAscii;

    MonitorModel m_lstComm;
    SerialLink m_link;
    ReplyCollector m_collector;
    QElapsedTimer m_clock;
    QTimer m_replyBound;
    QTimer m_ctsPause;
    QTimer m_reconnect;
    bool m_wasOpen = false;
    PortIdentity m_opened;
    SessionLog m_log;
};
