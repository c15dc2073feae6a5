#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// orv-sim run for the fault tests. Unlike SimProcess its log goes to a file,
// so a long run costs the test process no memory, and it can be killed
// outright, as a device that vanishes would be.
class SimRun {
public:
    explicit SimRun(const QStringList& args = {});
    ~SimRun();
    SimRun(const SimRun&) = delete;
    SimRun& operator=(const SimRun&) = delete;

    bool isRunning() const { return !m_devicePath.isEmpty(); }
    QString devicePath() const { return m_devicePath; }
    // Everything orv-sim has logged so far, the device path line included.
    QByteArray log() const;
    // SIGKILL: no clean-up of any kind, the pty master just goes.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_devicePath;
};
