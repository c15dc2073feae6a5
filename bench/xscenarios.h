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
int paced(const Target& target, int seconds, int hz);
int click(const Target& target, int count);

} // namespace bench
