#pragma once

#include "sequence/junitreport.h"
#include "sequence/latencyhistogram.h"
#include "sequence/sequencefile.h"
#include "session/mainsession.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QTimer>
#include <QVector>
#include <functional>

// One evaluated expectation, as the run window and the report see it.
struct ExpectationOutcome {
    qint64 index = 0; // 1-based, in the order evaluated
    int line = 0;     // of the expect step
    QString name;     // "t.seq:3 expect ACK (repetition 2)"
    bool met = false;
    bool replied = false;
    qint64 latencyUs = -1; // -1 without a reply
    qint64 atMs = 0;       // since the run started
    QString got;           // for a failure: the reply, escaped, or "no reply"
    // The reply's row in the monitor as MonitorModel::droppedCount() + row
    // at the time; -1 without a reply.
    qint64 replyNumber = -1;
};
Q_DECLARE_METATYPE(ExpectationOutcome)

// Runs a sequence on a session through the same operations the window's
// buttons use, so every frame and reply reaches the monitor and the log as a
// click's would. Nothing blocks: waits and expectations are timers, and the
// event loop turns between steps. Whatever the run's length, it keeps state
// of fixed size: counters, a latency histogram and a folded report.
//
// Each frame the run sends has a time (its last byte handed to the system),
// each reply two (its first byte read, its end). A reply belongs to the
// latest frame sent before its first byte; an expect takes the first reply
// not yet taken that belongs to the run's latest frame, and `within MS` is
// met only by a reply that ended by that frame's time + MS, whenever the
// runner got to look. `expect none` fails on any reply that began within
// the window. Bytes without their line feed at the deadline are no reply:
// the expect fails naming them, and the row they become is nobody's.
class SequenceRunner : public QObject {
    Q_OBJECT
public:
    enum class State { Ready, Running, Finished, Stopped, PortLost };

    SequenceRunner(MainSession& session, SequenceFile sequence, QObject* parent = nullptr);

    // Starts on an open port; false (and error()) when it is not open.
    bool start();
    // Ends the run at once; reason is what the verdict says stopped it
    // ("SIGTERM", "operator stop").
    void stop(const QString& reason);

    State state() const { return m_state; }
    bool isRunning() const { return m_state == State::Running; }
    QString error() const { return m_error; }
    const SequenceFile& sequence() const { return m_sequence; }

    // Where the run is: the step's line (during a wait, the wait's) and
    // text, the repetitions of the blocks around it ("2, 3"; empty outside
    // any block).
    int currentLine() const;
    QString currentStep() const;
    QString repetitions() const;
    const QVector<int>& repetitionNumbers() const { return m_reps; }

    qint64 expectations() const { return m_expectations; }
    qint64 failures() const { return m_failures; }
    const LatencyHistogram& latency() const { return m_latency; }
    // "Latency (ms): min A, median B, p95 C, max D over N replies".
    QString latencyLine() const;
    // "PASS: E of E expectations met", "FAIL: F of E expectations failed", or
    // "STOPPED: <reason> at <file>:<line> after E expectations, F failed".
    QString verdictLine() const;
    // The JUnit XML of what has been evaluated so far.
    QByteArray report() const;
    // Where the sequence was read from, so that its report never replaces it.
    void setSequencePath(const QByteArray& path) { m_sequencePath = path; }
    const QByteArray& sequencePath() const { return m_sequencePath; }
    // Writes it to path, never over the run's inputs; an empty text, or why
    // not (naming the file).
    QString writeReport(const QByteArray& path) const;
    // The same as a job that holds its own copy of the report, to be run on
    // another thread (a report can take 20 MB and an fsync).
    std::function<QString()> reportWriter(const QByteArray& path) const;
    // The files a run reads, which its report must never replace: the
    // sequence file (if its path is known), the settings file, today's log.
    static QList<InputFile> inputs(const QByteArray& sequencePath);

Q_SIGNALS:
    void evaluated(const ExpectationOutcome& outcome);
    // The run has ended, however it ended.
    void finished();

private:
    void advance();
    void runSend(const SequenceStep& step);
    // What an expect saw: a reply in time, one that ended too late, bytes
    // without their line feed, or nothing.
    enum class Seen { Reply, Late, Incomplete, Nothing };

    void onFrameSent(quint64 frame, qint64 sentNs);
    void onReply(const SessionReply& reply);
    void onTimeout();
    // Judges the current expect if its outcome is known; at its deadline it
    // always is. True when judged.
    bool judge(bool atDeadline);
    void evaluate(const SequenceStep& step, const SessionReply* reply, Seen seen);
    QString caseName(const SequenceStep& step) const;
    void end(State state, const QString& reason = {}, const QString& detail = {});
    JUnitReport finalReport() const;

    MainSession& m_session;
    SequenceFile m_sequence;
    QByteArray m_sequencePath;
    State m_state = State::Ready;
    QString m_error;
    QString m_stopReason;
    int m_stopLine = 0;
    int m_pc = 0;
    QVector<int> m_reps; // 1-based repetition of each open block, outermost first
    bool m_expecting = false;
    bool m_waiting = false;
    bool m_hasSend = false;
    bool m_sending = false;          // a frame waits for the device to drain the port
    quint64 m_frame = 0;             // the latest frame sent (MainSession::sendCount())
    qint64 m_frameNs = 0;            // when it went (monotonic)
    qint64 m_claimedFirstNs = -1;    // unfinished bytes an expect failed on
    QVector<SessionReply> m_replies; // the latest frame's, not yet taken
    QTimer m_timer;                  // a wait or an expect's bound
    QTimer m_next;                   // the next step, after the event loop has turned
    QElapsedTimer m_elapsed;
    QDateTime m_startedUtc;
    qint64 m_durationMs = -1; // once ended
    qint64 m_expectations = 0;
    qint64 m_failures = 0;
    LatencyHistogram m_latency;
    JUnitReport m_report;
};
