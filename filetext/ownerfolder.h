#pragma once

#include <QByteArray>
#include <QString>

// A folder for the owner's eyes only (0700): the session logs, the settings
// of an installed program. It and any missing folder above it are made so.
// It may be a symbolic link (logs kept on another disk), but the folder it
// reaches must be the user's own: one that is open to others is closed up and
// said once (note); one that belongs to someone else, or cannot be closed
// up, is not used, and error says why.
struct OwnerFolder {
    QString error; // "the folder X (a link to Y) belongs to another user"
    QString note;  // "the folder X is open to others (mode 0755): closed to them now (mode 0700)"
    bool usable() const { return error.isEmpty(); }
};

OwnerFolder ownerOnlyFolder(const QByteArray& dir);
