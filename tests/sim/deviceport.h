#pragma once

#include <QByteArray>
#include <QString>

// The program's end of the simulated device, opened the way a serial port is:
// raw, no controlling terminal. Reads wait on the descriptor with a deadline.
class DevicePort {
public:
    explicit DevicePort(const QString& path);
    ~DevicePort();
    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close();
    bool write(const QByteArray& bytes, int timeoutMs = 5000);
    // One line with its "\r\n", or whatever came before the deadline.
    QByteArray readLine(int timeoutMs = 5000);
    // Exactly `count` bytes, or fewer if the deadline passes first.
    QByteArray readBytes(int count, int timeoutMs = 5000);
    // True once something can be read, without reading it.
    bool waitReadable(int timeoutMs = 5000);

private:
    bool fill(int timeoutMs);

    int m_fd = -1;
    QByteArray m_buffer;
};
