#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The simulated device, run as the real program orv-sim. The first line it
// prints is the device path the program under test should open. Its log goes
// to a file, so that a long run costs the test no memory and never stalls.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {});
    ~SimProcess() { stop(); }

    bool isRunning() const { return !m_devicePath.isEmpty(); }
    QString devicePath() const { return m_devicePath; }
    qint64 pid() const { return m_process.processId(); }
    // Everything orv-sim has logged so far (one line per frame and answer).
    QString log() const;
    // Ends it as an operator would (SIGTERM) and waits for it.
    bool stop();
    // Ends it as a device that vanishes would: SIGKILL, no clean-up.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_devicePath;
};
