#include "simprocess.h"

#include "support/files.h"

#include <QDeadlineTimer>

SimProcess::SimProcess(const QStringList& args) {
    m_process.setProgram(QStringLiteral(ORV_SIM_PATH));
    m_process.setArguments(args);
    m_process.setStandardOutputFile(m_dir.filePath("orv-sim.log"));
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    QDeadlineTimer deadline(10000);
    while (m_devicePath.isEmpty() && !deadline.hasExpired() && !m_process.waitForFinished(20)) {
        const QByteArray text = readFile(m_dir.filePath("orv-sim.log"));
        if (text.contains('\n'))
            m_devicePath = QString::fromLocal8Bit(text.left(text.indexOf('\n')));
    }
}

QString SimProcess::log() const {
    const QByteArray text = readFile(m_dir.filePath("orv-sim.log"));
    return QString::fromLocal8Bit(text.mid(text.indexOf('\n') + 1));
}

bool SimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return true;
    m_process.terminate();
    const bool ended = m_process.waitForFinished(5000);
    if (!ended)
        kill();
    m_devicePath.clear();
    return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void SimProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(5000);
    m_devicePath.clear();
}
