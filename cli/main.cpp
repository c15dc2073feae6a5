#include "app/windows.h"
#include "cli/commandline.h"
#include "cli/exitstatus.h"
#include "cli/headlessrun.h"
#include "cli/helptext.h"
#include "cli/signalwatcher.h"
#include "filetext/systemerror.h"
#include "settings/configuration.h"

#include <QApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A standard stream closed by the caller (">&-") would otherwise be the
// number the next open() returns: the serial port or the log would then
// receive what was meant for the terminal. Writes to the stand-in fail, so a
// closed stdout is still noticed.
void keepStandardStreamsTaken() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int standIn = ::open("/dev/null", O_RDONLY | O_NOCTTY);
        if (standIn >= 0 && standIn != fd) {
            ::dup2(standIn, fd);
            ::close(standIn);
        }
    }
}

int printToStdout(const QByteArray& text) {
    if (std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) ==
            std::size_t(text.size()) &&
        std::fflush(stdout) == 0)
        return 0;
    const QByteArray why = systemError(errno).toLocal8Bit();
    std::fprintf(stderr, "orv-test: cannot write to standard output: %s\n", why.constData());
    return exitstatus::notRun;
}

} // namespace

int main(int argc, char* argv[]) {
    keepStandardStreamsTaken();
    // At a file-size limit a write is an error like any other: the log says
    // what it could not write and a run still ends with its verdict, rather
    // than the program being killed mid-line.
    std::signal(SIGXFSZ, SIG_IGN);
    // Answered before any window system is needed, so that they work anywhere.
    const CommandLine options = parseCommandLine(argc, argv);
    switch (options.action) {
    case CommandLine::Action::Help:
        return printToStdout(helpText());
    case CommandLine::Action::Version:
        return printToStdout(QByteArrayLiteral("orv-test " ORV_VERSION "\n"));
    case CommandLine::Action::Error:
        std::fprintf(stderr, "orv-test: %s\n%sTry 'orv-test --help' for more.\n",
                     options.error.toLocal8Bit().constData(), usageSynopsis);
        return exitstatus::notRun;
    case CommandLine::Action::Run:
    case CommandLine::Action::Window:
        break;
    }
    if (!options.config.isEmpty())
        setConfigOption(options.config);
    if (options.action == CommandLine::Action::Run)
        return runHeadless(argc, argv, options);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orv-test"));
    QApplication::setApplicationVersion(QStringLiteral(ORV_VERSION));

    Windows windows;
    // Asked to stop (kill, Ctrl+C, a closed terminal): end in good order, no question.
    SignalWatcher stop({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&stop, &SignalWatcher::received, &windows, &Windows::endAll);
    windows.setSessionPort(options.port);
    windows.showMain();
    return QApplication::exec();
}
