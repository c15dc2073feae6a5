#include "settings/locations.h"

#include <QDir>

namespace {

const QString programName = QStringLiteral("orv-test");

// An unset, empty or relative variable is ignored, as the XDG base directory rules say.
QString xdgHome(const QString& value, const QString& home, const QString& fallback) {
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(home + QLatin1Char('/') + fallback);
}

} // namespace

bool isInstalled(const Places& places) {
    return !places.installBinDir.isEmpty() && places.programDir == places.installBinDir;
}

ConfigLocation configLocation(const Places& places) {
    if (!places.configOption.isEmpty())
        return {places.configOption, false};
    if (!isInstalled(places))
        return {places.programDir + QStringLiteral("/config.ini"), false};
    const QString home = xdgHome(places.xdgConfigHome, places.home, QStringLiteral(".config"));
    return {home + QLatin1Char('/') + programName + QStringLiteral("/config.ini"), true};
}

QString logFolder(const Places& places) {
    return xdgHome(places.xdgStateHome, places.home, QStringLiteral(".local/state")) +
           QLatin1Char('/') + programName;
}

QStringList documentFolders(const Places& places) {
    const QString data = xdgHome(places.xdgDataHome, places.home, QStringLiteral(".local/share"));
    return {places.programDir, data + QLatin1Char('/') + programName,
            QDir::cleanPath(places.installDataDir + QLatin1Char('/') + programName)};
}
