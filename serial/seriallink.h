#pragma once

#include "serial/modemlines.h"
#include "serial/portowner.h"

#include <QObject>
#include <QTimer>
#include <memory>

// The serial port, with the small set of operations the program uses and the
// communication events it reacts to: 1 send, 2 receive, 3 clear-to-send
// change. Failures are values and messages, never the end of the program.
// Everything that touches the device goes through its PortOwner.
class SerialLink : public QObject {
    Q_OBJECT
public:
    enum CommEvent { SendEvent = 1, ReceiveEvent = 2, CtsChangeEvent = 3 };
    // What became of a frame handed to output().
    enum class Output { Sent, Waiting, Failed };

    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    // The stored port value; false (see lastError) when it names no port.
    bool setCommPort(const QString& value);
    QString portName() const { return m_portName; }

    bool portOpen() const { return m_owner.isOpen(); }
    // Opening sets 9600 baud, no parity, 8 data bits, 1 stop bit, no flow
    // control, and raises DTR where the port has modem lines. The port is
    // locked under the name of the device it resolves to, so that two names
    // of one device (a link and its target) exclude each other. Consoles and
    // /dev/ptmx are refused before anything opens them.
    bool setPortOpen(bool open);

    // Hands frame `id` to the port: Sent with its time in *at when the
    // system took all of it now; Waiting when it waits for room and goes,
    // whole and after those before it, as the device drains; Failed (see
    // lastError) when the port is closed or gone. A PortEvent says when it
    // went, in order with the replies.
    Output output(const QByteArray& bytes, quint64 id, LineStamp* at);
    // Frames still waiting for room; the port gone, they are dropped.
    QList<quint64> dropUnwritten() { return m_owner.unwritten(true); }
    // What the port did so far. A ReceiveEvent says some is waiting; a long
    // run of it comes in slices, one ReceiveEvent each. With `all`, all that
    // has been read; with finish, what the system holds now is read first
    // and bytes still waiting for a line feed are a reply as well (before
    // closing, so that nothing said is lost).
    QList<PortEvent> takeEvents(bool all = false, bool finish = false);
    // Bytes read that wait for their line feed, and when the first came.
    ReceivedReply unfinishedReply() const { return m_owner.unfinished(); }

    void setDTREnable(bool on);
    bool dtrEnable() const { return m_dtr; }

    // Why the last operation failed. Who holds a port in use is looked up
    // here, when the message is wanted, not on every retry.
    QString lastError() const;
    // The last open was refused because the port is a session's terminal;
    // trying it again would take that terminal over.
    bool refusedAsTerminal() const { return m_refusedTerminal; }

    // For tests: modem lines that a pseudo-terminal cannot provide.
    void setModemLines(std::unique_ptr<ModemLines> lines);

Q_SIGNALS:
    // A communication event, with its code.
    void commEvent(int code);
    // The open port went away (adapter unplugged, device ended); it is closed.
    void portLost(const QString& message);

private:
    class PortModemLines;

    void onOwnerReady();
    void lose(const QString& reason);
    void pollModemLines();
    bool fail(const QString& message);

    PortOwner m_owner;
    std::unique_ptr<ModemLines> m_modemLines;
    QTimer m_modemPoll;
    std::optional<bool> m_lastCts;
    bool m_pseudoTerminal = false; // what was opened is one
    QString m_portName;
    QString m_lastError;
    qint64 m_holderPid = 0; // of the lock that refused the last open
    QString m_holderName;
    bool m_dtr = false;
    bool m_refusedTerminal = false;
    bool m_takeAgain = false; // a slice is on its way
};
