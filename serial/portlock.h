#pragma once

#include <QString>
#include <memory>

class QLockFile;

// The LCK..<name> file that programs which share serial ports leave in
// /run/lock (else /var/lock) while they hold one, made and read through
// QLockFile. A lock left by a process that has gone holds nothing.
class PortLock {
public:
    PortLock();
    ~PortLock();

    // Takes the lock for the device at devicePath (its real name, so that
    // two names of one device meet in one file). False when another process
    // holds it (holderPid()) or the file could not be made (error()).
    bool lock(const QString& devicePath);
    void unlock();

    qint64 holderPid() const { return m_holderPid; }
    // The holder's program name as its lock file gives it (empty for locks
    // that do not say).
    QString holderName() const { return m_holderName; }
    QString error() const { return m_error; }

private:
    std::unique_ptr<QLockFile> m_file;
    qint64 m_holderPid = 0;
    QString m_holderName;
    QString m_error;
};

// "PID 4711, picocom": who holds a port, the name from the lock file or else
// from the running process. Reads /proc, so it is made only to be shown.
QString describeHolder(qint64 pid, const QString& name);
