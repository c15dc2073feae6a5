#include "program.h"

#include <climits>
#include <csignal>
#include <sys/wait.h>

namespace bench {

namespace {

std::string programDir(const std::string& program) {
    char real[PATH_MAX];
    if (!::realpath(program.c_str(), real))
        die("cannot find " + program);
    std::string dir = real;
    return dir.substr(0, dir.rfind('/'));
}

} // namespace

std::vector<std::string> Target::argv(const std::string& port, const std::string& home) const {
    if (gtkterm) {
        if (!peerSetup.empty()) {
            const std::string setup =
                "HOME='" + home + "' PEER_PORT='" + port + "' sh '" + peerSetup + "'";
            if (std::system(setup.c_str()) != 0)
                die("GtkTerm's settings could not be written by " + peerSetup);
        }
        return {program, "--port", port, "--speed", "115200"};
    }
    if (!writeConfig(programDir(program), port))
        die("cannot write config.ini beside " + program);
    return {program};
}

Program::Program(X& x, const Target& target, const DevicePty& pty) {
    const char* base = std::getenv("XDG_STATE_HOME");
    std::string dir = std::string(base ? base : "/tmp") + "/program-XXXXXX";
    if (!::mkdtemp(dir.data()))
        die("cannot make a state folder in " + dir);
    stateDir = dir;
    const std::vector<std::string> args = target.argv(pty.path, stateDir);
    x.discardEvents();
    startNs = nowNs();
    pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("XDG_STATE_HOME", stateDir.c_str(), 1);
        if (target.gtkterm) {
            ::setenv("HOME", stateDir.c_str(), 1);
            if (!target.preload.empty())
                ::setenv("LD_PRELOAD", target.preload.c_str(), 1);
        }
        const int log = ::open("/dev/null", O_WRONLY);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    if (pid < 0)
        die("cannot start " + target.program);
    window = x.waitMapped(pid, 15000, mappedNs);
    if (window == XCB_NONE) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        die(target.program + " mapped no window within 15 s");
    }
    if (target.gtkterm)
        openGtkTermPort(pty.path);
}

// GtkTerm finds no udev device for a pseudo-terminal and closes it at
// start; Control signals > Open Port (F5) opens it again.
void Program::openGtkTermPort(const std::string& path) {
    const std::int64_t giveUp = nowNs() + 10000000000LL;
    while (!holds(path) && nowNs() < giveUp) {
        const std::string f5 = "timeout 5 xdotool windowfocus --sync " + std::to_string(window) +
                               " key F5 >/dev/null 2>&1";
        if (std::system(f5.c_str()) != 0)
            die("xdotool could not press F5 in GtkTerm's window");
        for (int i = 0; i < 20 && !holds(path); ++i)
            sleepMs(50);
    }
    if (!holds(path))
        die("GtkTerm did not open " + path + " after F5 (is the modem-line shim preloaded?)");
}

Program::~Program() {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // A flood's log is large; the next program starts with the disk as it was.
    if (std::system(("rm -rf '" + stateDir + "'").c_str()) != 0)
        std::fprintf(stderr, "orv-bench-x: could not remove %s\n", stateDir.c_str());
}

bool Program::holds(const std::string& path) const {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(dir.c_str());
    bool found = false;
    while (d && !found) {
        dirent* e = ::readdir(d);
        if (!e)
            break;
        char target[PATH_MAX] = {};
        const ssize_t n = ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
        found = n > 0 && path == target;
    }
    if (d)
        ::closedir(d);
    return found;
}

// The small vendor-neutral dispatchers (libGLX.so, libEGL.so, libOpenGL.so)
// do not count: Debian's libQt6Gui is linked against them, so every Qt
// program loads them whether it draws with OpenGL or not.
int Program::openGlLibraries() const {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    int seen = 0;
    for (const char* name : {"libGLX_", "libEGL_", "libglapi", "_dri.so", "libgallium", "libLLVM",
                             "libGLESv2", "libvulkan"}) {
        maps.clear();
        maps.seekg(0);
        while (std::getline(maps, line))
            if (line.find(name) != std::string::npos) {
                std::fprintf(stderr, "orv-bench-x: OpenGL library loaded: %s\n",
                             line.substr(line.rfind(' ') + 1).c_str());
                ++seen;
                break;
            }
    }
    return seen;
}

Fresh::Fresh(X& x, const Target& target, bool settled) : program(x, target, opened(pty)) {
    if (!settled)
        return;
    // Lets the fresh window finish its first paints before measuring.
    sleepMs(500);
    if (x.pingOnce(program.window, 5000) < 0)
        die("the window does not answer pings");
    x.discardEvents();
}

const DevicePty& Fresh::opened(DevicePty& d) {
    if (!d.open())
        die("cannot open a pseudo-terminal");
    return d;
}

} // namespace bench
