#pragma once

#include <QList>
#include <QString>
#include <functional>

class QIODevice;

// A file the program reads while it runs; nothing it writes may replace it.
struct InputFile {
    QString what; // "the sequence file"
    QString path; // need not exist yet (a log made later)
};

// Files the program makes for the operator (a run's report, a saved chart)
// are written as config.ini is: into a new file beside the target, every
// write checked, fsync, then renamed over the target. A failure leaves the
// old file as it was. Never through a symbolic link, never over a file that
// someone made read-only, never over an input (same device and inode).
// Messages read "Cannot write <what> <path>: <reason>".

// Why the file cannot be written at path, or an empty text. Looks at the
// real target, and makes and removes a file in its folder, so that a long
// run learns before it starts what would stop its report at the end.
QString outputFileProblem(const QString& what, const QString& path,
                          const QList<InputFile>& inputs = {});

// Writes the file whose content produce() writes into the device it is
// given; an empty text, or why not.
QString writeOutputFile(const QString& what, const QString& path,
                        const std::function<void(QIODevice&)>& produce,
                        const QList<InputFile>& inputs = {});
