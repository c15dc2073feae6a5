#include "serial/seriallink.h"

#include "serial/portidentity.h"
#include "serial/portlock.h"
#include "serial/portname.h"

namespace {

constexpr int modemPollMs = 100;

// Why a port did not open, in the terms of what is wrong with it.
QString openFailure(const QSerialPort& port, const QString& path) {
    const QString holder = portLockHolder(path);
    if (!holder.isEmpty())
        return QStringLiteral("it is in use by another program (%1)").arg(holder);
    const QString reason = port.errorString();
    if (port.error() == QSerialPort::PermissionError && reason.contains(QLatin1String("locking")))
        return QStringLiteral("it is in use by another program");
    if (port.error() == QSerialPort::DeviceNotFoundError && namesPseudoTerminal(path))
        return QStringLiteral("the device closed its end (its pseudo-terminal is gone)");
    if (port.error() == QSerialPort::PermissionError)
        return reason + QStringLiteral(" (is your user in the dialout group?)");
    return reason;
}

} // namespace

// Modem lines of the real port. Their errors are expected on ports without
// such lines, so the link is told to let them pass.
class SerialLink::PortModemLines : public ModemLines {
public:
    explicit PortModemLines(SerialLink& link) : m_link(link) {}

    std::optional<bool> clearToSend() override {
        Probe probe(m_link);
        const auto signals_ = m_link.m_port.pinoutSignals();
        if (m_link.m_port.error() != QSerialPort::NoError) {
            m_link.m_port.clearError();
            return std::nullopt;
        }
        return bool(signals_ & QSerialPort::ClearToSendSignal);
    }

    bool setDataTerminalReady(bool on) override {
        Probe probe(m_link);
        const bool ok = m_link.m_port.setDataTerminalReady(on);
        if (!ok)
            m_link.m_port.clearError();
        return ok;
    }

private:
    struct Probe {
        explicit Probe(SerialLink& l) : link(l) { link.m_probingModemLines = true; }
        ~Probe() { link.m_probingModemLines = false; }
        SerialLink& link;
    };
    SerialLink& m_link;
};

SerialLink::SerialLink(QObject* parent)
    : QObject(parent), m_modemLines(std::make_unique<PortModemLines>(*this)) {
    connect(&m_port, &QSerialPort::readyRead, this, [this] { Q_EMIT commEvent(ReceiveEvent); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
    m_modemPoll.setInterval(modemPollMs);
    connect(&m_modemPoll, &QTimer::timeout, this, &SerialLink::pollModemLines);
    m_readHold.setSingleShot(true);
    m_readHold.setTimerType(Qt::PreciseTimer);
    connect(&m_readHold, &QTimer::timeout, this, &SerialLink::resumeReading);
}

SerialLink::~SerialLink() {
    m_modemPoll.stop();
    if (m_port.isOpen())
        m_port.close();
}

void SerialLink::setModemLines(std::unique_ptr<ModemLines> lines) {
    m_modemLines = std::move(lines);
    m_lastCts.reset();
}

bool SerialLink::fail(const QString& message) {
    m_lastError = message;
    return false;
}

bool SerialLink::setCommPort(const QString& value) {
    const PortName name = resolvePortName(value);
    m_portName = name.path;
    if (!name.isValid())
        return fail(name.error);
    m_lastError.clear();
    return true;
}

bool SerialLink::setPortOpen(bool open) {
    if (!open) {
        m_modemPoll.stop();
        m_readHold.stop();
        // The port makes a new notifier when it opens again.
        m_heldNotifier = nullptr;
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen())
        return true;
    if (m_portName.isEmpty())
        return fail(m_lastError.isEmpty() ? QStringLiteral("No serial port is set") : m_lastError);

    m_refusedTerminal = isSessionTerminal(m_portName);
    if (m_refusedTerminal)
        return fail(QStringLiteral("Cannot open %1: it is the terminal of a running session "
                                   "(a shell or another program), not a device; it is left alone")
                        .arg(m_portName));

    m_port.setPortName(m_portName);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QString reason = openFailure(m_port, m_portName);
        m_port.clearError();
        return fail(QStringLiteral("Cannot open %1: %2").arg(m_portName, reason));
    }
    m_lastError.clear();
    setDTREnable(true);
    m_lastCts = m_modemLines->clearToSend();
    // A port without modem lines has nothing to poll; polling it would only fail.
    if (m_lastCts.has_value())
        m_modemPoll.start();
    return true;
}

void SerialLink::holdReading(int ms) {
    if (!m_port.isOpen())
        return;
    // The port reads whatever its read notifier reports; QSerialPort offers
    // no call to pause it, so the notifier is found among its children. If a
    // later Qt keeps it elsewhere, reading simply goes on unbatched.
    if (!m_heldNotifier) {
        for (QSocketNotifier* n : m_port.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly))
            if (n->type() == QSocketNotifier::Read && n->socket() == m_port.handle())
                m_heldNotifier = n;
        if (!m_heldNotifier)
            return;
    }
    m_heldNotifier->setEnabled(false);
    m_readHold.start(ms);
}

