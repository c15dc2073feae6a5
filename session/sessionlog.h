#pragma once

#include "session/stampedline.h"

#include <QByteArray>
#include <QDate>
#include <QString>

// Every monitor line, appended to a log file of the day under
// $XDG_STATE_HOME/orv-test/ (~/.local/state/orv-test/ by default). Each line
// goes to the system at once, so a crash or a kill loses nothing written.
class SessionLog {
public:
    SessionLog() = default;
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // The folder the logs go to.
    static QString directory();
    // The log file of the given day.
    static QString pathFor(const QDate& day);

    // Appends one monitor line. Returns an error message the first time
    // writing fails (later failures stay quiet), else an empty text.
    QString append(qint64 msecsSinceEpoch, const QByteArray& line);

private:
    bool open(const QDate& day, QString* error);
    void close();

    int m_fd = -1;
    QDate m_day;
    bool m_reported = false;
    LineStamper m_stamper;
    QByteArray m_buffer;
};
