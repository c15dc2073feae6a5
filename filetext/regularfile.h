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

// The same checks without the read, for a caller that maps the file. Where a
// link is refused, a name that is one is NotRegular with isLink set. Opened:
// status Read (nothing read yet), fd open and the caller's to close.
enum class Links { Follow, Refuse };
struct OpenedFile {
    RegularFile file;
    int fd = -1;
    qint64 size = 0;
};
OpenedFile openRegularFile(const QByteArray& path, qint64 maxBytes, Links links = Links::Follow);

// "a directory", "a FIFO", "a character device", ..., for a NotRegular mode.
QString fileKind(mode_t mode);
