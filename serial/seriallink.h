#pragma once

#include "serial/modemlines.h"
#include "serial/portreader.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <memory>

// The serial port, with the small set of operations the program uses and the
// communication events it reacts to: 1 send, 2 receive, 3 clear-to-send
// change. Failures are values and messages, never the end of the program.
//
// QSerialPort opens the port (its lock file, line settings and error texts),
// writes and works the modem lines; it is opened write-only, so it never
// reads. The reading is a PortReader's, on a descriptor of its own for the
// same device, which turns the bytes into stamped replies on its own thread.
class SerialLink : public QObject {
    Q_OBJECT
public:
    enum CommEvent { SendEvent = 1, ReceiveEvent = 2, CtsChangeEvent = 3 };

    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    // The stored port value; false (see lastError) when it names no port.
    bool setCommPort(const QString& value);
    QString portName() const { return m_portName; }

    bool portOpen() const { return m_port.isOpen(); }
    // Opening sets 9600 baud, no parity, 8 data bits, 1 stop bit, no flow
    // control, and raises DTR where the port has modem lines. The port is
    // locked under the name of the device it resolves to, so that two names
    // of one device (a link and its target) exclude each other.
    bool setPortOpen(bool open);

    // Hands the bytes to the port without waiting; false when it is closed.
    bool output(const QByteArray& bytes);
    // When the last frame was handed to the system.
    LineStamp lastOutputStamp() const { return m_outputStamp; }
    // The replies completed so far, each with the time it arrived. A
    // ReceiveEvent says some are waiting; a long run of them comes in
    // slices, one ReceiveEvent each. With finish, what the system holds now
    // is read first and bytes still waiting for a line feed are a reply as
    // well: for an expectation that gives up, and before closing, so that
    // nothing said is lost.
    QList<ReceivedReply> takeReplies(bool finish = false);

    void setDTREnable(bool on);
    bool dtrEnable() const { return m_dtr; }

    QString lastError() const { return m_lastError; }
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

    void onError(QSerialPort::SerialPortError error);
    void onReaderReady();
    void lose(const QString& reason);
    void pollModemLines();
    bool fail(const QString& message);
    bool startReading();

    QSerialPort m_port;
    PortReader m_reader;
    std::unique_ptr<ModemLines> m_modemLines;
    QTimer m_modemPoll;
    std::optional<bool> m_lastCts;
    LineStamp m_outputStamp;
    bool m_pseudoTerminal = false; // what was opened is one
    QString m_portName;
    QString m_lastError;
    bool m_dtr = false;
    bool m_probingModemLines = false;
    bool m_refusedTerminal = false;
};
