#pragma once

// The scenarios orv-bench-inproc runs against the main window in its process.

#include "harness.h"

namespace bench {

// Full-speed device; every byte checked. As the big session, the time also
// runs until the last line is in the session log, and scrolling is timed.
int flood(Harness& h, int lines, bool bigSession);
// A sequence file of MIB mebibytes run from the window: time to its start,
// the window's worst stall meanwhile, and peak memory.
int bigSequence(Harness& h, int mib);
// One write per line at a steady rate: line written to its row on screen.
int paced(Harness& h, int seconds, int hz);
// Single replies after quiet spells, as an operator's clicks get them.
int quiet(Harness& h, int count, int gapMs);
// Key release to its frame at the device end.
int click(Harness& h, int count);

} // namespace bench
