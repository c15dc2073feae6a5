#include "session/sessionlog.h"

#include "filetext/ownerfolder.h"
#include "filetext/systemerror.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SessionLog::SessionLog(QObject* parent) : QObject(parent) {
    // An ending program may never return to its event loop.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &SessionLog::flush);
}

SessionLog::~SessionLog() {
    // Nobody is left to hear of a failure now.
    blockSignals(true);
    flush();
    close();
}

QString SessionLog::directory() {
    return logFolder(currentPlaces());
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

bool SessionLog::open(QString* why) {
    close();
    // Device traffic is the user's business: the folder is the owner's only,
    // wherever a link to it leads.
    const OwnerFolder folder = ownerOnlyFolder(QFile::encodeName(directory()));
    if (!folder.usable()) {
        *why = folder.error;
        return false;
    }
    if (!folder.note.isEmpty() && !m_folderNoted) {
        m_folderNoted = true;
        Q_EMIT failed(QStringLiteral("Session log: %1").arg(folder.note));
    }
    // Not through a link, and never blocking on a FIFO put in its place.
    const int fd = ::open(
        QFile::encodeName(pathFor(m_day)).constData(),
        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    struct stat st {};
    if (fd < 0) {
        const int err = errno;
        // A FIFO without a reader says "no such device": say what it is.
        const bool odd = ::lstat(QFile::encodeName(pathFor(m_day)).constData(), &st) == 0 &&
                         !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
        *why = err == ELOOP ? QStringLiteral("it is a symbolic link")
               : odd        ? QStringLiteral("it is not a regular file")
                            : systemError(err);
        return false;
    }
    if (::fstat(fd, &st) != 0)
        *why = systemError(errno);
    else if (!S_ISREG(st.st_mode))
        *why = QStringLiteral("it is not a regular file");
    else if (st.st_uid != ::geteuid())
        *why = QStringLiteral("it belongs to another user");
    else {
        if (st.st_mode & 077)
            ::fchmod(fd, 0600);
        m_fd = fd;
        return true;
    }
    ::close(fd);
    return false;
}

void SessionLog::append(qint64 msecsSinceEpoch, const QByteArray& line) {
    const qsizetype start = m_pending.size();
    m_stamper.append(m_pending, msecsSinceEpoch, line);
    m_pending += '\n';
    if (m_stamper.day() != m_day) {
        // A new day, a new file: what was queued goes to the old one first.
        const QByteArray fresh = m_pending.mid(start);
        m_pending.truncate(start);
        flush();
        close();
        m_day = m_stamper.day();
        m_pending += fresh;
        // Opened at once, so that a log that cannot be written is told
        // beside the first line it misses.
        QString error;
        if (!m_unfinished.isEmpty())
            lose(m_unfinished.count('\n'), QStringLiteral("the day ended"));
        m_unfinished.clear();
        if (!open(&error)) {
            m_pending.truncate(start);
            lose(1 + m_pendingLines, error);
            m_pendingLines = 0;
            m_pending.clear();
            report(error);
            return;
        }
    }
    ++m_pendingLines;
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &SessionLog::flush, Qt::QueuedConnection);
    }
}

qsizetype SessionLog::writeAll(const QByteArray& bytes, QString* error) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? systemError(errno) : QStringLiteral("nothing could be written");
            break;
        }
        done += n;
    }
    return done;
}

void SessionLog::lose(qsizetype lines, const QString& reason) {
    if (lines <= 0)
        return;
    m_lostLines += lines;
    m_lostReason = reason;
}

void SessionLog::report(const QString& why) {
    if (m_reported)
        return;
    m_reported = true;
    Q_EMIT failed(QStringLiteral("Cannot write the session log %1: %2").arg(pathFor(m_day), why));
}

void SessionLog::flush() {
    m_flushQueued = false;
    if (m_pending.isEmpty() && m_unfinished.isEmpty())
        return;
    QString error;
    if (m_fd < 0 && !open(&error)) {
        lose(m_pendingLines, error);
        m_pending.clear();
        m_pendingLines = 0;
        report(error);
        return;
    }
    // The rest of a line cut short comes before anything else.
    if (!m_unfinished.isEmpty()) {
        const qsizetype n = writeAll(m_unfinished, &error);
        m_unfinished.remove(0, n);
        if (!m_unfinished.isEmpty()) {
            lose(m_pendingLines, error);
            m_pending.clear();
            m_pendingLines = 0;
            return;
        }
    }
    QByteArray out;
    if (m_lostLines > 0) {
        m_stamper.append(out, QDateTime::currentMSecsSinceEpoch(),
                         QStringLiteral("(%1 lines not logged: %2)")
                             .arg(m_lostLines)
                             .arg(m_lostReason)
                             .toUtf8());
        out += '\n';
    }
    out += m_pending;
    const qsizetype pendingLines = m_pendingLines;
    m_pending.clear();
    m_pendingLines = 0;
    const qsizetype n = out.isEmpty() ? 0 : writeAll(out, &error);
    if (n == out.size()) {
        m_lostLines = 0;
        return;
    }
    if (n > 0) {
        // Part of it is on disk: the rest is owed to the file, the gap line included.
        m_unfinished = out.mid(n);
        m_lostLines = 0;
    } else {
        lose(pendingLines, error);
    }
    report(error);
}
