#pragma once

#include <cstddef>
#include <string>

namespace orvsim {

// The device end (master) of a pseudo-terminal whose other end the program
// opens as its serial port.
class PtyPort {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool open(std::string& error);
    int fd() const { return m_master; }
    const std::string& path() const { return m_path; }
    // Throws away what was written to the program but not read by it, so
    // answers meant for a closed port do not greet the next one who opens it.
    bool discardUnread();
    // Bytes the program wrote that the device has not read yet, as far as
    // the terminal has passed them on.
    std::size_t pendingInput() const;

private:
    int m_master = -1;
    std::string m_path;
};

// A symbolic link to the device under a fixed name, for configurations that
// cannot follow a changing /dev/pts number.
class DeviceLink {
public:
    DeviceLink() = default;
    ~DeviceLink() { remove(); }
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    bool create(const std::string& linkPath, const std::string& target, std::string& error);
    // Only removes the link while it still points at our device.
    void remove();

private:
    std::string m_linkPath;
    std::string m_target;
};

} // namespace orvsim
