#include "session/mainsession.h"

#include "serial/modemlines.h"
#include "settings/monitorsetting.h"
#include "settings/portsetting.h"

MainSession::MainSession(QObject* parent) : QObject(parent) {
    qRegisterMetaType<SessionReply>();
    m_ctsPause.setSingleShot(true);
    m_ctsPause.setInterval(ctsPauseMs);
    connect(&m_ctsPause, &QTimer::timeout, this, [this] { m_link.setDTREnable(false); });
    m_reconnect.setInterval(reconnectMs);
    connect(&m_reconnect, &QTimer::timeout, this, &MainSession::retryPort);
    connect(&m_monitor, &MonitorModel::lineAppended, this, &MainSession::logLine);
    // Reported once; the log stays quiet about its later failures.
    connect(&m_log, &SessionLog::failed, this,
            [this](const QString& error) { m_monitor.append("Error: " + error.toUtf8()); });
    connect(&m_link, &SerialLink::commEvent, this, &MainSession::handleCommEvent);
    connect(&m_link, &SerialLink::portLost, this, &MainSession::onPortLost);
}

void MainSession::setPort(const QString& value) {
    m_port = value;
    m_settingsError.clear();
    Q_EMIT portChanged(value);
}

void MainSession::loadSettings() {
    QString error;
    const QString port = readPortSetting(&error);
    setPort(port);
    // Name the file, so the operator knows which one to fix: an installed
    // program and one in a build folder read different files.
    if (error.isEmpty() && port.trimmed().isEmpty())
        error = QStringLiteral("No port is set in %1: choose one in Serial > Settings")
                    .arg(configPath());
    m_settingsError = error;
    const MonitorLinesSetting lines = readMonitorLinesSetting();
    m_monitor.setLineLimit(lines.lines);
    if (!lines.problem.isEmpty()) {
        m_monitor.append("Error: " + lines.problem.toUtf8());
        m_monitor.selectLast();
    }
}

void MainSession::setModemLines(std::unique_ptr<ModemLines> lines) {
    m_link.setModemLines(std::move(lines));
}

void MainSession::reportProblem(const QString& message) {
    m_monitor.append("Error: " + message.toUtf8());
    m_monitor.selectLast();
    Q_EMIT linkProblem(message);
}

void MainSession::logLine(int row) {
    const MonitorModel::Line& line = m_monitor.at(row);
    m_log.append(line.msecsSinceEpoch, line.text);
}

void MainSession::addNote(const QByteArray& line) {
    m_monitor.append(line);
    m_monitor.selectLast();
}

qint64 MainSession::nsSinceLastSend() const {
    return m_sends.empty() ? -1 : monotonicNs() - m_sends.back().ns;
}
