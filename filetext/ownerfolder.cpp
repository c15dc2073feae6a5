#include "filetext/ownerfolder.h"

#include "filetext/systemerror.h"
#include "filetext/visibletext.h"

#include <QByteArrayList>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray parentOf(const QByteArray& dir) {
    const qsizetype slash = dir.lastIndexOf('/');
    return slash > 0 ? dir.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
}

QString modeText(mode_t mode) {
    return QStringLiteral("%1").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

} // namespace

OwnerFolder ownerOnlyFolder(const QByteArray& dir) {
    OwnerFolder result;
    const QString shown = terminalText(dir);
    // Only the missing folders are made, parents first (~/.local/state may
    // be missing on a fresh account).
    QByteArrayList missing;
    struct stat st {};
    for (QByteArray d = dir; !d.isEmpty() && ::lstat(d.constData(), &st) != 0 && errno == ENOENT;
         d = parentOf(d)) {
        missing.prepend(d);
        if (d == "/" || d == ".")
            break;
    }
    for (const QByteArray& d : std::as_const(missing)) {
        if (::mkdir(d.constData(), 0700) != 0 && errno != EEXIST) {
            result.error = QStringLiteral("cannot create its folder %1: %2")
                               .arg(terminalText(d), systemError(errno));
            return result;
        }
    }
    // The folder reached, through a link if it is one.
    const int missed = ::stat(dir.constData(), &st) == 0 ? 0 : errno;
    if (missed || !S_ISDIR(st.st_mode)) {
        const int error = missed ? missed : ENOTDIR;
        result.error =
            QStringLiteral("cannot create its folder %1: %2").arg(shown, systemError(error));
        return result;
    }
    QString folder = QStringLiteral("the folder %1").arg(shown);
    struct stat link {};
    if (::lstat(dir.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* real = ::realpath(dir.constData(), nullptr);
        folder += QStringLiteral(" (a link to %1)").arg(terminalText(real ? real : "?"));
        std::free(real);
    }
    if (st.st_uid != ::geteuid()) {
        result.error = QStringLiteral("%1 belongs to another user").arg(folder);
        return result;
    }
    if ((st.st_mode & 077) == 0)
        return result;
    const QString was =
        QStringLiteral("%1 is open to others (mode %2)").arg(folder, modeText(st.st_mode));
    if (::chmod(dir.constData(), st.st_mode & 0700) != 0) {
        result.error = QStringLiteral("%1 and cannot be closed: %2").arg(was, systemError(errno));
        return result;
    }
    result.note =
        QStringLiteral("%1: closed to them now (mode %2)").arg(was, modeText(st.st_mode & 0700));
    return result;
}
