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
constexpr qint64 maxSettingsFileBytes = 1024 * 1024;

// path as the system names it; shown is how messages name it.
SettingsFile readSettingsFile(const QByteArray& path, const QString& shown);
