#include "simprocess.h"

#include <QDeadlineTimer>

SimProcess::SimProcess(const QStringList& args) {
    m_process.setProgram(QStringLiteral(ORV_SIM_PATH));
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && !deadline.hasExpired() &&
           m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(100);
    if (m_process.canReadLine())
        m_devicePath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

SimProcess::~SimProcess() {
    stop();
}

QString SimProcess::log() {
    m_log += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    return m_log;
}

bool SimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return true;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
        return false;
    }
    log();
    m_devicePath.clear();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
