#pragma once

#include <QString>

// What a stored port value means on this platform. Keeping the whole mapping
// here means a Windows build only has to turn N into COMN in this one place.
struct PortName {
    QString path;  // the device to open, when valid
    QString error; // why the value is not a port, naming the value

    bool isValid() const { return error.isEmpty(); }
};

// The highest port number: COM1..COM255 on the platform the numbers come from.
constexpr int maxPortNumber = 255;

// "1".."maxPortNumber" is the Nth serial port (/dev/ttyS{N-1}); an absolute path is used
// as it stands; a bare device name such as "ttyUSB0" lives under /dev.
PortName resolvePortName(const QString& value);
