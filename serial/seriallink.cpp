#include "serial/seriallink.h"

#include "serial/portidentity.h"
#include "serial/portname.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

constexpr int modemPollMs = 100;

} // namespace

// Modem lines of the real port. A port without them (a pseudo-terminal, some
// adapters) answers nothing, which is no error.
class SerialLink::PortModemLines : public ModemLines {
public:
    explicit PortModemLines(PortOwner& owner) : m_owner(owner) {}

    std::optional<bool> clearToSend() override {
        const std::optional<int> lines = m_owner.modemLines();
        if (!lines)
            return std::nullopt;
        return bool(*lines & TIOCM_CTS);
    }

    bool setDataTerminalReady(bool on) override { return m_owner.setModemLine(TIOCM_DTR, on); }

private:
    PortOwner& m_owner;
};

SerialLink::SerialLink(QObject* parent)
    : QObject(parent), m_modemLines(std::make_unique<PortModemLines>(m_owner)) {
    connect(&m_owner, &PortOwner::ready, this, &SerialLink::onOwnerReady, Qt::QueuedConnection);
    m_modemPoll.setInterval(modemPollMs);
    connect(&m_modemPoll, &QTimer::timeout, this, &SerialLink::pollModemLines);
}

SerialLink::~SerialLink() {
    m_modemPoll.stop();
    m_owner.close();
}

void SerialLink::setModemLines(std::unique_ptr<ModemLines> lines) {
    m_modemLines = std::move(lines);
    m_lastCts.reset();
}

bool SerialLink::fail(const QString& message) {
    m_lastError = message;
    m_holderPid = 0;
    return false;
}

QString SerialLink::lastError() const {
    if (m_holderPid <= 0)
        return m_lastError;
    return m_lastError + QStringLiteral("it is in use by another program (%1)")
                             .arg(describeHolder(m_holderPid, m_holderName));
}

bool SerialLink::setCommPort(const QString& value) {
    const PortName name = resolvePortName(value);
    m_portName = name.path;
    if (!name.isValid())
        return fail(name.error);
    m_lastError.clear();
    m_holderPid = 0;
    return true;
}

bool SerialLink::setPortOpen(bool open) {
    if (!open) {
        m_modemPoll.stop();
        m_owner.close();
        return true;
    }
    if (m_owner.isOpen())
        return true;
    if (m_portName.isEmpty())
        return fail(m_lastError.isEmpty() ? QStringLiteral("No serial port is set") : m_lastError);
    const QString cannot = QStringLiteral("Cannot open %1: ").arg(m_portName);

    // Known by its numbers before anything opens it, whatever name led to it.
    struct stat st {};
    if (::stat(QFile::encodeName(m_portName).constData(), &st) == 0) {
        if (!S_ISCHR(st.st_mode))
            return fail(cannot + QStringLiteral("it is not a device but a %1")
                                     .arg(S_ISDIR(st.st_mode) ? QStringLiteral("folder")
                                                              : QStringLiteral("file")));
        const QString refused = refusedDevice(major(st.st_rdev), minor(st.st_rdev));
        if (!refused.isEmpty())
            return fail(cannot + refused + QStringLiteral("; it is left alone"));
    }
    m_refusedTerminal = isSessionTerminal(m_portName);
    if (m_refusedTerminal)
        return fail(cannot + QStringLiteral("it is the terminal of a running session "
                                            "(a shell or another program), not a device; "
                                            "it is left alone"));

    // The lock file is named after the device itself, whatever name led to it.
    const QString resolved = QFileInfo(m_portName).canonicalFilePath();
    const QString device = resolved.isEmpty() ? m_portName : resolved;
    if (const auto refusal = m_owner.open(device)) {
        QString reason = refusal->reason;
        // A pseudo-terminal's number that has gone is a device that closed its end.
        if (refusal->error == ENOENT && namesPseudoTerminal(device))
            reason = QStringLiteral("the device closed its end (its pseudo-terminal is gone)");
        fail(cannot + reason);
        if (refusal->holderPid > 0) {
            m_lastError = cannot;
            m_holderPid = refusal->holderPid;
            m_holderName = refusal->holderName;
        }
        return false;
    }
    m_pseudoTerminal = namesPseudoTerminal(device);
    m_lastError.clear();
    m_holderPid = 0;
    m_takeAgain = false;
    setDTREnable(true);
    m_lastCts = m_modemLines->clearToSend();
    // A port without modem lines has nothing to poll; polling it would only fail.
    if (m_lastCts.has_value())
        m_modemPoll.start();
    return true;
}

QList<PortEvent> SerialLink::takeEvents(bool all, bool finish) {
    QList<PortEvent> events = m_owner.take(finish, all || finish ? INT_MAX : HandOver::sliceLines);
    // The rest of a flood follows on a later turn, after whatever else waits.
    if (!m_takeAgain && m_owner.hasWaiting()) {
        m_takeAgain = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_takeAgain = false;
                if (m_owner.hasWaiting())
                    Q_EMIT commEvent(ReceiveEvent);
            },
            Qt::QueuedConnection);
    }
    return events;
}

SerialLink::Output SerialLink::output(const QByteArray& bytes, quint64 id, LineStamp* at) {
    if (!m_owner.isOpen()) {
        fail(QStringLiteral("%1 is not open")
                 .arg(m_portName.isEmpty() ? QStringLiteral("The port") : m_portName));
        return Output::Failed;
    }
    if (bytes.isEmpty())
        return Output::Sent;
    int error = 0;
    switch (m_owner.write(bytes, id, at, &error)) {
    case PortOwner::Write::Written:
        return Output::Sent;
    case PortOwner::Write::Queued:
        return Output::Waiting;
    case PortOwner::Write::Failed:
        break;
    }
    fail(QStringLiteral("Cannot write to %1: %2")
             .arg(m_portName, error == EIO && m_pseudoTerminal
                                  ? QStringLiteral("the device closed its end")
                                  : QString::fromLocal8Bit(std::strerror(error))));
    return Output::Failed;
}

void SerialLink::setDTREnable(bool on) {
    m_dtr = on;
    if (m_owner.isOpen())
        m_modemLines->setDataTerminalReady(on);
}

void SerialLink::pollModemLines() {
    if (!m_owner.isOpen()) {
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

void SerialLink::onOwnerReady() {
    Q_EMIT commEvent(ReceiveEvent);
    int error = 0;
    if (m_owner.isOpen() && m_owner.lost(&error))
        lose(error == 0 || error == EIO || error == ENXIO || error == ENODEV
                 ? QString()
                 : QString::fromLocal8Bit(std::strerror(error)));
}

void SerialLink::lose(const QString& reason) {
    if (!m_owner.isOpen())
        return;
    // A pseudo-terminal's other side closing is how a simulated device ends.
    const QString cause = !reason.isEmpty()  ? reason
                          : m_pseudoTerminal ? QStringLiteral("the device closed its end")
                                             : QStringLiteral("the device went away");
    const QString message = QStringLiteral("Lost %1: %2").arg(m_portName, cause);
    m_modemPoll.stop();
    m_owner.close();
    fail(message);
    Q_EMIT portLost(message);
}
