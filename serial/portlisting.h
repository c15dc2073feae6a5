#pragma once

#include <QList>
#include <QString>
#include <functional>

// A serial port present on the machine, as the system lists it.
struct SerialPortEntry {
    QString path;        // what to open: /dev/ttyUSB0, /dev/serial/by-id/...
    QString description; // the adapter, where the system knows it
};

// The serial ports present now, stable by-id names included.
QList<SerialPortEntry> listSerialPorts();

using PortLister = std::function<QList<SerialPortEntry>()>;
