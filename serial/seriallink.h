#pragma once

#include "serial/modemlines.h"

#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// The serial port, with the small set of operations the program uses and the
// communication events it reacts to: 1 send, 2 receive, 3 clear-to-send
// change. Failures are values and messages, never the end of the program.
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
    // control, and raises DTR where the port has modem lines.
    bool setPortOpen(bool open);

    // Hands the bytes to the port without waiting; false when it is closed.
    bool output(const QByteArray& bytes);
    QByteArray input() { return m_port.readAll(); }
    // Reads what the system holds for the port now, raising ReceiveEvent for
    // it, without waiting; before closing, so that nothing said is lost.
    void drainInput();
    qint64 inBufferCount() const { return m_port.bytesAvailable(); }
    // Leaves what arrives in the system's buffer for ms (a send or a read
    // ends it sooner), so that a device talking in a stream of short lines is
    // read in batches rather than with one wake of the program per line.
    void holdReading(int ms);

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
    void pollModemLines();
    void resumeReading();
    bool fail(const QString& message);

    QSerialPort m_port;
    std::unique_ptr<ModemLines> m_modemLines;
    QTimer m_modemPoll;
    QTimer m_readHold;
    QPointer<QSocketNotifier> m_heldNotifier;
    std::optional<bool> m_lastCts;
    QString m_portName;
    QString m_lastError;
    bool m_dtr = false;
    bool m_probingModemLines = false;
    bool m_refusedTerminal = false;
};
