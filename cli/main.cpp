#include "app/windows.h"
#include "cli/commandline.h"
#include "cli/headlessrun.h"
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

const char usage[] = "%s"
                     "\n"
                     "Bench tool for an ORV device on a serial port. The port is read from\n"
                     "the settings file:\n"
                     "\n"
                     "    [SETTINGS]\n"
                     "    port=/dev/ttyUSB0\n"
                     "\n"
                     "which is FILE with --config; else config.ini beside the program when it\n"
                     "runs from its build folder or an unpacked copy; else, once installed,\n"
                     "$XDG_CONFIG_HOME/orv-test/config.ini (~/.config/orv-test/config.ini).\n"
                     "A number N from 1 to 255 means /dev/ttyS{N-1}. Every monitor line is\n"
                     "also logged under $XDG_STATE_HOME/orv-test/ (~/.local/state/orv-test/).\n"
                     "\n"
                     "Options:\n"
                     "      --config FILE  read and save the settings in FILE\n"
                     "  -h, --help         show this help and exit\n"
                     "  -v, --version      show the version and exit\n"
                     "%s"
                     "\n"
                     "Qt's own options (-platform, -style, ...) are accepted as usual.\n"
                     "An option given twice, or one not listed here, is refused (exit 2).\n";

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
    return 2;
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
        return printToStdout(QString::asprintf(usage, usageSynopsis, headlessUsage).toUtf8());
    case CommandLine::Action::Version:
        return printToStdout(QByteArrayLiteral("orv-test " ORV_VERSION "\n"));
    case CommandLine::Action::Error:
        std::fprintf(stderr, "orv-test: %s\n%sTry 'orv-test --help' for more.\n",
                     options.error.toLocal8Bit().constData(), usageSynopsis);
        return 2;
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
    windows.showMain();
    return QApplication::exec();
}
