#pragma once

// The session log as the program leaves it on disk, read from outside:
// $XDG_STATE_HOME/orv-test/YYYY-MM-DD.log, one row a line,
// "YYYY-MM-DD HH:MM:SS.mmm  <text>", control bytes escaped (CR as \r, LF as
// \n, a backslash doubled, others as \xHH). Only the file is read, so this works whatever reads the
// port.

#include "common.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

struct LogRow {
    double stampMs = 0; // local time of the stamp, as ms since the epoch
    std::string bytes;  // a reply's bytes, escapes undone, without "Reply: "
};

// The bytes a row's visible text stands for.
inline std::string unescaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            out += char(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

// Bytes as the log writes them (the inverse of the above for what a
// device line holds).
inline std::string escapedLine(const std::string& bytes) {
    std::string out;
    for (const char c : bytes)
        out += c == '\r'   ? std::string("\\r")
               : c == '\n' ? std::string("\\n")
               : c == '\\' ? std::string("\\\\")
                           : std::string(1, c);
    return out;
}

// "2026-12-07 06:41:09.123" as ms since the epoch, in the local time zone
// (the program's and ours are the same environment); -1 if malformed.
inline double parseStamp(const std::string& line) {
    if (line.size() < 25 || line[4] != '-' || line[10] != ' ' || line[19] != '.')
        return -1;
    std::tm tm{};
    tm.tm_year = std::atoi(line.c_str()) - 1900;
    tm.tm_mon = std::atoi(line.c_str() + 5) - 1;
    tm.tm_mday = std::atoi(line.c_str() + 8);
    tm.tm_hour = std::atoi(line.c_str() + 11);
    tm.tm_min = std::atoi(line.c_str() + 14);
    tm.tm_sec = std::atoi(line.c_str() + 17);
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return double(t) * 1e3 + std::atof(line.substr(20, 3).c_str());
}

// Every "Reply: " row of every day's log under stateDir, in order.
inline std::vector<LogRow> replyRows(const std::string& stateDir) {
    const std::string dir = stateDir + "/orv-test";
    std::vector<std::string> files;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
                files.push_back(dir + "/" + name);
        }
        ::closedir(d);
    }
    std::sort(files.begin(), files.end());
    std::vector<LogRow> rows;
    static const std::string reply = "  Reply: ";
    for (const std::string& path : files) {
        std::ifstream f(path);
        std::string line;
        while (std::getline(f, line)) {
            if (line.size() < 23 + reply.size() || line.compare(23, reply.size(), reply) != 0)
                continue;
            rows.push_back({parseStamp(line), unescaped(line.substr(23 + reply.size()))});
        }
    }
    return rows;
}

// Whether the newest day's log ends with a row ending in text (as written,
// escapes and all): cheap enough to ask every millisecond while a flood
// drains.
inline bool logEndsWith(const std::string& stateDir, const std::string& text) {
    const std::string dir = stateDir + "/orv-test";
    std::string newest;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0 && name > newest)
                newest = name;
        }
        ::closedir(d);
    }
    if (newest.empty())
        return false;
    const int fd = ::open((dir + "/" + newest).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const std::string wanted = text + "\n";
    std::string tail(wanted.size(), '\0');
    const bool ends =
        size >= off_t(tail.size()) &&
        ::pread(fd, tail.data(), tail.size(), size - off_t(tail.size())) == ssize_t(tail.size()) &&
        tail == wanted;
    ::close(fd);
    return ends;
}

// Device lines in a row: its line feeds, and a last piece without one.
inline int deviceLines(const std::string& bytes) {
    const int feeds = int(std::count(bytes.begin(), bytes.end(), '\n'));
    return feeds + (!bytes.empty() && bytes.back() != '\n' ? 1 : 0);
}

// The log's reply rows once they hold every one of lines device lines, or
// once the log has not grown for 3 s: the program may write it a little
// after it has read the port.
inline std::vector<LogRow> loggedRows(const std::string& stateDir, int lines) {
    std::vector<LogRow> rows;
    int held = -1, still = 0;
    while (still < 30) {
        rows = replyRows(stateDir);
        int now = 0;
        for (const LogRow& r : rows)
            now += deviceLines(r.bytes);
        if (now >= lines)
            break;
        still = now == held ? still + 1 : 0;
        held = now;
        sleepMs(100);
    }
    return rows;
}

} // namespace bench
