#include "session/sessionlog.h"

#include <QDateTime>
#include <QDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SessionLog::~SessionLog() {
    close();
}

QString SessionLog::directory() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are to be ignored, as the XDG rules say.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/orv-test");
}

QString SessionLog::pathFor(const QDate& day) {
    return directory() + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

void SessionLog::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SessionLog::open(const QDate& day, QString* error) {
    close();
    m_day = day;
    const QString path = pathFor(day);
    if (!QDir().mkpath(directory())) {
        *error =
            QStringLiteral("Cannot write the session log %1: cannot create its folder").arg(path);
        return false;
    }
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                  0644);
    if (m_fd < 0) {
        *error = QStringLiteral("Cannot write the session log %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

QString SessionLog::append(qint64 msecsSinceEpoch, const QByteArray& line) {
    QString error;
    m_buffer.clear();
    m_stamper.append(m_buffer, msecsSinceEpoch, line);
    m_buffer += '\n';
    const QDate day = m_stamper.day();
    bool ok = (m_fd >= 0 && day == m_day) || open(day, &error);
    if (ok) {
        // One write per line: O_APPEND keeps it whole, and it reaches the
        // system before this returns.
        const ssize_t n = ::write(m_fd, m_buffer.constData(), size_t(m_buffer.size()));
        if (n != m_buffer.size()) {
            ok = false;
            error = QStringLiteral("Cannot write the session log %1: %2")
                        .arg(pathFor(day), n < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                                 : QStringLiteral("the disk is full"));
            // Try afresh with the next line.
            close();
        }
    }
    if (ok || m_reported)
        return {};
    m_reported = true;
    return error;
}
