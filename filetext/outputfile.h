#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <sys/types.h>

class QIODevice;

// A file the program reads while it runs; nothing it writes may replace it.
struct InputFile {
    QString what;    // "the sequence file"
    QByteArray path; // as the system names it; need not exist yet (a log made later)
};

// Whether a file is written through a symbolic link in its place.
enum class Links {
    Refuse,         // a report or a chart: never, a link is refused
    FollowToOwnFile // config.ini: dotfile managers keep it as a link to the user's own file
};

// A file the program makes: the report of a run, a saved chart, config.ini.
struct OutputFile {
    QString what;    // "the report", for messages
    QByteArray path; // as given, bytes: a name need not be UTF-8
    Links links = Links::Refuse;
    QList<InputFile> inputs; // never written over, by whatever name
    mode_t newMode = 0666;   // for a file made new, before the umask; one that
                             // exists keeps the modes its owner gave it
};

// Every file is written whole or not at all: into a new file beside the
// target, every write checked, fsync, renamed over the target, its folder
// synced. A failure leaves the old file as it was. Never over a file someone
// made read-only, never over an input (same device and inode). Messages read
// "Cannot write <what> <path>: <reason>".

// Why the file cannot be written, or an empty text. Looks at the real
// target, and makes and removes a file in its folder, so that a long run
// learns before it starts what would stop its report at the end.
QString outputFileProblem(const OutputFile& file);

// Writes the file whose content produce() writes into the device it is
// given; an empty text, or why not.
QString writeOutputFile(const OutputFile& file, const std::function<void(QIODevice&)>& produce);
