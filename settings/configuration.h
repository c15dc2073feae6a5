#pragma once

#include "settings/locations.h"

#include <QString>

// The directory of the running executable, symbolic links resolved.
QString programDirectory();
// Points programDirectory() elsewhere; an empty dir goes back to the real one.
void setProgramDirectoryForTesting(const QString& dir);
// The --config value as given, bytes: relative to the current directory.
// Empty: none given.
void setConfigOption(const QByteArray& file);
// This program's places: its directory, the prefix it was built for, --config
// and the environment.
Places currentPlaces();
// The settings file in use: configLocation(currentPlaces()).path.
QString configPath();
// The same as the system names it: a --config name need not be UTF-8.
QByteArray configFile();

// The value of key in section of the INI file at path, decoded as UTF-8 and
// read whole. A missing file, section or key reads as empty. A file that is no
// regular file, is over 1 MiB, cannot be read or is UTF-16, and a value over
// 4,096 bytes, read as empty with the reason in *error (else *error is empty).
QString readIniValue(const QString& section, const QString& key, const QString& path,
                     QString* error = nullptr);
QString readIniValue(const QString& section, const QString& key, const QByteArray& path,
                     QString* error = nullptr);

struct IniWriteResult {
    bool ok = false;
    QString error; // names the path and the reason when !ok
    explicit operator bool() const { return ok; }
};

// Sets key in section of the INI file at path, creating the file if missing and
// keeping every other byte of it. The file is replaced whole (see
// writeOutputFile), through a link to the user's own file; one made new is
// the owner's only (0600). ok only when the new content reached the disk;
// nothing is written for a value holding CR, LF or NUL, or for an existing
// file that readIniValue refuses.
IniWriteResult writeIniValue(const QString& section, const QString& key, const QString& value,
                             const QString& path);
IniWriteResult writeIniValue(const QString& section, const QString& key, const QString& value,
                             const QByteArray& path);

// writeIniValue() at where.path, first making its folder owner-only (0700)
// when where.createFolder says so.
IniWriteResult writeConfigValue(const ConfigLocation& where, const QString& section,
                                const QString& key, const QString& value);
// writeConfigValue() at this program's settings file.
IniWriteResult saveConfigValue(const QString& section, const QString& key, const QString& value);
