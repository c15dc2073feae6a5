#include "session/logfile.h"

#include "filetext/regularfile.h"
#include "filetext/systemerror.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr qsizetype stampLength = 23; // "YYYY-MM-DD HH:MM:SS.mmm"
// How much of the start of a file is looked at before it is taken for a log.
constexpr qint64 sniffBytes = 64 * 1024;

bool isStamp(QByteArrayView s) {
    static constexpr char shape[] = "dddd-dd-dd dd:dd:dd.ddd";
    for (qsizetype i = 0; i < stampLength; ++i) {
        const char c = s[i];
        if (shape[i] == 'd' ? (c < '0' || c > '9') : c != shape[i])
            return false;
    }
    return true;
}

// Why the start of a file does not read as a session log, or an empty text.
QString notALog(QByteArrayView start) {
    if (start.isEmpty())
        return QStringLiteral("it is empty");
    // The log escapes every control byte, so it never holds a NUL.
    if (start.contains('\0'))
        return QStringLiteral("it is not a session log (it holds binary data)");
    for (qsizetype at = 0; at < start.size();) {
        qsizetype end = start.indexOf('\n', at);
        if (end < 0)
            end = start.size();
        if (!parseLogLine(start.sliced(at, end - at)).stamp.isEmpty())
            return {};
        at = end + 1;
    }
    return QStringLiteral("it is not a session log (no line begins with a date and time)");
}

} // namespace

LogLine parseLogLine(QByteArrayView line, bool withKind) {
    if (line.endsWith('\r'))
        line.chop(1);
    LogLine out;
    if (line.size() >= stampLength + 2 && isStamp(line) && line[stampLength] == ' ' &&
        line[stampLength + 1] == ' ') {
        out.stamp = line.first(stampLength);
        out.text = line.sliced(stampLength + 2);
        if (withKind)
            out.kind = rowKind(out.text);
    } else {
        out.text = line;
    }
    return out;
}

std::unique_ptr<LogFile> LogFile::open(const QString& path, QString* error) {
    auto refuse = [&](const QString& why) {
        *error = QStringLiteral("Cannot open the log %1: %2").arg(path, why);
        return nullptr;
    };
    // Looked at before it is opened: opening a FIFO or a device can block or act on it.
    const OpenedFile opened =
        openRegularFile(QFile::encodeName(path), std::numeric_limits<qint64>::max(), Links::Refuse);
    const RegularFile& file = opened.file;
    switch (file.status) {
    case RegularFile::Read:
        break;
    case RegularFile::Missing:
        return refuse(systemError(ENOENT));
    case RegularFile::Failed:
        return refuse(systemError(file.error));
    case RegularFile::NotRegular:
        return refuse(file.isLink
                          ? QStringLiteral("it is a symbolic link; open the file itself")
                          : QStringLiteral("it is %1, not a file").arg(fileKind(file.mode)));
    case RegularFile::TooLarge: // no bound was set
        return refuse(systemError(EFBIG));
    }
    const int fd = opened.fd;
    std::unique_ptr<LogFile> log(new LogFile);
    log->m_path = path;
    log->m_size = opened.size;
    if (log->m_size > 0) {
        void* map = ::mmap(nullptr, size_t(log->m_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            const int err = errno;
            ::close(fd);
            return refuse(systemError(err));
        }
        log->m_data = static_cast<const char*>(map);
        ::madvise(map, size_t(log->m_size), MADV_SEQUENTIAL);
    }
    ::close(fd);
    if (const QString why = notALog(QByteArrayView(log->m_data, qMin(log->m_size, sniffBytes)));
        !why.isEmpty())
        return refuse(why);
    return log;
}

LogFile::~LogFile() {
    if (m_data)
        ::munmap(const_cast<char*>(m_data), size_t(m_size));
}

bool LogFile::indexMore(qint64 maxBytes) {
    const qint64 end = qMin(m_size, m_scanned + qMax<qint64>(1, maxBytes));
    for (qint64 at = m_scanned; at < end;) {
        m_starts.push_back(at);
        const void* lf = std::memchr(m_data + at, '\n', size_t(m_size - at));
        at = lf ? static_cast<const char*>(lf) - m_data + 1 : m_size;
        m_scanned = at;
    }
    return indexed();
}

QByteArrayView LogFile::raw(qint64 i) const {
    const qint64 start = m_starts[std::size_t(i)];
    qint64 end = std::size_t(i + 1) < m_starts.size() ? m_starts[std::size_t(i + 1)] : m_scanned;
    if (end > start && m_data[end - 1] == '\n')
        --end;
    return {m_data + start, end - start};
}

qint64 LogFile::indexBytes() const {
    // libstdc++ keeps a deque in blocks of 512 bytes, with a map of pointers to them.
    return qint64(m_starts.size()) * qint64(sizeof(qint64)) + qint64(m_starts.size() / 64 + 1) * 16;
}
