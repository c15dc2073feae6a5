#include "serial/seriallink.h"

#include "serial/portidentity.h"
#include "serial/portlock.h"
#include "serial/portname.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int modemPollMs = 100;

// Why a port did not open, in the terms of what is wrong with it.
QString openFailure(const QSerialPort& port, const QString& path) {
    const QString holder = portLockHolder(path);
    if (!holder.isEmpty())
        return QStringLiteral("it is in use by another program (%1)").arg(holder);
    const QString reason = port.errorString();
    // Qt says the same whether another program holds the lock or the lock
    // file could not be written (a full disk, a file-size limit); no live
    // holder means the latter.
    if (port.error() == QSerialPort::PermissionError && reason.contains(QLatin1String("locking")))
        return QStringLiteral("its lock file could not be written, though no other program "
                              "holds it (a full disk or a file-size limit?)");
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
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
    connect(&m_reader, &PortReader::ready, this, &SerialLink::onReaderReady, Qt::QueuedConnection);
    m_modemPoll.setInterval(modemPollMs);
    connect(&m_modemPoll, &QTimer::timeout, this, &SerialLink::pollModemLines);
}

SerialLink::~SerialLink() {
    m_modemPoll.stop();
    m_reader.stop();
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
        m_reader.stop();
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

    // The lock file is named after the device itself, whatever name led to it.
    const QString resolved = QFileInfo(m_portName).canonicalFilePath();
    const QString device = resolved.isEmpty() ? m_portName : resolved;
    m_port.setPortName(device);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::WriteOnly)) {
        const QString reason = openFailure(m_port, device);
        m_port.clearError();
        return fail(QStringLiteral("Cannot open %1: %2").arg(m_portName, reason));
    }
    m_pseudoTerminal = namesPseudoTerminal(device);
    if (!startReading()) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        m_port.close();
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

bool SerialLink::startReading() {
    // The port is opened for exclusive use; the reader's descriptor is the
    // one other open of the very file opened, allowed for that moment.
    const int fd = m_port.handle();
    ::ioctl(fd, TIOCNXCL);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const int readFd = ::open(self.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = errno;
    ::ioctl(fd, TIOCEXCL);
    errno = error;
    return readFd >= 0 && m_reader.start(readFd);
}

QList<ReceivedReply> SerialLink::takeReplies(bool finish) {
    QList<ReceivedReply> replies = m_reader.take(finish, PortReader::sliceLines);
    // The rest of a flood follows on a later turn, after whatever else waits.
    if (!finish && m_reader.hasWaiting())
        QMetaObject::invokeMethod(this, &SerialLink::onReaderReady, Qt::QueuedConnection);
    return replies;
}

bool SerialLink::output(const QByteArray& bytes) {
    if (!m_port.isOpen())
        return fail(QStringLiteral("%1 is not open")
                        .arg(m_portName.isEmpty() ? QStringLiteral("The port") : m_portName));
    if (bytes.isEmpty())
        return true;
    // The answer to this is handed over as soon as it is read.
    m_reader.noteSend();
    m_outputStamp = LineStamp::now();
    if (m_port.write(bytes) != bytes.size())
        return fail(QStringLiteral("Cannot write to %1: %2").arg(m_portName, m_port.errorString()));
    // Start the write now rather than on the next turn of the event loop. A
    // write that fails there did not hand the frame over: it was not sent.
    m_port.flush();
    if (m_port.error() != QSerialPort::NoError)
        return fail(QStringLiteral("Cannot write to %1: %2").arg(m_portName, m_port.errorString()));
    return true;
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
    // Close after this signal has returned: the port is still inside its own
    // call here. Its error text may be a stale errno; the cause is the device.
    QMetaObject::invokeMethod(
        this, [this] { lose({}); }, Qt::QueuedConnection);
}

void SerialLink::onReaderReady() {
    Q_EMIT commEvent(ReceiveEvent);
    int error = 0;
    if (m_port.isOpen() && m_reader.lost(&error))
        lose(error == 0 || error == EIO || error == ENXIO || error == ENODEV
                 ? QString()
                 : QString::fromLocal8Bit(std::strerror(error)));
}

void SerialLink::lose(const QString& reason) {
    if (!m_port.isOpen())
        return;
    // A pseudo-terminal's other side closing is how a simulated device ends.
    const QString cause = !reason.isEmpty()  ? reason
                          : m_pseudoTerminal ? QStringLiteral("the device closed its end")
                                             : QStringLiteral("the device went away");
    const QString message = QStringLiteral("Lost %1: %2").arg(m_portName, cause);
    m_modemPoll.stop();
    m_reader.stop();
    m_port.close();
    m_port.clearError();
    m_lastError = message;
    Q_EMIT portLost(message);
}
