#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// A file the program reads whole: only a regular file, up to a bound, so that
// a device, a FIFO or a huge file can neither hang nor exhaust the program.
// The name is looked at before it is opened (opening a device can act on
// it), opened without blocking, and looked at again once open. Callers word
// what went wrong for their own file.
struct RegularFile {
    enum Status { Read, Missing, Failed, NotRegular, TooLarge };
    Status status = Missing; // Missing: nothing at all has the name
    int error = 0;           // Failed: the errno
    bool isLink = false;     // the name itself is a symbolic link
    mode_t mode = 0;         // NotRegular: what it is
    QByteArray content;      // Read: the whole file
};

RegularFile readRegularFile(const QByteArray& path, qint64 maxBytes);

// "a directory", "a FIFO", "a character device", ..., for a NotRegular mode.
QString fileKind(mode_t mode);
