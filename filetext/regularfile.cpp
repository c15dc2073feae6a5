#include "filetext/regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

RegularFile failed(RegularFile f, RegularFile::Status status, int error = 0, mode_t mode = 0) {
    f.status = status;
    f.error = error;
    f.mode = mode;
    return f;
}

} // namespace

OpenedFile openRegularFile(const QByteArray& path, qint64 maxBytes, Links links) {
    OpenedFile o;
    RegularFile& f = o.file;
    auto fail = [&](RegularFile::Status status, int error = 0, mode_t mode = 0) {
        f = failed(f, status, error, mode);
        return o;
    };
    if (path.contains('\0'))
        return fail(RegularFile::Failed, EINVAL);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? o : fail(RegularFile::Failed, errno);
    f.isLink = S_ISLNK(st.st_mode);
    if (f.isLink && links == Links::Refuse)
        return fail(RegularFile::NotRegular, 0, st.st_mode);
    if (::stat(path.constData(), &st) != 0)
        return fail(RegularFile::Failed, errno);
    if (!S_ISREG(st.st_mode))
        return fail(RegularFile::NotRegular, 0, st.st_mode);
    if (st.st_size > maxBytes)
        return fail(RegularFile::TooLarge);
    const int noFollow = links == Links::Refuse ? O_NOFOLLOW : 0;
    const int fd =
        ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noFollow);
    if (fd < 0 && errno == ELOOP && noFollow) {
        f.isLink = true; // made a link since it was looked at
        return fail(RegularFile::NotRegular, 0, S_IFLNK);
    }
    if (fd < 0)
        return fail(RegularFile::Failed, errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd); // swapped for something else since it was looked at
        return fail(RegularFile::NotRegular, 0, st.st_mode);
    }
    f.status = RegularFile::Read;
    o.fd = fd;
    o.size = st.st_size;
    return o;
}

RegularFile readRegularFile(const QByteArray& path, qint64 maxBytes) {
    OpenedFile opened = openRegularFile(path, maxBytes);
    RegularFile& f = opened.file;
    if (opened.fd < 0)
        return f;
    const int fd = opened.fd;
    // One byte of room beyond the bound, to see a file that grew meanwhile.
    QByteArray& bytes = f.content;
    bytes.resize(qsizetype(qMin<qint64>(opened.size, maxBytes)) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maxBytes)
                break;
            bytes.resize(qsizetype(qMin<qint64>(qint64(have) * 2, maxBytes + 1)));
        }
        const ssize_t got = ::read(fd, bytes.data() + have, std::size_t(bytes.size() - have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return failed(RegularFile{}, RegularFile::Failed, error);
        }
        if (got == 0)
            break;
        have += got;
    }
    ::close(fd);
    if (have > maxBytes)
        return failed(RegularFile{}, RegularFile::TooLarge);
    bytes.truncate(have);
    return f;
}

QString fileKind(mode_t mode) {
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
