// orv-bench-inproc: the real main window inside this process, its port one
// end of a pseudo-terminal whose device end this program plays. Measures what
// only the inside can see: the bytes in the monitor, when a line's row
// reaches the screen, the event loop's lateness, and the million-line session
// end to end (device to screen and session log).
//
//   orv-bench-inproc flood [LINES]          full-speed device, then checks every byte
//   orv-bench-inproc bigsession [LINES]     the same for a long session, until the last
//                                           line is on screen and in the log; scrolling
//   orv-bench-inproc bigsequence [MIB]      a big sequence file run from the window
//   orv-bench-inproc paced [SECONDS] [HZ]   one write per line at a steady rate
//   orv-bench-inproc quiet [COUNT] [GAPMS]  single lines after quiet spells
//   orv-bench-inproc click [COUNT]          key release to its last byte at the device end
//   orv-bench-inproc burnin N ORV-SIM       a run of N expectations from the window
//   orv-bench-inproc soak TRIPS ORV-SIM     heap left behind over two rounds of TRIPS
//                                           round trips
//   orv-bench-inproc sessionfilter [ROWS]   a filter over ROWS flooded rows in the Session Monitor
//   orv-bench-inproc sessionlog [LINES]     a log of LINES lines opened in a Session Monitor
//   orv-bench-inproc sessionpaced [SECONDS] [HZ]  a paced stream, without and with it open
//   orv-bench-inproc sessionflood [LINES]   a flood with it open: memory growth
// The burn-in and the soak play the device with orv-sim instead of the pseudo-terminal.
//
// Figures are "RESULT key value load" lines on stdout.

#include "inscenarios.h"
#include "insession.h"

using namespace bench;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: orv-bench-inproc flood [LINES] | bigsession [LINES] | "
                   "paced [SECONDS] [HZ] | quiet [COUNT] [GAPMS] | click [COUNT] | "
                   "burnin N ORV-SIM | soak TRIPS ORV-SIM | sessionfilter [ROWS] | "
                   "sessionlog [LINES] | sessionpaced [SECONDS] [HZ] | sessionflood [LINES]\n",
                   stderr);
        return 2;
    }
    // The session log goes somewhere that is thrown away afterwards.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    BenchApp app(argc, argv);
    const std::string what = argv[1];
    SimDevice sim;
    std::vector<std::string> simArgs;
    // Each frame answered in two pieces, with random pauses, as a slow device does.
    if (what == "soak")
        simArgs = {"--split", "--split-pause", "0-3", "--seed", "20240613"};
    if ((what == "burnin" || what == "soak") && (argc < 4 || !sim.start(argv[3], simArgs)))
        return Harness::fail("orv-sim did not start"), 1;
    Harness h(app);
    h.port = sim.port;
    // The filter's rows must all be held.
    if (what == "sessionfilter")
        h.config = "monitorLines=" + std::to_string(std::max(1000, argInt(argc, argv, 2, 10000000))) + "\n";
    if (!h.start())
        return 1;
    if (what == "flood")
        return flood(h, argInt(argc, argv, 2, 100000), false);
    if (what == "bigsequence")
        return bigSequence(h, argInt(argc, argv, 2, 16));
    if (what == "bigsession")
        return flood(h, argInt(argc, argv, 2, 1000000), true);
    if (what == "paced")
        return paced(h, argInt(argc, argv, 2, 20), argInt(argc, argv, 3, 100));
    if (what == "quiet")
        return quiet(h, argInt(argc, argv, 2, 50), argInt(argc, argv, 3, 200));
    if (what == "click")
        return click(h, argInt(argc, argv, 2, 1000));
    if (what == "burnin")
        return windowBurnIn(h, sim, argInt(argc, argv, 2, 200000));
    if (what == "sessionfilter")
        return sessionFilter(h, argInt(argc, argv, 2, 10000000));
    if (what == "sessionlog")
        return sessionLog(h, argInt(argc, argv, 2, 1000000));
    if (what == "sessionpaced")
        return sessionPaced(h, argInt(argc, argv, 2, 30), argInt(argc, argv, 3, 100));
    if (what == "sessionflood")
        return sessionFlood(h, argInt(argc, argv, 2, 2000000));
    if (what == "soak")
        return soak(h, sim, argInt(argc, argv, 2, 5000));
    std::fprintf(stderr, "orv-bench-inproc: unknown scenario %s\n", what.c_str());
    return 2;
}
