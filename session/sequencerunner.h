#pragma once

#include "session/junitreport.h"
#include "session/latencyhistogram.h"
#include "session/sequencefile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

class MainSession;

// TEMPORARY stand-in
struct ExpectationOutcome {
    qint64 index;
    int line;
    QString name;
    bool met;
    bool replied;
    qint64 latencyUs;
    qint64 atMs;
    QString got;
    qint64 replyNumber;
};

// Runs a sequence on a session through the same operations the window's
// buttons use, so every frame and reply reaches the monitor and the log as a
// click's would. Nothing blocks: waits and expectations are timers, and the
// event loop turns between steps.
//
// An expect takes the first reply completed after the latest send that no
// earlier expect has taken; a reply completed before that send never counts.
class SequenceRunner : public QObject {
    Q_OBJECT
public:
    enum class State { Ready, Running, Finished, Stopped, PortLost };

    SequenceRunner(MainSession& session, SequenceFile sequence, QObject* parent = nullptr);

    // Starts on an open port; false (and error()) when it is not open.
    bool start();
    // Ends the run at once; why is kept for the report.
    void stop(const QString& why);

    State state() const { return m_state; }
    bool isRunning() const { return m_state == State::Running; }
    QString error() const { return m_error; }
    const SequenceFile& sequence() const { return m_sequence; }

    // Where the run is: the step's line and text, the repetitions of the
    // blocks around it ("2, 3"; empty outside any block).
    int currentLine() const;
    QString currentStep() const;
    QString repetitions() const;

    qint64 expectations() const { return m_cases.size(); }
    qint64 failures() const { return m_failures; }
    const LatencyHistogram& latency() const { return m_hist; }
    // "Latency (ms): min A, median B, p95 C, max D over N replies".
    QString latencyLine() const;
    // "PASS: E of E expectations met" or "FAIL: F of E expectations failed".
    QString verdictLine() const;
    // The JUnit XML of what has been evaluated so far.
    QByteArray report() const;

Q_SIGNALS:
    // The run has ended, however it ended.
    void finished();
    void evaluated(const ExpectationOutcome& outcome);

private:
    void advance();
    void runSend(const SequenceStep& step);
    void onReply(const QByteArray& reply);
    void onTimeout();
    void evaluate(const SequenceStep& step, const QByteArray* reply, qint64 latencyNs,
                  qint64 replyNumber = -1);
    void end(State state, const QString& why = {});

    struct Reply {
        QByteArray text;
        qint64 latencyNs;
        qint64 number; // the reply's line in the monitor (see MonitorModel::droppedCount)
    };

    MainSession& m_session;
    SequenceFile m_sequence;
    State m_state = State::Ready;
    QString m_error;
    QString m_endedEarly;
    int m_pc = 0;
    QVector<int> m_reps; // 1-based repetition of each open block, outermost first
    bool m_expecting = false;
    bool m_hasSend = false;
    QVector<Reply> m_replies; // completed since the latest send, not yet taken
    QTimer m_timer;           // a wait or an expect's bound
    QTimer m_next;            // the next step, after the event loop has turned
    QElapsedTimer m_elapsed;
    QVector<JUnitCase> m_cases;
    QVector<qint64> m_latenciesUs;
    int m_failures = 0;
    LatencyHistogram m_hist;
};
