#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <limits>

// A monitor line with the local time it was added, as the session log and
// the clipboard carry it: "YYYY-MM-DD HH:MM:SS.mmm  <line>", the line's
// control and non-ASCII bytes shown as visible escapes.
class LineStamper {
public:
    // Appends the stamped line (without a line break) to out.
    void append(QByteArray& out, qint64 msecsSinceEpoch, const QByteArray& line);
    // The local date of the last line appended.
    QDate day() const { return m_day; }

private:
    // The date-and-time text changes once a second; lines reuse it.
    qint64 m_second = std::numeric_limits<qint64>::min();
    QDate m_day;
    QByteArray m_stamp;
};

// One line stamped, for the clipboard.
QString stampedLine(qint64 msecsSinceEpoch, const QByteArray& line);

// Just the time part, as a line's tooltip shows it.
QString lineTime(qint64 msecsSinceEpoch);
