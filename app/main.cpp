#include "app/windows.h"
#include "session/signalwatcher.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char usage[] = "Usage: orv-test [--help] [--version]\n"
                     "\n"
                     "Bench tool for an ORV device on a serial port. The port is read from\n"
                     "config.ini beside the program:\n"
                     "\n"
                     "    [SETTINGS]\n"
                     "    port=/dev/ttyUSB0\n"
                     "\n"
                     "A number N from 1 to 255 means /dev/ttyS{N-1}. Every monitor line is\n"
                     "also logged under $XDG_STATE_HOME/orv-test/ (~/.local/state/orv-test/).\n"
                     "\n"
                     "  -h, --help     show this help and exit\n"
                     "  -v, --version  show the version and exit\n"
                     "\n"
                     "Qt's own options (-platform, -style, ...) are accepted as usual.\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window system is needed, so they work anywhere.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("orv-test %s\n", ORV_VERSION);
            return 0;
        }
    }

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
