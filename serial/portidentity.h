#pragma once

#include <QString>

// Which device a port path stood for when it was opened, so that a retry
// after a loss never opens somebody else's device under the same name. A
// pseudo-terminal that has gone never comes back: its number goes to the next
// terminal anyone opens. A link to one (orv-sim --link) is safe to follow
// again only once it has been made anew.
struct PortIdentity {
    bool pseudoTerminal = false;
    bool viaLink = false;
    qint64 linkInode = -1;
    qint64 linkChangedNs = -1;

    static PortIdentity of(const QString& path);
};

// Whether reopening `path` can reach the device that was opened as `opened`
// or its real successor, rather than a stranger.
bool reopenIsSafe(const PortIdentity& opened, const QString& path);
// Whether a retry can ever be safe for a device opened as `opened`.
bool reopenCanBecomeSafe(const PortIdentity& opened);

// Whether path is a terminal that is the controlling terminal of a session:
// a shell's or another program's, which must never be taken over as a port.
bool isSessionTerminal(const QString& path);
// Whether path names a pseudo-terminal, directly or through a link, even one
// that is gone.
bool namesPseudoTerminal(const QString& path);

// Why the character device numbered major:minor is no serial port to open,
// or empty: /dev/ptmx makes a new pseudo-terminal at each open, and the
// system console and the virtual consoles belong to whoever logs in there.
QString refusedDevice(quint32 major, quint32 minor);
