#include "app/headlessrun.h"
#include "app/windows.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char usage[] = "Usage: orv-test [--help] [--version]\n"
                     "       orv-test --run FILE [--port PORT] [--report FILE]\n"
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
    }

    if (const int status = runHeadlessIfAsked(argc, argv); status >= 0)
        return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orv-test"));
    QApplication::setApplicationVersion(QStringLiteral(ORV_VERSION));

    Windows windows;
    windows.showMain();
    return QApplication::exec();
}