void SerialLink::resumeReading() {
    m_readHold.stop();
    // Bytes that came meanwhile are reported on the next turn of the event loop.
    if (m_heldNotifier && m_port.isOpen())
        m_heldNotifier->setEnabled(true);
}

bool SerialLink::output(const QByteArray& bytes) {
    if (!m_port.isOpen())
        return fail(QStringLiteral("%1 is not open")
                        .arg(m_portName.isEmpty() ? QStringLiteral("The port") : m_portName));
    if (bytes.isEmpty())
        return true;
    // The answer to a send is read as soon as it comes.
    if (m_readHold.isActive())
        resumeReading();
    if (m_port.write(bytes) != bytes.size())
        return fail(QStringLiteral("Cannot write to %1: %2").arg(m_portName, m_port.errorString()));
    // Start the write now rather than on the next turn of the event loop. A
    // write that fails there did not hand the frame over: it was not sent.
    m_port.flush();
    if (m_port.error() != QSerialPort::NoError)
        return fail(QStringLiteral("Cannot write to %1: %2").arg(m_portName, m_port.errorString()));
    return true;
}

void SerialLink::drainInput() {
    // A zero timeout only reads what is there; readyRead comes with it. A
    // device that never stops talking cannot hold the end up.
    for (int i = 0; i < 16 && m_port.isOpen() && m_port.waitForReadyRead(0); ++i) {
    }
}

void SerialLink::setDTREnable(bool on) {
    m_dtr = on;
    if (m_port.isOpen())
        m_modemLines->setDataTerminalReady(on);
}

void SerialLink::pollModemLines() {
    if (!m_port.isOpen()) {
        m_modemPoll.stop();
        return;
    }
    const std::optional<bool> cts = m_modemLines->clearToSend();
    if (!cts.has_value()) {
        m_modemPoll.stop();
        return;
    }
    const bool changed = m_lastCts.has_value() && *cts != *m_lastCts;
    m_lastCts = cts;
    if (changed)
        Q_EMIT commEvent(CtsChangeEvent);
}

void SerialLink::onError(QSerialPort::SerialPortError error) {
    if (m_probingModemLines || error == QSerialPort::NoError || !m_port.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    // A pseudo-terminal reports its other side hanging up as an I/O error.
    const QString reason = namesPseudoTerminal(m_portName)
                               ? QStringLiteral("the device closed its end")
                               : m_port.errorString();
    const QString message = QStringLiteral("Lost %1: %2").arg(m_portName, reason);
    // Close after this signal has returned: the port is still inside its own
    // notifier here.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (!m_port.isOpen())
                return;
            m_modemPoll.stop();
            m_readHold.stop();
            m_heldNotifier = nullptr;
            m_port.close();
            m_port.clearError();
            m_lastError = message;
            Q_EMIT portLost(message);
        },
        Qt::QueuedConnection);
}
