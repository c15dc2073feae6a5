#include "settings/configuration.h"

#include "filetext/outputfile.h"
#include "filetext/ownerfolder.h"
#include "filetext/visibletext.h"
#include "settings/inifile.h"
#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <cstdlib>
#include <unistd.h>

namespace {

QMutex& overrideMutex() {
    static QMutex mutex;
    return mutex;
}

QString& programDirectoryOverride() {
    static QString dir;
    return dir;
}

QByteArray& configOption() {
    static QByteArray file;
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

void setConfigOption(const QByteArray& file) {
    QByteArray absolute = file;
    while (absolute.startsWith("./"))
        absolute.remove(0, 2);
    if (!file.isEmpty() && !file.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        absolute = QByteArray(cwd ? cwd : ".") + '/' + absolute;
        std::free(cwd);
    }
    const QMutexLocker lock(&overrideMutex());
    configOption() = absolute;
}

Places currentPlaces() {
    Places places;
    places.programDir = programDirectory();
    // Compared by real path: /bin may be a link to /usr/bin.
    places.installBinDir = QFileInfo(QStringLiteral(ORV_INSTALL_BINDIR)).canonicalFilePath();
    places.installDataDir = QStringLiteral(ORV_INSTALL_DATADIR);
    {
        const QMutexLocker lock(&overrideMutex());
        places.configOption = QFile::decodeName(configOption());
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

namespace {

// The location's path as the system names it: the --config bytes as given.
QByteArray nativePath(const ConfigLocation& where) {
    {
        const QMutexLocker lock(&overrideMutex());
        if (!configOption().isEmpty())
            return configOption();
    }
    return QFile::encodeName(where.path);
}

} // namespace

QByteArray configFile() {
    return nativePath(configLocation(currentPlaces()));
}

QString readIniValue(const QString& section, const QString& key, const QString& path,
                     QString* error) {
    return readIniValue(section, key, QFile::encodeName(path), error);
}

QString readIniValue(const QString& section, const QString& key, const QByteArray& nativePath,
                     QString* error) {
    const QString path = terminalText(nativePath);
    const SettingsFile file = readSettingsFile(nativePath, path);
    QString problem = file.error;
    QByteArray value;
    if (problem.isEmpty()) {
        value = ini::lookup(file.content, section.toUtf8(), key.toUtf8());
        if (value.size() > maxSettingsValueBytes)
            problem = QStringLiteral("Cannot use the settings file %1: the value of %2 in [%3] "
                                     "is longer than %4 bytes")
                          .arg(path, key, section)
                          .arg(maxSettingsValueBytes);
    }
    if (error)
        *error = problem;
    // Read whole or not at all: a cut value would name another device.
    return problem.isEmpty() ? QString::fromUtf8(value) : QString();
}

IniWriteResult writeIniValue(const QString& section, const QString& key, const QString& value,
                             const QString& path) {
    return writeIniValue(section, key, value, QFile::encodeName(path));
}

IniWriteResult writeIniValue(const QString& section, const QString& key, const QString& value,
                             const QByteArray& nativePath) {
    const QString path = terminalText(nativePath);
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) ||
        value.contains(QChar(0)))
        return failure(QStringLiteral("write"), path,
                       QStringLiteral("the value contains a line break or NUL character"));

    // Writing on top of a file we could not read would lose its other lines.
    const SettingsFile existing = readSettingsFile(nativePath, path);
    if (!existing.error.isEmpty()) {
        IniWriteResult result;
        result.error = existing.error;
        return result;
    }
    const QByteArray wanted = value.toUtf8();
    const QByteArray updated = ini::edit(existing.content, section.toUtf8(), key.toUtf8(), wanted);
    // ini::edit leaves the content alone for names a file cannot hold.
    if (ini::lookup(updated, section.toUtf8(), key.toUtf8()) != wanted)
        return failure(QStringLiteral("write"), path,
                       QStringLiteral("the section or key name cannot be stored in an INI file"));

    IniWriteResult result;
    result.error = writeOutputFile(
        {QStringLiteral("the settings file"), nativePath, Links::FollowToOwnFile, {}, 0600},
        [&updated](QIODevice& to) { to.write(updated); });
    result.ok = result.error.isEmpty();
    return result;
}

IniWriteResult writeConfigValue(const ConfigLocation& where, const QString& section,
                                const QString& key, const QString& value) {
    const QByteArray path = nativePath(where);
    if (where.createFolder) {
        const qsizetype slash = path.lastIndexOf('/');
        if (const OwnerFolder folder = ownerOnlyFolder(path.left(qMax<qsizetype>(slash, 1)));
            !folder.usable())
            return failure(QStringLiteral("write"), terminalText(path), folder.error);
    }
    return writeIniValue(section, key, value, path);
}

IniWriteResult saveConfigValue(const QString& section, const QString& key, const QString& value) {
    return writeConfigValue(configLocation(currentPlaces()), section, key, value);
}
