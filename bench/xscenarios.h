#pragma once

// The scenarios orv-bench-x runs against a program watched from outside.

#include "program.h"

namespace bench {

// The name the figures carry after the scenario ("out" for orv-test,
// "gtkterm", or what --as gave): "paced_out_sched_cpu_ms_per_1k".
extern std::string who;
std::string key(const char* scenario, const char* figure);

enum class Flood { Plain, Pings, Memory };

int startup(const Target& target, int runs);
int idleMap(const Target& target);
int flood(const Target& target, int lines, int runs, Flood kind);
// One ten-byte line per write at hz for seconds, after idleSeconds of
// silence that give the program's own idle rate.
int paced(const Target& target, int seconds, int hz, int idleSeconds);
// Single lines after quiet spells of gapMs: written to drawn in the monitor.
int quiet(const Target& target, int count, int gapMs);
int click(const Target& target, int count);

} // namespace bench
