#include "cli/helptext.h"

#include "cli/commandline.h"
#include "cli/exitstatus.h"
#include "protocol/hexframe.h"
#include "sequence/sequencelimits.h"
#include "serial/portname.h"

#include <QString>
#include <csignal>

QByteArray helpText() {
    using namespace sequencelimits;
    const auto stoppedBy = [](int signalNumber, const char* name) {
        return QStringLiteral("%1 %2").arg(exitstatus::signalBase + signalNumber).arg(name);
    };
    return (QString::fromUtf8(usageSynopsis) +
            QStringLiteral(
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
                "A number N from 1 to %14 means /dev/ttyS{N-1}. Every monitor line is\n"
                "also logged under $XDG_STATE_HOME/orv-test/ (~/.local/state/orv-test/).\n"
                "\n"
                "Options:\n"
                "      --config FILE  read and save the settings in FILE\n"
                "  -h, --help         show this help and exit\n"
                "  -v, --version      show the version and exit\n"
                "      --run FILE     run the key sequence in FILE with no window, then exit\n"
                "      --port PORT    the port to use instead of the settings file's; without\n"
                "                     --run, the window's for this session (nothing is saved)\n"
                "      --report FILE  with --run: write a JUnit XML report to FILE\n"
                "\n"
                "A sequence file of at most %1 MiB holds one step a line:\n"
                "  key K                     press key K (0-9, * or #)\n"
                "  commtest, reset           press Comm Test or Reset\n"
                "  send HEX... [sum]         send 1 to %13 bytes written as hex words; a last\n"
                "                            sum adds the checksum byte\n"
                "  expect REPLY [within MS]  REPLY: ACK, NAK, CRC, any or none; MS from 1\n"
                "                            to %2 (%3 when not given)\n"
                "  wait MS                   pause for MS (0 to %4) milliseconds\n"
                "  repeat N ... end          run the steps between N (1 to %5) times\n"
                "\n"
                "Exit status of --run: %6 every expectation met, %7 some failed, %8 the run\n"
                "could not start, the port was lost, or the report or the output could not\n"
                "be written; %9+signal when stopped (%10, %11, %12).\n"
                "\n"
                "Qt's own options (-platform, -style, ...) are accepted as usual.\n"
                "An option given twice, or one not listed here, is refused (exit %8).\n")
                .arg(fileMaxMiB)
                .arg(expectMaxMs)
                .arg(expectDefaultMs)
                .arg(waitMaxMs)
                .arg(repeatMax)
                .arg(exitstatus::passed)
                .arg(exitstatus::failed)
                .arg(exitstatus::notRun)
                .arg(exitstatus::signalBase)
                .arg(stoppedBy(SIGHUP, "SIGHUP"), stoppedBy(SIGINT, "SIGINT"),
                     stoppedBy(SIGTERM, "SIGTERM"))
                .arg(HexFrame::maxBytes)
                .arg(maxPortNumber))
        .toUtf8();
}
