#pragma once

struct CommandLine;

// orv-test --run FILE [--port PORT] [--report FILE]: a sequence run with no
// window and no display. Returns the exit status.
int runHeadless(int argc, char* argv[], const CommandLine& options);
