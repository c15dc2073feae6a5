#pragma once

#include <QByteArray>
#include <QString>

// One end of a terminal as a test holds it: bytes in and out, no terminal
// modes of its own. Opened on a path, it is the program's end of a device,
// opened the way a serial port is.
class TerminalEnd {
public:
    TerminalEnd() = default;
    explicit TerminalEnd(const QString& path);
    ~TerminalEnd();
    TerminalEnd(const TerminalEnd&) = delete;
    TerminalEnd& operator=(const TerminalEnd&) = delete;

    // Write all of bytes, waiting up to timeoutMs while the terminal is full.
    bool write(const QByteArray& bytes, int timeoutMs = 5000);
    // Read, waiting up to timeoutMs for at least `atLeast` bytes in all.
    QByteArray read(int atLeast, int timeoutMs = 5000);
    // Whatever is pending now, without waiting.
    QByteArray readAvailable();
    // For terminal settings: on a pty pair, the master shares the port's.
    int fd() const { return m_fd; }

protected:
    int m_fd = -1;
};

// A pseudo-terminal pair for tests: the program opens slavePath() as its
// serial port, the test plays the device on the master side.
class PtyPair : public TerminalEnd {
public:
    PtyPair();
    ~PtyPair() { closeMaster(); }

    QString slavePath() const { return m_slavePath; }
    // The device vanishes: the master side is closed.
    void closeMaster();

private:
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
};
