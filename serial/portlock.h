#pragma once

#include <QString>

// Who holds a serial port, as the lock file of the serial port library
// (LCK..<name> under /var/lock, /run/lock and the like) tells it: "PID 1234,
// orv-test" while that process lives, else empty.
QString portLockHolder(const QString& devicePath);
