#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvsim {

// Time-stamped log lines on stdout. A reader that stops reading must not
// stall the device, so on a pipe or socket the lines are queued and written
// without blocking; past a cap they are dropped and counted instead.
class Logger {
public:
    explicit Logger(int fd);
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Written at once and in full, before the device starts (the path line).
    void plain(const std::string& text);
    // Switches to queued, non-blocking writes where stdout can fill up.
    void startQueueing();
    // "HH:MM:SS.mmm text".
    void line(const std::string& text);

    int fd() const { return m_fd; }
    bool wantsWrite() const { return m_offset < m_queue.size(); }
    // Writes what the reader takes now.
    void flush();
    // Last words: writes the rest, waiting at most timeoutMs for the reader.
    void finish(int timeoutMs);

private:
    void writeBlocking(const std::string& text);

    int m_fd;
    int m_savedFlags = -1;
    bool m_queueing = false;
    bool m_broken = false;
    std::string m_queue;
    std::size_t m_offset = 0;
    std::uint64_t m_droppedLines = 0;
};

} // namespace orvsim
