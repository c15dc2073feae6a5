#pragma once

// A program under test, started on the device end's pseudo-terminal under
// the X server, and ended on the way out.

#include "procfs.h"
#include "xconnection.h"

#include <string>
#include <vector>

namespace bench {

// What to start: orv-test (its config.ini written beside it, naming the
// port) or GtkTerm (the port on its command line). GtkTerm reads a
// pseudo-terminal only with its settings written first (peerSetup, a script
// given HOME and PEER_PORT), fake modem lines (preload, an LD_PRELOAD shim)
// and F5 pressed in its window once it is mapped.
struct Target {
    std::string program;
    bool gtkterm = false;
    std::string peerSetup, preload;

    std::vector<std::string> argv(const std::string& port, const std::string& home) const;
};

struct Program {
    pid_t pid = -1;
    // Its own XDG_STATE_HOME (and HOME for GtkTerm): the session log is there.
    std::string stateDir;
    xcb_window_t window = XCB_NONE;
    std::int64_t startNs = 0;
    std::int64_t mappedNs = 0;

    Program(X& x, const Target& target, const DevicePty& pty);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Whether the program holds the device's terminal open.
    bool holds(const std::string& path) const;
    // Libraries of an OpenGL implementation in its address space.
    int openGlLibraries() const;

private:
    void openGtkTermPort(const std::string& path);
};

// A program started on a device of its own, by default settled after its
// first paints.
struct Fresh {
    DevicePty pty;
    Program program;

    Fresh(X& x, const Target& target, bool settled = true);

private:
    static const DevicePty& opened(DevicePty& d);
};

} // namespace bench
