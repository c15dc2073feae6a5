#pragma once

#include <QProcess>
#include <QStringList>

// The simulated device, run as the real program orv-sim. The first line it
// prints is the device path the program under test should open.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {});
    ~SimProcess();

    bool isRunning() const { return !m_devicePath.isEmpty(); }
    QString devicePath() const { return m_devicePath; }
    // Everything orv-sim has logged so far (one line per frame and answer).
    QString log();
    // Ends it as an operator would (SIGTERM) and waits for it.
    bool stop();

private:
    QProcess m_process;
    QString m_devicePath;
    QString m_log;
};
