#include "serial/portidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal device numbers as /proc/PID/stat gives them (tty_nr).
quint64 procTerminalNumber(dev_t dev) {
    const quint64 maj = major(dev);
    const quint64 min = minor(dev);
    return (min & 0xff) | (maj << 8) | ((min & ~quint64(0xff)) << 12);
}

// Whether some process has the terminal numbered tty as its controlling one.
bool controlsAnyProcess(quint64 tty) {
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.read(1024);
        // The name in parentheses may hold anything; the fields follow its end.
        const QList<QByteArray> fields =
            line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
        bool ok = false;
        const qint64 ttyNr = fields.value(4).toLongLong(&ok);
        if (ok && ttyNr != 0 && quint64(quint32(ttyNr)) == tty)
            return true;
    }
    return false;
}

} // namespace

bool isSessionTerminal(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // Found by the processes it controls, without opening it: opening a real
    // port would drop its modem lines on close.
    if (controlsAnyProcess(procTerminalNumber(st.st_rdev)))
        return true;
    // /dev/tty stands for the caller's own terminal, which only tcgetsid can
    // tell; it is the one major number that needs opening.
    if (major(st.st_rdev) != 5 || minor(st.st_rdev) != 0)
        return false;
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool terminal = ::isatty(fd) && ::tcgetsid(fd) != -1;
    ::close(fd);
    return terminal;
}

bool namesPseudoTerminal(const QString& path) {
    QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty()) {
        // Gone: where it pointed, if it is a link, else the name itself.
        const QString target = QFile::symLinkTarget(path);
        device = target.isEmpty() ? path : target;
    }
    return device.startsWith(QLatin1String("/dev/pts/"));
}

PortIdentity PortIdentity::of(const QString& path) {
    PortIdentity id;
    id.pseudoTerminal = namesPseudoTerminal(path);
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        id.viaLink = true;
        id.linkInode = qint64(st.st_ino);
        id.linkChangedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    }
    return id;
}

bool reopenCanBecomeSafe(const PortIdentity& opened) {
    return !opened.pseudoTerminal || opened.viaLink;
}

bool reopenIsSafe(const PortIdentity& opened, const QString& path) {
    if (!opened.pseudoTerminal)
        return true;
    if (!opened.viaLink)
        return false;
    const PortIdentity now = PortIdentity::of(path);
    return now.viaLink &&
           (now.linkInode != opened.linkInode || now.linkChangedNs != opened.linkChangedNs);
}

QString refusedDevice(quint32 major, quint32 minor) {
    if (major == 5 && minor == 1)
        return QStringLiteral("it is the system console (5:1), not a serial port");
    if (major == 5 && minor == 2)
        return QStringLiteral("it is the pseudo-terminal multiplexer (5:2), which makes a new "
                              "terminal at each open; give the /dev/pts/N of the device");
    if (major == 4 && minor < 64)
        return QStringLiteral("it is a virtual console (4:%1, tty%1), not a serial port")
            .arg(minor);
    return {};
}
