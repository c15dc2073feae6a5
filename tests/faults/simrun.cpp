#include "simrun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

SimRun::SimRun(const QStringList& args) {
    m_process.setProgram(QStringLiteral(ORV_SIM_PATH));
    m_process.setArguments(args);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("orv-sim.log")));
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("orv-sim.err")));
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return;
    // The first line is the device path; it is written before anything else.
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        const QByteArray text = log();
        const qsizetype end = text.indexOf('\n');
        if (end > 0) {
            m_devicePath = QString::fromLocal8Bit(text.left(end));
            return;
        }
        m_process.waitForFinished(20); // returns early if it dies
    }
}

SimRun::~SimRun() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray SimRun::log() const {
    QFile f(m_dir.filePath(QStringLiteral("orv-sim.log")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void SimRun::kill() {
    m_process.kill();
    m_process.waitForFinished(5000);
    m_devicePath.clear();
}
