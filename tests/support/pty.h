#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: the program opens slavePath() as its
// serial port, the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Device side: write bytes towards the program.
    bool write(const QByteArray& bytes);
    // Device side: read what the program sent, waiting up to timeoutMs for
    // at least `atLeast` bytes in all.
    QByteArray read(int atLeast, int timeoutMs = 5000);
    // Device side: whatever is pending now, without waiting.
    QByteArray readAvailable();
    // The device vanishes: the master side is closed.
    void closeMaster();

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
};
