#pragma once

// orv-test --run FILE [--port PORT] [--report FILE]: a sequence run with no
// window and no display. Returns the exit status, or -1 when the command line
// does not ask for a run (the window starts then).
int runHeadlessIfAsked(int argc, char* argv[]);

// The options above, for --help.
extern const char headlessUsage[];
