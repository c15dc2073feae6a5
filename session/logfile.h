#pragma once

#include "session/rowkind.h"

#include <QByteArrayView>
#include <QString>
#include <deque>
#include <memory>

// One line of a session log, taken apart: "YYYY-MM-DD HH:MM:SS.mmm  <text>".
// A line the program did not write has no stamp, and all of it is text.
struct LogLine {
    QByteArrayView stamp; // the 23 characters of date and time, or empty
    QByteArrayView text;  // as the log holds it: control bytes escaped
    RowKind kind = RowKind::Text;

    QByteArrayView date() const { return stamp.isEmpty() ? stamp : stamp.first(10); }
    QByteArrayView time() const { return stamp.isEmpty() ? stamp : stamp.sliced(11); }
};

// A line without its line feed (a carriage return a hand edit left is
// dropped); its kind only when asked for.
LogLine parseLogLine(QByteArrayView line, bool withKind = true);

// A past session log, read-only. The file is mapped, not read: the memory it
// costs beyond the mapping is an index of line starts, 8 bytes a line (a
// little more in the index's own blocks), built in slices so that a window
// can show the first lines of a gigabyte file at once. The lines are the file
// as it was when it was opened: a log that grows meanwhile is not followed.
class LogFile {
public:
    // The file at path, or null and why not ("Cannot open the log PATH: it
    // is a FIFO, not a file"). Refused as the program's other files are: not
    // through a symbolic link, nothing but a regular file, and only a file
    // whose start reads as a session log.
    static std::unique_ptr<LogFile> open(const QString& path, QString* error);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    QString path() const { return m_path; }
    qint64 size() const { return m_size; }
    // Lines indexed so far; all of them once indexed() is true.
    qint64 lineCount() const { return qint64(m_starts.size()); }
    bool indexed() const { return m_scanned >= m_size; }
    // Indexes about the next maxBytes of the file; true once all is indexed.
    bool indexMore(qint64 maxBytes);

    // Line i (< lineCount()), without its line feed.
    QByteArrayView raw(qint64 i) const;
    LogLine line(qint64 i) const { return parseLogLine(raw(i)); }
    // Memory the index takes, for the benchmarks.
    qint64 indexBytes() const;

private:
    LogFile() = default;

    QString m_path;
    const char* m_data = nullptr;
    qint64 m_size = 0;
    qint64 m_scanned = 0;
    std::deque<qint64> m_starts;
};
