#pragma once

// The Session Monitor's scenarios, run by orv-bench-inproc.

#include "harness.h"

namespace bench {

// A flood of ROWS lines (monitorLines must hold them), then a filter over
// them: first matches painted, the whole filter done, the worst stall.
int sessionFilter(Harness& h, int rows);
// A log of LINES lines opened: first rows painted, memory per line.
int sessionLog(Harness& h, int lines);
// A paced stream with the main window alone, then with the Session Monitor
// following it: whole-process CPU per 1,000 lines, both.
int sessionPaced(Harness& h, int seconds, int hz);
// A flood of LINES lines with the Session Monitor open: resident growth.
int sessionFlood(Harness& h, int lines);

} // namespace bench
