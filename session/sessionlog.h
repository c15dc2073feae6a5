#pragma once

#include "session/stampedline.h"

#include <QByteArray>
#include <QDate>
#include <QObject>
#include <QString>

// Every monitor line, appended to a log file of the day under
// $XDG_STATE_HOME/orv-test/ (~/.local/state/orv-test/ by default).
//
// Lines are gathered and written in one write() per turn of the event loop:
// the write is queued behind the lines, so it comes before any repaint they
// cause, and a kill right after they are shown loses nothing. A line is in
// the file whole or not at all: a write cut short (full disk) is completed
// before anything else goes, and lines that could not be written at all are
// counted and noted in a line of their own once writing works again.
//
// The file is opened without following a symbolic link and must be a
// regular file of this user's; its folder may be a link, to a folder of this
// user's that is closed to others (see ownerOnlyFolder).
class SessionLog : public QObject {
    Q_OBJECT
public:
    explicit SessionLog(QObject* parent = nullptr);
    ~SessionLog() override;

    // The folder the logs go to.
    static QString directory();
    // The log file of the given day.
    static QString pathFor(const QDate& day);

    // Queues one monitor line for the next write.
    void append(qint64 msecsSinceEpoch, const QByteArray& line);
    // Writes what is queued now; before the program or its port ends.
    void flush();

Q_SIGNALS:
    // The first problem with the log (later ones stay quiet): it cannot be
    // opened or written, or its folder was open to others and is closed now.
    void failed(const QString& message);

private:
    bool open(QString* error);
    void close();
    // Writes bytes whole; on failure, the count written and the reason.
    qsizetype writeAll(const QByteArray& bytes, QString* error);
    void lose(qsizetype lines, const QString& reason);
    void report(const QString& error);

    int m_fd = -1;
    QDate m_day;
    bool m_reported = false;
    bool m_folderNoted = false;
    bool m_flushQueued = false;
    LineStamper m_stamper;
    QByteArray m_pending; // whole lines, waiting for the next write
    qsizetype m_pendingLines = 0;
    QByteArray m_unfinished;   // the rest of a write cut short: it goes first
    qsizetype m_lostLines = 0; // not logged since writing last worked
    QString m_lostReason;
};
