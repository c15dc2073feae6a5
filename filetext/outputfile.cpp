#include "filetext/outputfile.h"

#include "filetext/systemerror.h"
#include "filetext/visibletext.h"

#include <QIODevice>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// The folder as a message names it: absolute, so that "." says where.
QString shownFolder(const QByteArray& folder) {
    if (folder.startsWith('/'))
        return terminalText(folder);
    char* cwd = ::getcwd(nullptr, 0);
    const QByteArray absolute =
        cwd ? QByteArray(cwd) + (folder == "." ? QByteArray() : "/" + folder) : folder;
    std::free(cwd);
    return terminalText(absolute);
}

// A new file beside the target, named after it, hidden, and within the
// file-name limit however long the target's name; -1 and errno when it cannot
// be made.
int createBeside(const QByteArray& folder, const QByteArray& name, mode_t mode, QByteArray* made) {
    static std::atomic<unsigned> serial{0};
    for (int tries = 0; tries < 100; ++tries) {
        const QByteArray tail =
            '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(++serial) + ".tmp";
        *made = folder + "/." + name.left(NAME_MAX - 1 - tail.size()) + tail;
        const int fd =
            ::open(made->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
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

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the target (found or not) is the input: the same inode, or for a
// file not made yet, the same name in the same folder.
bool isInput(const QByteArray& path, bool exists, const struct stat& target,
             const struct stat& folder, const InputFile& input) {
    if (input.path.isEmpty())
        return false;
    struct stat in {};
    if (::stat(input.path.constData(), &in) == 0)
        return exists && sameFile(in, target);
    struct stat inFolder {};
    return !exists && nameOf(input.path) == nameOf(path) &&
           ::stat(folderOf(input.path).constData(), &inFolder) == 0 && sameFile(inFolder, folder);
}

// What the target is once its link policy is applied: the path written.
struct Target {
    QByteArray path;
    bool exists = false;
    mode_t mode = 0;
    QString problem;
};

Target resolve(const OutputFile& file) {
    Target t;
    t.path = file.path;
    struct stat st {};
    t.exists = ::lstat(t.path.constData(), &st) == 0;
    if (!t.exists && errno != ENOENT)
        t.problem = systemError(errno);
    else if (t.exists && S_ISLNK(st.st_mode) && file.links == Links::Refuse)
        t.problem = QStringLiteral("it is a symbolic link; give the path of the file itself");
    if (!t.problem.isEmpty() || !t.exists || !S_ISLNK(st.st_mode))
        return t;
    char* real = ::realpath(file.path.constData(), nullptr);
    if (!real || ::stat(real, &st) != 0)
        t.problem = QStringLiteral("it is a symbolic link to nothing");
    else if (st.st_uid != ::geteuid())
        t.problem = QStringLiteral("it is a symbolic link to %1, which belongs to another user")
                        .arg(terminalText(real));
    else
        t.path = real;
    std::free(real);
    return t;
}

QString targetProblem(const OutputFile& file, Target& t) {
    if (!t.problem.isEmpty())
        return t.problem;
    const QByteArray folder = folderOf(t.path);
    struct stat target {};
    if (t.exists && ::lstat(t.path.constData(), &target) != 0)
        return systemError(errno);
    t.mode = target.st_mode;
    if (t.exists && S_ISDIR(target.st_mode))
        return QStringLiteral("it is a folder");
    if (t.exists && !S_ISREG(target.st_mode))
        return QStringLiteral("it is not a regular file");
    // Someone made it read-only: even root leaves it alone.
    if (t.exists && ((target.st_mode & 0222) == 0 || ::access(t.path.constData(), W_OK) != 0))
        return QStringLiteral("the file is read-only");
    struct stat dir {};
    if (::stat(folder.constData(), &dir) != 0)
        return errno == ENOENT
                   ? QStringLiteral("the folder %1 does not exist").arg(shownFolder(folder))
                   : QStringLiteral("the folder %1: %2")
                         .arg(shownFolder(folder), systemError(errno));
    if (!S_ISDIR(dir.st_mode))
        return QStringLiteral("%1 is not a folder").arg(shownFolder(folder));
    // A folder removed while the program was in it can still be looked at.
    if (dir.st_nlink == 0)
        return folder == "."
                   ? QStringLiteral("the working folder has been removed")
                   : QStringLiteral("the folder %1 has been removed").arg(terminalText(folder));
    // A sticky folder lets only the file's or the folder's owner replace it.
    const uid_t me = ::geteuid();
    if (t.exists && (dir.st_mode & S_ISVTX) && me != 0 && target.st_uid != me && dir.st_uid != me)
        return QStringLiteral("it belongs to another user, in the sticky folder %1")
            .arg(shownFolder(folder));
    for (const InputFile& input : file.inputs) {
        if (isInput(t.path, t.exists, target, dir, input))
            return QStringLiteral("it is %1 %2").arg(input.what, terminalText(input.path));
    }
    return {};
}

QString creationProblem(const QByteArray& folder, int error) {
    const QString shown = shownFolder(folder);
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("the folder %1 is not writable (%2)").arg(shown, systemError(error));
    case EROFS:
        return QStringLiteral("the folder %1 is on a read-only file system").arg(shown);
    case ENOENT: {
        struct stat dir {};
        if (::stat(folder.constData(), &dir) != 0 || dir.st_nlink == 0)
            return QStringLiteral("the folder %1 has been removed").arg(shown);
        // The folder is there: its file system takes no new files (/proc).
        return QStringLiteral("the folder %1 cannot hold new files (its file system refuses them)")
            .arg(shown);
    }
    default:
        return QStringLiteral("cannot make a file in %1 (%2)").arg(shown, systemError(error));
    }
}

QString failed(const OutputFile& file, const QString& why) {
    return QStringLiteral("Cannot write %1 %2: %3").arg(file.what, terminalText(file.path), why);
}

// targetProblem() as the whole message, a missing name included.
QString namedTargetProblem(const OutputFile& file, Target& t) {
    if (file.path.isEmpty())
        return QStringLiteral("Cannot write %1: no file name given").arg(file.what);
    if (file.path.contains('\0'))
        return failed(file, QStringLiteral("the name holds a NUL byte"));
    const QString problem = targetProblem(file, t);
    return problem.isEmpty() ? problem : failed(file, problem);
}

} // namespace

QString outputFileProblem(const OutputFile& file) {
    Target t = resolve(file);
    if (const QString problem = namedTargetProblem(file, t); !problem.isEmpty())
        return problem;
    QByteArray trial;
    const int fd = createBeside(folderOf(t.path), nameOf(t.path), 0600, &trial);
    if (fd < 0)
        return failed(file, creationProblem(folderOf(t.path), errno));
    ::close(fd);
    ::unlink(trial.constData());
    return {};
}

QString writeOutputFile(const OutputFile& file, const std::function<void(QIODevice&)>& produce) {
    Target t = resolve(file);
    if (const QString problem = namedTargetProblem(file, t); !problem.isEmpty())
        return problem;
    const QString kept = t.exists ? QStringLiteral("; the old file is unchanged")
                                  : QStringLiteral("; no file was made");
    const QByteArray folder = folderOf(t.path);
    QByteArray temp;
    const int fd = createBeside(folder, nameOf(t.path), file.newMode, &temp);
    if (fd < 0)
        return failed(file, creationProblem(folder, errno) + kept);
    int error = 0;
    // The new file keeps the modes the operator gave the old one.
    if (t.exists && ::fchmod(fd, t.mode & 07777) != 0)
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
    if (!error && ::rename(temp.constData(), t.path.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temp.constData());
        return failed(file, systemError(error) + kept);
    }
    // The rename itself reaches the disk with its folder.
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}
