#include "sim/ptyport.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orvsim {

namespace {

std::string errorText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PtyPort::~PtyPort() {
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyPort::open(std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        error = errorText("posix_openpt");
        return false;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = errorText("grantpt/unlockpt");
        return false;
    }
    char name[PATH_MAX] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        error = errorText("ptsname_r");
        return false;
    }
    m_path = name;

    // Raw and silent, like a serial line: no echo, no line editing, no CR/LF
    // games. The settings stay with the terminal after we close our slave fd.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = errorText(name);
        return false;
    }
    termios tio{};
    bool ok = ::tcgetattr(slave, &tio) == 0;
    if (ok) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ok = ::tcsetattr(slave, TCSANOW, &tio) == 0;
    }
    if (!ok)
        error = errorText("setting the terminal raw");
    ::close(slave);
    return ok;
}

bool PtyPort::discardUnread() {
    const int slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        return false;
    const bool ok = ::tcflush(slave, TCIFLUSH) == 0;
    ::close(slave);
    return ok;
}

std::size_t PtyPort::pendingInput() const {
    int count = 0;
    return ::ioctl(m_master, FIONREAD, &count) == 0 && count > 0 ? static_cast<std::size_t>(count)
                                                                 : 0;
}

bool DeviceLink::create(const std::string& linkPath, const std::string& target,
                        std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symbolic link; leaving it alone";
        return false;
    }
    // Made beside it and renamed over it, so the name never points nowhere.
    const std::string temp = linkPath + ".orv-sim-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        error = errorText(linkPath.c_str());
        return false;
    }
    if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
        error = errorText(linkPath.c_str());
        ::unlink(temp.c_str());
        return false;
    }
    m_linkPath = linkPath;
    m_target = target;
    return true;
}

void DeviceLink::remove() {
    if (m_linkPath.empty())
        return;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(m_linkPath.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_target)
        ::unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

} // namespace orvsim
