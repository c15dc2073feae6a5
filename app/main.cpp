#include "app/headlessrun.h"
#include "app/windows.h"
#include "settings/configuration.h"
#include "session/signalwatcher.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char usage[] = "Usage: orv-test [--config FILE] [--help] [--version]\n"
                     "       orv-test --run FILE [--port PORT] [--report FILE] [--config FILE]\n"
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
                     "Qt's own options (-platform, -style, ...) are accepted as usual.\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window system is needed, so they work anywhere.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::printf(usage, headlessUsage);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("orv-test %s\n", ORV_VERSION);
            return 0;
        }
        const char* file = nullptr;
        if (!std::strcmp(argv[i], "--config"))
            file = i + 1 < argc ? argv[++i] : "";
        else if (!std::strncmp(argv[i], "--config=", 9))
            file = argv[i] + 9;
        if (file && !*file) {
            std::fputs("orv-test: --config needs a file\nTry 'orv-test --help'.\n", stderr);
            return 2;
        }
        if (file)
            setConfigOption(QString::fromLocal8Bit(file));
    }

    if (const int status = runHeadlessIfAsked(argc, argv); status >= 0)
        return status;

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
