#pragma once

#include "session/mainsession.h"

#include <QDateTime>
#include <QObject>
#include <QVector>

// Turns what the operator does into a sequence file that does it again: each
// press a step, each reply an expect with room over the latency seen, silence
// until the next press an "expect none", longer pauses waits.
//
// Presses and replies are kept with their times and placed only when the text
// is made: a reply belongs to the latest frame handed over before its first
// byte was read, as a run will judge it, even when it is heard of after the
// next press; its latency runs to its end.
class SequenceRecorder : public QObject {
    Q_OBJECT
public:
    // A reply seen L ms after its frame is expected within max(minWithinMs, 3 L).
    static constexpr int minWithinMs = 200;
    static constexpr int withinFactor = 3;
    // Shorter pauses are not written; at replay the steps take about as long.
    static constexpr int shortestWaitMs = 100;
    // Silence after the last press is checked for at most this long: the file
    // must not end in minutes of waiting because Stop came late.
    static constexpr int lastSilenceMs = 2000;

    explicit SequenceRecorder(QObject* parent = nullptr);

    // Records the session's presses and replies from now on, and notes its
    // port and the time for the first comment.
    void listen(const MainSession& session);

    // Times are monotonic nanoseconds (see monotonicNs()). A press that sent
    // nothing ("*", "#", a closed port) is placed at atNs. A reply came from
    // firstNs (its first byte) to endNs (its line feed).
    void addPress(const SessionPress& press, qint64 atNs);
    void addReply(const QByteArray& reply, qint64 firstNs, qint64 endNs);

    // How many presses sent a frame: a file without one would not run.
    int sentPresses() const { return m_sent; }
    int replies() const { return int(m_replies.size()); }

    // The steps, with the recording ending at stopNs.
    QByteArray steps(qint64 stopNs) const;
    // The whole file ending now, its first comment naming fileName, the port
    // and the start, and how to run it.
    QByteArray text(const QString& fileName) const;

private:
    struct Press {
        qint64 ns;
        QByteArray step; // "key 5", "send 0B 07 12"; a comment when nothing was sent
        bool sent;
    };
    struct Reply {
        qint64 ns;    // its first byte
        qint64 endNs; // its end
        QByteArray expected; // "ACK", "NAK", "CRC", "any"
    };

    QVector<Press> m_presses;
    QVector<Reply> m_replies;
    int m_sent = 0;
    QString m_port;
    QDateTime m_started;
    qint64 m_startedNs = 0;
};

// Writes a recording whole, or leaves the old file as it was; never over the
// settings file or the session log. An empty text, or why not, naming the file.
QString writeRecording(const QString& path, const QByteArray& text);
// Why a recording could not be written at path, asked before it starts.
QString recordingPathProblem(const QString& path);
