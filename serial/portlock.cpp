#include "serial/portlock.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace {

QString lockFolder() {
    const QString run = QStringLiteral("/run/lock");
    return QFileInfo(run).isDir() ? run : QStringLiteral("/var/lock");
}

} // namespace

PortLock::PortLock() = default;

PortLock::~PortLock() = default;

bool PortLock::lock(const QString& devicePath) {
    unlock();
    QString name = devicePath;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString path = lockFolder() + QStringLiteral("/LCK..") + name;
    auto file = std::make_unique<QLockFile>(path);
    // Only a holder that has gone makes a lock stale, never its age.
    file->setStaleLockTime(0);
    if (file->tryLock(0)) {
        m_file = std::move(file);
        return true;
    }
    QString host;
    switch (file->error()) {
    case QLockFile::LockFailedError:
        if (file->getLockInfo(&m_holderPid, &host, &m_holderName) && m_holderPid > 0)
            return false;
        m_holderPid = 0;
        m_error = QStringLiteral("its lock file %1 is held, by no process that says who").arg(path);
        break;
    case QLockFile::PermissionError:
        m_error =
            QStringLiteral("its lock file %1 cannot be made here (permission denied)").arg(path);
        break;
    default:
        m_error = QStringLiteral("its lock file %1 could not be written (a full disk or a "
                                 "file-size limit?)")
                      .arg(path);
        break;
    }
    return false;
}

void PortLock::unlock() {
    m_file.reset();
    m_holderPid = 0;
    m_holderName.clear();
    m_error.clear();
}

QString describeHolder(qint64 pid, const QString& name) {
    QString program = name;
    if (program.isEmpty()) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            program = QString::fromLocal8Bit(comm.read(256).trimmed());
    }
    return program.isEmpty() ? QStringLiteral("PID %1").arg(pid)
                             : QStringLiteral("PID %1, %2").arg(pid).arg(program);
}
