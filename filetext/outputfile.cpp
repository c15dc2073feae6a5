#include "filetext/outputfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// A new file beside the target, named after it, hidden; -1 and errno when it
// cannot be made.
int createBeside(const QString& folder, const QString& name, QString* made) {
    static unsigned serial = 0;
    for (int tries = 0; tries < 100; ++tries) {
        *made = QStringLiteral("%1/.%2.%3-%4.tmp").arg(folder, name).arg(::getpid()).arg(++serial);
        const int fd = ::open(native(*made).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The device produce() writes into: gathered into chunks, each written whole
// with every write() checked; the first error ends the writing.
class ChunkedFile : public QIODevice {
public:
    explicit ChunkedFile(int fd) : m_fd(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    // Writes what is gathered; false (and error()) when it could not.
    bool drain() {
        for (qsizetype done = 0; m_error == 0 && done < m_chunk.size();) {
            const ssize_t n =
                ::write(m_fd, m_chunk.constData() + done, std::size_t(m_chunk.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EINTR)
                m_error = errno;
            else if (n == 0)
                m_error = EIO;
        }
        m_chunk.clear();
        return m_error == 0;
    }
    int error() const { return m_error; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (m_error)
            return -1;
        m_chunk.append(data, len);
        if (m_chunk.size() >= chunkBytes && !drain())
            return -1;
        return len;
    }

private:
    static constexpr qsizetype chunkBytes = 64 * 1024;
    int m_fd;
    int m_error = 0;
    QByteArray m_chunk;
};

// SIGXFSZ would end the program at a file-size limit; while a file is
// written, the limit is an error like any other.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_old);
    }
    ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &m_old, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction m_old {};
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the target (found or not) is the input: the same inode, or for a
// file not made yet, the same name in the same folder.
bool isInput(const QString& path, bool exists, const struct stat& target, const struct stat& folder,
             const InputFile& input) {
    if (input.path.isEmpty())
        return false;
    struct stat in {};
    if (::stat(native(input.path).constData(), &in) == 0)
        return exists && sameFile(in, target);
    const QFileInfo info(input.path);
    struct stat inFolder {};
    return !exists && info.fileName() == QFileInfo(path).fileName() &&
           ::stat(native(info.absolutePath()).constData(), &inFolder) == 0 &&
           sameFile(inFolder, folder);
}

QString targetProblem(const QString& path, const QList<InputFile>& inputs, bool* exists) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    struct stat target {};
    *exists = ::lstat(native(path).constData(), &target) == 0;
    if (!*exists && errno != ENOENT)
        return reason(errno);
    if (*exists && S_ISLNK(target.st_mode))
        return QStringLiteral("it is a symbolic link; give the path of the file itself");
    if (*exists && S_ISDIR(target.st_mode))
        return QStringLiteral("it is a folder");
    if (*exists && !S_ISREG(target.st_mode))
        return QStringLiteral("it is not a regular file");
    // Someone made it read-only: even root leaves it alone.
    if (*exists && ((target.st_mode & 0222) == 0 || ::access(native(path).constData(), W_OK) != 0))
        return QStringLiteral("the file is read-only");
    struct stat dir {};
    if (::stat(native(folder).constData(), &dir) != 0)
        return errno == ENOENT ? QStringLiteral("the folder %1 does not exist").arg(folder)
                               : QStringLiteral("the folder %1: %2").arg(folder, reason(errno));
    if (!S_ISDIR(dir.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    // A sticky folder lets only the file's or the folder's owner replace it.
    const uid_t me = ::geteuid();
    if (*exists && (dir.st_mode & S_ISVTX) && me != 0 && target.st_uid != me && dir.st_uid != me)
        return QStringLiteral("it belongs to another user, in the sticky folder %1").arg(folder);
    for (const InputFile& input : inputs) {
        if (isInput(path, *exists, target, dir, input))
            return QStringLiteral("it is %1 %2").arg(input.what, input.path);
    }
    return {};
}

QString creationProblem(const QString& folder, int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("the folder %1 is not writable (%2)").arg(folder, reason(error));
    case EROFS:
        return QStringLiteral("the folder %1 is on a read-only file system").arg(folder);
    case ENOENT:
        // The folder was found: its file system takes no new files (/proc).
        return QStringLiteral("the folder %1 cannot hold new files (its file system refuses them)")
            .arg(folder);
    default:
        return QStringLiteral("cannot make a file in %1 (%2)").arg(folder, reason(error));
    }
}

QString failed(const QString& what, const QString& path, const QString& why) {
    return QStringLiteral("Cannot write %1 %2: %3").arg(what, path, why);
}

// targetProblem() as the whole message, a missing name included.
QString namedTargetProblem(const QString& what, const QString& path,
                           const QList<InputFile>& inputs, bool* exists) {
    if (path.isEmpty())
        return QStringLiteral("Cannot write %1: no file name given").arg(what);
    const QString problem = targetProblem(path, inputs, exists);
    return problem.isEmpty() ? problem : failed(what, path, problem);
}

} // namespace

QString outputFileProblem(const QString& what, const QString& path,
                          const QList<InputFile>& inputs) {
    bool exists = false;
    if (const QString problem = namedTargetProblem(what, path, inputs, &exists);
        !problem.isEmpty())
        return problem;
    const QFileInfo info(path);
    QString trial;
    const int fd = createBeside(info.absolutePath(), info.fileName(), &trial);
    if (fd < 0)
        return failed(what, path, creationProblem(info.absolutePath(), errno));
    ::close(fd);
    ::unlink(native(trial).constData());
    return {};
}

QString writeOutputFile(const QString& what, const QString& path,
                        const std::function<void(QIODevice&)>& produce,
                        const QList<InputFile>& inputs) {
    bool exists = false;
    if (const QString problem = namedTargetProblem(what, path, inputs, &exists);
        !problem.isEmpty())
        return problem;
    const QString kept = exists ? QStringLiteral("; the old file is unchanged")
                                : QStringLiteral("; no file was made");
    const QFileInfo info(path);
    struct stat old {};
    const bool hadMode = exists && ::stat(native(path).constData(), &old) == 0;

    const FileSizeSignalIgnored fileSizeSignal;
    QString temp;
    const int fd = createBeside(info.absolutePath(), info.fileName(), &temp);
    if (fd < 0)
        return failed(what, path, creationProblem(info.absolutePath(), errno) + kept);
    int error = 0;
    // The new file keeps the modes the operator gave the old one.
    if (hadMode && ::fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    if (!error) {
        ChunkedFile sink(fd);
        produce(sink);
        sink.drain();
        error = sink.error();
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(native(temp).constData(), native(path).constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(native(temp).constData());
        return failed(what, path, reason(error) + kept);
    }
    // The rename itself reaches the disk with its folder.
    if (const int dir =
            ::open(native(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}
