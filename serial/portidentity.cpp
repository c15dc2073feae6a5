#include "serial/portidentity.h"

#include <QFileInfo>
#include <sys/stat.h>

PortIdentity PortIdentity::of(const QString& path) {
    PortIdentity id;
    const QString device = QFileInfo(path).canonicalFilePath();
    id.pseudoTerminal = device.startsWith(QLatin1String("/dev/pts/"));
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        id.viaLink = true;
        id.linkInode = qint64(st.st_ino);
        id.linkChangedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    }
    return id;
}

bool reopenCanBecomeSafe(const PortIdentity& opened) {
    return !opened.pseudoTerminal || opened.viaLink;
}

bool reopenIsSafe(const PortIdentity& opened, const QString& path) {
    if (!opened.pseudoTerminal)
        return true;
    if (!opened.viaLink)
        return false;
    const PortIdentity now = PortIdentity::of(path);
    return now.viaLink &&
           (now.linkInode != opened.linkInode || now.linkChangedNs != opened.linkChangedNs);
}
