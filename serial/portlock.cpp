#include "serial/portlock.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <csignal>

namespace {

QByteArray firstLine(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(256).split('\n').value(0).trimmed();
}

} // namespace

QString portLockHolder(const QString& devicePath) {
    // The places and the name the serial port library uses for its lock files.
    QString name = devicePath;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList folders{QStringLiteral("/var/lock"),
                              QStringLiteral("/etc/locks"),
                              QStringLiteral("/var/spool/locks"),
                              QStringLiteral("/var/spool/uucp"),
                              QStringLiteral("/tmp"),
                              QStringLiteral("/var/tmp"),
                              QStringLiteral("/var/lock/lockdev"),
                              QStringLiteral("/run/lock"),
                              QDir::tempPath()};
    for (const QString& folder : folders) {
        bool ok = false;
        const qint64 pid = firstLine(folder + QStringLiteral("/LCK..") + name).toLongLong(&ok);
        // A lock left by a process that has gone holds nothing.
        if (!ok || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
            continue;
        const QByteArray comm = firstLine(QStringLiteral("/proc/%1/comm").arg(pid));
        return comm.isEmpty()
                   ? QStringLiteral("PID %1").arg(pid)
                   : QStringLiteral("PID %1, %2").arg(pid).arg(QString::fromLocal8Bit(comm));
    }
    return {};
}
