#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The command line of both front ends, parsed once before any application
// object exists, so that --help, --version and every mistake are answered
// without a display. File names stay the bytes they were given as: a name
// that is not valid UTF-8 still names its file.
struct CommandLine {
    enum class Action { Window, Run, Help, Version, Error };

    Action action = Action::Window;
    QString error;               // Action::Error: what is wrong, without the program's name
    QByteArray config;           // --config FILE; empty when not given
    QByteArray runFile;          // --run FILE
    // --port PORT: the run's, or the window's for this session; a name that is
    // not UTF-8 as the device it leads to
    std::optional<QString> port;
    QByteArray report;           // --report FILE; empty when not given
};

CommandLine parseCommandLine(int argc, const char* const argv[]);

// The two synopsis lines, for --help and after a mistake.
extern const char usageSynopsis[];
