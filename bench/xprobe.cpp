// orv-bench-x: a program watched from outside, the way other serial monitors
// were measured: under an X server with the xcb platform, its port one end of
// a pseudo-terminal whose device end this program plays, CPU from /proc
// (utime+stime, and schedstat nanoseconds of every thread), memory from
// /proc/PID/status and smaps_rollup.
//
//   orv-bench-x [--gtkterm] [--as NAME] PROGRAM SCENARIO ...
//     startup RUNS                  start to window mapped; idle RSS, PSS, private
//     idlemap                       idle resident memory by mapping ("MAP KiB name")
//     flood LINES RUNS [ping|memory]  full-speed device: drain, CPU, memory; with
//                                   "ping" the longest freeze, with "memory" only
//                                   the growth of resident memory
//     paced SECONDS HZ [IDLESECONDS]  one ten-byte line per write after a
//                                   silence: CPU above the idle rate; from the
//                                   session log rows, bytes, stamp error
//     quiet COUNT GAPMS             a line after each quiet spell: written to
//                                   drawn in the monitor (X DAMAGE)
//     click COUNT                   XTest click (from its release) to the frame
//                                   readable at the device end
//
// --gtkterm starts PROGRAM as GtkTerm (port on its command line) instead of
// orv-test (config.ini written beside it), with --peer-setup SCRIPT writing
// its settings and --preload SHIM giving the pty modem lines; --as names the figures
// ("paced_NAME_..."; "out" by default). Figures are "RESULT key value load"
// lines. ORV_BENCH_TRACE=1 also prints every ping of a flood.

#include "xscenarios.h"

#include <csignal>

using namespace bench;

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    Target target;
    int at = 1;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        if (argIs(argc, argv, at, "--gtkterm")) {
            target.gtkterm = true;
        } else if (argIs(argc, argv, at, "--as") && at + 1 < argc) {
            who = argv[++at];
        } else if (argIs(argc, argv, at, "--peer-setup") && at + 1 < argc) {
            target.peerSetup = argv[++at];
        } else if (argIs(argc, argv, at, "--preload") && at + 1 < argc) {
            target.preload = argv[++at];
        } else {
            std::fprintf(stderr, "orv-bench-x: unknown option %s\n", argv[at]);
            return 2;
        }
    }
    if (argc - at < 2) {
        std::fputs("usage: orv-bench-x [--gtkterm [--peer-setup SCRIPT] [--preload SHIM]] "
                   "[--as NAME] PROGRAM startup RUNS | idlemap | flood LINES RUNS [ping|memory] | "
                   "paced SECONDS HZ [IDLESECONDS] | quiet COUNT GAPMS | click COUNT\n",
                   stderr);
        return 2;
    }
    target.program = argv[at];
    const std::string what = argv[at + 1];
    const int a = at + 2; // the scenario's own arguments
    // The programs' session logs and GtkTerm's settings go to a folder thrown
    // away afterwards (each program has its own inside it).
    char state[] = "/tmp/orv-bench-state-XXXXXX";
    if (!::mkdtemp(state))
        return 1;
    ::setenv("XDG_STATE_HOME", state, 1);
    int code = 2;
    try {
        if (what == "startup")
            code = startup(target, argInt(argc, argv, a, 20));
        else if (what == "idlemap")
            code = idleMap(target);
        else if (what == "flood")
            code = flood(target, argInt(argc, argv, a, 100000), argInt(argc, argv, a + 1, 5),
                         argIs(argc, argv, a + 2, "ping")     ? Flood::Pings
                         : argIs(argc, argv, a + 2, "memory") ? Flood::Memory
                                                              : Flood::Plain);
        else if (what == "paced")
            code = paced(target, argInt(argc, argv, a, 30), argInt(argc, argv, a + 1, 100),
                         argInt(argc, argv, a + 2, 10));
        else if (what == "quiet")
            code = quiet(target, argInt(argc, argv, a, 50), argInt(argc, argv, a + 1, 250));
        else if (what == "click")
            code = click(target, argInt(argc, argv, a, 1000));
        else
            std::fprintf(stderr, "orv-bench-x: unknown scenario %s\n", what.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orv-bench-x: %s\n", e.what());
        code = 1;
    }
    const std::string cleanup = std::string("rm -rf '") + state + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "orv-bench-x: could not remove %s\n", state);
    return code;
}
