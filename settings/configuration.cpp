#include "settings/configuration.h"

#include "settings/inifile.h"
#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// Far beyond any device path; a longer value is a damaged file, not a port.
constexpr int kMaxValueBytes = 4096;

QMutex& overrideMutex() {
    static QMutex mutex;
    return mutex;
}

QString& programDirectoryOverride() {
    static QString dir;
    return dir;
}

QString& configOption() {
    static QString file;
    return file;
}

IniWriteResult failure(const QString& verb, const QString& path, const QString& reason) {
    IniWriteResult result;
    result.error = QStringLiteral("Cannot %1 %2: %3").arg(verb, path, reason);
    return result;
}

} // namespace

QString programDirectory() {
    {
        const QMutexLocker lock(&overrideMutex());
        if (!programDirectoryOverride().isEmpty())
            return programDirectoryOverride();
    }
    // /proc/self/exe is the real binary even when started through a symlink,
    // and needs no QCoreApplication.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!exe.isEmpty())
        return QFileInfo(exe).path();
    return QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
}

void setProgramDirectoryForTesting(const QString& dir) {
    const QMutexLocker lock(&overrideMutex());
    programDirectoryOverride() = dir;
}

void setConfigOption(const QString& file) {
    const QMutexLocker lock(&overrideMutex());
    configOption() = file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath();
}

Places currentPlaces() {
    Places places;
    places.programDir = programDirectory();
    // Compared by real path: /bin may be a link to /usr/bin.
    places.installBinDir = QFileInfo(QStringLiteral(ORV_INSTALL_BINDIR)).canonicalFilePath();
    places.installDataDir = QStringLiteral(ORV_INSTALL_DATADIR);
    {
        const QMutexLocker lock(&overrideMutex());
        places.configOption = configOption();
    }
    places.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    places.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    places.xdgStateHome = qEnvironmentVariable("XDG_STATE_HOME");
    places.home = QDir::homePath();
    return places;
}

QString configPath() {
    return configLocation(currentPlaces()).path;
}

QString readIniValue(const QString& section, const QString& key, const QString& path,
                     QString* error) {
    const SettingsFile file = readSettingsFile(path);
    QString problem = file.error;
    QByteArray value;
    if (problem.isEmpty()) {
        value = ini::lookup(file.content, section.toUtf8(), key.toUtf8());
        if (value.size() > kMaxValueBytes)
            problem = QStringLiteral("Cannot use the settings file %1: the value of %2 in [%3] "
                                     "is longer than %4 bytes")
                          .arg(path, key, section)
                          .arg(kMaxValueBytes);
    }
    if (error)
        *error = problem;
    // Read whole or not at all: a cut value would name another device.
    return problem.isEmpty() ? QString::fromUtf8(value) : QString();
}

IniWriteResult writeIniValue(const QString& section, const QString& key, const QString& value,
                             const QString& path) {
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) ||
        value.contains(QChar(0)))
        return failure(QStringLiteral("write"), path,
                       QStringLiteral("the value contains a line break or NUL character"));

    // Writing on top of a file we could not read would lose its other lines.
    const SettingsFile existing = readSettingsFile(path);
    if (!existing.error.isEmpty()) {
        IniWriteResult result;
        result.error = existing.error;
        return result;
    }
    const QByteArray& content = existing.content;

    const QByteArray wanted = value.toUtf8();
    const QByteArray updated = ini::edit(content, section.toUtf8(), key.toUtf8(), wanted);
    // ini::edit leaves the content alone for names a file cannot hold.
    if (ini::lookup(updated, section.toUtf8(), key.toUtf8()) != wanted)
        return failure(QStringLiteral("write"), path,
                       QStringLiteral("the section or key name cannot be stored in an INI file"));

    QSaveFile file(path);
    // Never fall back to rewriting the file in place: that could leave it truncated.
    file.setDirectWriteFallback(false);
    // Unbuffered: QSaveFile::commit() ignores a failing flush of its write buffer
    // and would put a truncated file in place (seen with Qt 6.4 at a full disk).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(QStringLiteral("write"), path, file.errorString());
    // A short write reports no error by itself; writing the rest then fails with
    // the system's reason.
    qsizetype written = 0;
    while (written < updated.size()) {
        const qint64 n = file.write(updated.constData() + written, updated.size() - written);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return failure(QStringLiteral("write"), path, reason);
        }
        written += n;
    }
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(QStringLiteral("write"), path, reason);
    }
    if (!file.commit())
        return failure(QStringLiteral("write"), path, file.errorString());
    IniWriteResult result;
    result.ok = true;
    return result;
}

IniWriteResult writeConfigValue(const ConfigLocation& where, const QString& section,
                                const QString& key, const QString& value) {
    if (where.createFolder) {
        // Only the missing folders are made, parents first; ~/.config itself
        // may be missing on a fresh account.
        QStringList missing;
        for (QString dir = QFileInfo(where.path).path(); !QFileInfo::exists(dir);
             dir = QFileInfo(dir).path())
            missing.prepend(dir);
        for (const QString& dir : missing) {
            if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
                return failure(QStringLiteral("create the folder"), dir,
                               QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return writeIniValue(section, key, value, where.path);
}

IniWriteResult saveConfigValue(const QString& section, const QString& key, const QString& value) {
    return writeConfigValue(configLocation(currentPlaces()), section, key, value);
}
