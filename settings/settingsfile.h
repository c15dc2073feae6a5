#pragma once

#include <QByteArray>
#include <QString>

// config.ini as read for a lookup or an edit: only a regular file of sane
// size is read (see readRegularFile). A missing file is no error: it reads as
// empty.
struct SettingsFile {
    QByteArray content;
    bool exists = false;
    QString error; // names the path and what is wrong with it
};

// The largest config.ini read; far beyond anything a person writes.
constexpr int maxSettingsFileMiB = 1;
constexpr qint64 maxSettingsFileBytes = qint64(maxSettingsFileMiB) << 20;
// Far beyond any device path; a longer value is a damaged file, not a port.
constexpr int maxSettingsValueBytes = 4096;

// path as the system names it; shown is how messages name it.
SettingsFile readSettingsFile(const QByteArray& path, const QString& shown);
