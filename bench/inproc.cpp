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
//
// Figures are "RESULT key value load" lines on stdout.

#include "inscenarios.h"

using namespace bench;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: orv-bench-inproc flood [LINES] | bigsession [LINES] | "
                   "paced [SECONDS] [HZ] | quiet [COUNT] [GAPMS] | click [COUNT]\n",
                   stderr);
        return 2;
    }
    // The session log goes somewhere that is thrown away afterwards.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    BenchApp app(argc, argv);
    Harness h(app);
    if (!h.start())
        return 1;
    const std::string what = argv[1];
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
    std::fprintf(stderr, "orv-bench-inproc: unknown scenario %s\n", what.c_str());
    return 2;
}
