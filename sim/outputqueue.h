#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace orvsim {

// Answers waiting to be written to the port, each not before its due time.
// Writes never block, so reading goes on however slowly the program reads;
// flood lines are made as they are written, so any count costs little memory.
class OutputQueue {
public:
    enum class WriteResult { Done, Waiting, Error };

    // `gapMs`: at least this long after the piece before it was written out.
    // `doneNote` is handed back by write() once the piece is out.
    void push(std::string bytes, std::int64_t dueMs, int gapMs = 0, std::string doneNote = {});
    // Flood lines first..last: "0B 00 0B 000001" + lineEnd.
    void pushFlood(std::uint64_t first, std::uint64_t last, std::string lineEnd, std::int64_t dueMs,
                   int gapMs = 0, std::string doneNote = {});

    bool empty() const { return m_chunks.empty(); }
    void clear() { m_chunks.clear(); }
    bool isDue(std::int64_t nowMs) const;
    // Time until the next piece is due, or -1 with nothing queued.
    std::int64_t msUntilDue(std::int64_t nowMs) const;

    // Writes what is due, at most maxBytes in one go so reading is not
    // starved. Error leaves errno from write().
    WriteResult write(int fd, std::int64_t nowMs, std::vector<std::string>& doneNotes,
                      std::size_t maxBytes = 64 * 1024);

    static std::string floodLine(std::uint64_t number, const std::string& lineEnd);

private:
    struct Chunk {
        std::string bytes;
        std::size_t offset = 0;
        std::uint64_t floodNext = 0; // flood lines still to make: floodNext..floodLast
        std::uint64_t floodLast = 0;
        std::string lineEnd;
        std::int64_t dueMs = 0;
        int gapMs = 0;
        std::string doneNote;
    };
    static bool refill(Chunk& chunk);

    std::deque<Chunk> m_chunks;
};

} // namespace orvsim
