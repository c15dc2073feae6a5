#include "settings/settingsfile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

SettingsFile failed(const QString& path, const QString& what) {
    SettingsFile f;
    f.exists = true;
    f.error = QStringLiteral("Cannot use the settings file %1: %2").arg(path, what);
    return f;
}

bool isUtf16(const QByteArray& c) {
    if (c.startsWith("\xFF\xFE") || c.startsWith("\xFE\xFF"))
        return true;
    // Without a byte-order mark: ASCII text with a NUL beside every letter.
    if (c.size() < 4)
        return false;
    auto ascii = [](char b) { return b > 0; };
    return (ascii(c[0]) && !c[1] && ascii(c[2]) && !c[3]) ||
           (!c[0] && ascii(c[1]) && !c[2] && ascii(c[3]));
}

} // namespace

SettingsFile readSettingsFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat link {};
    const bool linkExists = ::lstat(name.constData(), &link) == 0;
    // Non-blocking, or opening a FIFO would wait for a writer for ever.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        // Nothing there at all: a file yet to be made, as far as a save goes.
        if (!linkExists)
            return {};
        if (err == ENOENT)
            return failed(path, QStringLiteral("it is a symbolic link to nothing"));
        if (err == ELOOP)
            return failed(path, QStringLiteral("it is a loop of symbolic links"));
        return failed(path, QString::fromLocal8Bit(std::strerror(err)));
    }
    struct stat st {};
    SettingsFile f;
    f.exists = true;
    if (::fstat(fd, &st) != 0) {
        f = failed(path, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (!S_ISREG(st.st_mode)) {
        f = failed(path, QStringLiteral("it is %1, not a file").arg(kindOf(st.st_mode)));
    } else if (st.st_size > maxSettingsFileBytes) {
        f = failed(path, QStringLiteral("it is larger than %1 bytes").arg(maxSettingsFileBytes));
    } else {
        // Read to the cap only: the file may grow while it is read.
        f.content.resize(maxSettingsFileBytes + 1);
        qsizetype got = 0;
        while (got < f.content.size()) {
            const ssize_t n = ::read(fd, f.content.data() + got, size_t(f.content.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                f = failed(path, QString::fromLocal8Bit(std::strerror(errno)));
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        if (f.error.isEmpty()) {
            f.content.truncate(got);
            if (got > maxSettingsFileBytes)
                f = failed(path,
                           QStringLiteral("it is larger than %1 bytes").arg(maxSettingsFileBytes));
            else if (isUtf16(f.content))
                f = failed(path, QStringLiteral("it is UTF-16 text; save it as UTF-8"));
        }
    }
    ::close(fd);
    return f;
}
