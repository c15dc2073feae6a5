#include "sequence/sequencerunner.h"

#include "filetext/visibletext.h"
#include "protocol/replystatus.h"
#include "sequence/runprogress.h"
#include "session/mainsession.h"
#include "session/monitormodel.h"
#include "session/sessionlog.h"
#include "settings/configuration.h"

#include <QFile>
#include <climits>

namespace {

// Steps that send nothing run back to back, but never this many without the
// event loop turning, so Stop and the window stay live in a tight loop.
constexpr int stepsPerTurn = 256;
// Replies nobody expects are not kept beyond this.
constexpr int keptReplies = 64;

bool meets(SequenceStep::Reply wanted, const QByteArray* reply) {
    switch (wanted) {
    case SequenceStep::None:
        return !reply;
    case SequenceStep::Any:
        return reply;
    case SequenceStep::Ack:
        return reply && classifyReply(*reply) == ReplyStatus::Ack;
    case SequenceStep::Nak:
        return reply && classifyReply(*reply) == ReplyStatus::Nak;
    case SequenceStep::Crc:
        return reply && classifyReply(*reply) == ReplyStatus::Crc;
    }
    return false;
}

QString ms(double v) {
    return QString::number(v, 'f', 2);
}

} // namespace

SequenceRunner::SequenceRunner(MainSession& session, SequenceFile sequence, QObject* parent)
    : QObject(parent), m_session(session), m_sequence(std::move(sequence)),
      m_report(m_sequence.name) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SequenceRunner::onTimeout);
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &SequenceRunner::advance);
    connect(&m_session, &MainSession::replyRead, this, &SequenceRunner::onReply);
    connect(&m_session, &MainSession::frameSent, this, &SequenceRunner::onFrameSent);
    connect(&m_session, &MainSession::portLost, this, [this](const QString& message) {
        if (isRunning())
            end(State::PortLost, QStringLiteral("port lost"),
                QStringLiteral("The port was lost: %1").arg(message));
    });
}

bool SequenceRunner::start() {
    if (m_state != State::Ready || !m_sequence.isValid()) {
        m_error = m_sequence.isValid() ? QStringLiteral("The run has already been started")
                                       : m_sequence.error;
        return false;
    }
    if (!m_session.portOpen()) {
        const QString why = m_session.lastLinkError();
        m_error =
            QStringLiteral("The port %1 is not open%2")
                .arg(m_session.port(), why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        return false;
    }
    m_state = State::Running;
    // Before any frame, an expect's window runs from the start.
    m_frameNs = monotonicNs();
    m_elapsed.start();
    m_startedUtc = QDateTime::currentDateTimeUtc();
    m_next.start();
    return true;
}

void SequenceRunner::stop(const QString& reason) {
    if (isRunning())
        end(State::Stopped, reason);
}

void SequenceRunner::end(State state, const QString& reason, const QString& detail) {
    m_timer.stop();
    m_next.stop();
    m_expecting = false;
    m_waiting = false;
    m_sending = false;
    m_state = state;
    m_durationMs = m_elapsed.elapsed();
    if (state != State::Finished) {
        m_stopReason = reason;
        m_stopLine = currentLine();
        // A run cut short is no pass, wherever the stop came (an expect, a
        // wait, between steps): the step it was at is a testcase in error.
        if (!m_sequence.steps.isEmpty())
            m_report.addError(
                caseName(m_sequence.steps[qMin(m_pc, int(m_sequence.steps.size()) - 1)]),
                (reason.startsWith(QLatin1String("SIG")) ? QStringLiteral("stopped by ")
                                                         : QStringLiteral("stopped: ")) +
                    reason);
        m_report.setSystemErr(detail.isEmpty() ? verdictLine()
                                               : verdictLine() + QLatin1Char('\n') + detail);
    }
    Q_EMIT finished();
}

void SequenceRunner::advance() {
    const QVector<SequenceStep>& steps = m_sequence.steps;
    for (int done = 0; isRunning() && done < stepsPerTurn; ++done) {
        if (m_pc >= steps.size()) {
            end(State::Finished);
            return;
        }
        const SequenceStep& step = steps[m_pc];
        switch (step.kind) {
        case SequenceStep::Repeat:
            m_reps.append(1);
            ++m_pc;
            break;
        case SequenceStep::End:
            if (m_reps.last() < steps[step.partner].count) {
                ++m_reps.last();
                m_pc = step.partner + 1;
            } else {
                m_reps.removeLast();
                ++m_pc;
            }
            break;
        case SequenceStep::Key:
        case SequenceStep::CommTest:
        case SequenceStep::Reset:
        case SequenceStep::Send: {
            const quint64 before = m_session.sendCount();
            runSend(step);
            ++m_pc;
            if (m_session.framesWaiting() > 0) {
                // The port is full: the run goes on at the wire's pace.
                m_sending = true;
                return;
            }
            if (m_session.sendCount() != before) {
                // Let the reply in before the next step looks for it.
                m_next.start();
                return;
            }
            break;
        }
        case SequenceStep::Wait:
            // The step stays the wait's until it is over.
            m_waiting = true;
            m_timer.start(step.ms);
            return;
        case SequenceStep::Expect: {
            m_expecting = true;
            if (judge(false))
                break;
            const qint64 leftNs = m_frameNs + qint64(step.ms) * 1000000 - monotonicNs();
            m_timer.start(int(qBound(qint64(0), (leftNs + 999999) / 1000000, qint64(INT_MAX))));
            return;
        }
        }
    }
    if (isRunning() && !m_next.isActive() && !m_timer.isActive())
        m_next.start();
}

void SequenceRunner::runSend(const SequenceStep& step) {
    if (step.kind == SequenceStep::Key)
        m_session.sendKeyCode(qint16(step.key));
    else if (step.kind == SequenceStep::Send)
        m_session.sendFrame(m_sequence.frame(step));
    else if (step.kind == SequenceStep::CommTest)
        m_session.sendCommTest();
    else
        m_session.sendReset();
}

void SequenceRunner::onFrameSent(quint64 frame, qint64 sentNs) {
    if (!isRunning())
        return;
    m_hasSend = true;
    m_frame = frame;
    m_frameNs = sentNs;
    m_replies.clear();
    m_claimedFirstNs = -1;
    if (m_sending && m_session.framesWaiting() == 0) {
        m_sending = false;
        m_next.start();
    }
}

void SequenceRunner::onReply(const SessionReply& reply) {
    // Only the latest frame's replies can be taken; bytes an expect failed
    // on as unfinished are nobody's once they end.
    if (!isRunning() || !m_hasSend || reply.frame != m_frame || reply.firstNs == m_claimedFirstNs)
        return;
    if (m_replies.size() < keptReplies)
        m_replies.append(reply);
    if (m_expecting && judge(false)) {
        m_timer.stop();
        m_next.start();
    }
}

bool SequenceRunner::judge(bool atDeadline) {
    const SequenceStep& step = m_sequence.steps[m_pc];
    const qint64 deadlineNs = m_frameNs + qint64(step.ms) * 1000000;
    if (!m_replies.isEmpty() &&
        (step.reply != SequenceStep::None || m_replies.first().firstNs <= deadlineNs)) {
        const SessionReply r = m_replies.takeFirst();
        evaluate(step, &r, r.endNs <= deadlineNs ? Seen::Reply : Seen::Late);
    } else if (!atDeadline) {
        return false;
    } else {
        const ReceivedReply unfinished = m_session.unfinishedReply();
        const qint64 firstNs = unfinished.first.monotonicNs;
        if (m_hasSend && !unfinished.text.isEmpty() && firstNs >= m_frameNs &&
            firstNs <= deadlineNs) {
            m_claimedFirstNs = firstNs;
            const SessionReply partial{unfinished.text, firstNs};
            evaluate(step, &partial, Seen::Incomplete);
        } else {
            evaluate(step, nullptr, Seen::Nothing);
        }
    }
    m_expecting = false;
    ++m_pc;
    return true;
}

void SequenceRunner::onTimeout() {
    if (!isRunning())
        return;
    if (m_waiting) {
        m_waiting = false;
        ++m_pc;
    } else if (m_expecting) {
        // Everything read by now is handed over first: the verdict follows
        // from the replies' times, not from when this timer came round.
        m_session.handOverReplies();
        if (!isRunning())
            return;
        if (m_expecting)
            judge(true);
        m_next.stop();
    }
    advance();
}

QString SequenceRunner::caseName(const SequenceStep& step) const {
    QString name = QStringLiteral("%1:%2 %3")
                       .arg(m_sequence.name)
                       .arg(step.line)
                       .arg(step.kind == SequenceStep::Expect
                                ? QStringLiteral("expect ") + replyName(step.reply)
                                : m_sequence.stepText(step));
    if (!m_reps.isEmpty())
        name += QStringLiteral(" (repetition %1)").arg(repetitions());
    return name;
}

void SequenceRunner::evaluate(const SequenceStep& step, const SessionReply* reply, Seen seen) {
    const bool replied = seen == Seen::Reply || seen == Seen::Late;
    const QByteArray* text = replied ? &reply->text : nullptr;
    const qint64 latencyNs = replied ? reply->latencyNs : -1;
    ExpectationOutcome o;
    o.index = ++m_expectations;
    o.line = step.line;
    o.name = caseName(step);
    o.met = seen != Seen::Late && seen != Seen::Incomplete && meets(step.reply, text);
    o.replied = replied;
    o.latencyUs = replied ? latencyNs / 1000 : -1;
    o.atMs = m_elapsed.elapsed();
    o.replyNumber = replied ? reply->number : -1;
    if (replied)
        m_latency.add(o.latencyUs);
    const QString wanted = replyName(step.reply);
    QString failure;
    if (!o.met) {
        ++m_failures;
        // The monitor shows the bytes through its own escaping, so the raw
        // bytes go in; the report gets the same text already escaped.
        const QByteArray bytes = reply ? reply->text : QByteArray();
        const QByteArray shown = bytes.left(MonitorModel::displayedBytes);
        const QByteArray quoted = "\"" + shown + (bytes.size() > shown.size() ? "...\"" : "\"");
        QByteArray got;
        if (seen == Seen::Nothing)
            got = QStringLiteral("got no reply within %1 ms").arg(step.ms).toUtf8();
        else if (seen == Seen::Incomplete)
            got = "got an incomplete reply " + quoted +
                  QStringLiteral(" (no line feed within %1 ms)").arg(step.ms).toUtf8();
        else if (seen == Seen::Late)
            got = "got " + quoted +
                  QStringLiteral(" only %1 ms after the frame").arg(ms(latencyNs / 1e6)).toUtf8();
        else
            got = "got " + quoted;
        const QByteArray where = QStringLiteral("%1:%2: expected %3, ")
                                     .arg(m_sequence.name)
                                     .arg(step.line)
                                     .arg(wanted)
                                     .toUtf8();
        m_session.addNote("Expect failed: " + where + got);
        o.got = reply ? visibleText(bytes.left(200)) : QStringLiteral("no reply");
        const QString escaped = QStringLiteral("\"%1\"").arg(o.got);
        failure = QStringLiteral("expected %1, ").arg(wanted) +
                  (seen == Seen::Nothing ? QString::fromUtf8(got)
                   : seen == Seen::Incomplete
                       ? QStringLiteral("got an incomplete reply %1 (no line feed within %2 ms)")
                             .arg(escaped)
                             .arg(step.ms)
                   : seen == Seen::Late ? QStringLiteral("got %1 only %2 ms after the frame")
                                              .arg(escaped, ms(latencyNs / 1e6))
                                        : QStringLiteral("got %1").arg(escaped));
    }
    m_report.add(o.name, step.line,
                 QStringLiteral("%1:%2 expect %3").arg(m_sequence.name).arg(step.line).arg(wanted),
                 replied ? latencyNs / 1e9 : 0, failure);
    Q_EMIT evaluated(o);
}

int SequenceRunner::currentLine() const {
    if (m_sequence.steps.isEmpty())
        return 0;
    return m_sequence.steps[qMin(m_pc, int(m_sequence.steps.size()) - 1)].line;
}

QString SequenceRunner::currentStep() const {
    if (m_sequence.steps.isEmpty())
        return {};
    return m_sequence.stepText(m_sequence.steps[qMin(m_pc, int(m_sequence.steps.size()) - 1)]);
}

QString SequenceRunner::repetitions() const {
    return repetitionText(m_reps);
}

QString SequenceRunner::latencyLine() const {
    if (m_latency.isEmpty())
        return QStringLiteral("Latency (ms): min -, median -, p95 -, max - over 0 replies");
    return QStringLiteral("Latency (ms): min %1, median %2, p95 %3, max %4 over %5 replies")
        .arg(ms(m_latency.minUs() / 1000.0), ms(m_latency.medianUs() / 1000),
             ms(m_latency.quantileUs(0.95) / 1000), ms(m_latency.maxUs() / 1000.0))
        .arg(m_latency.count());
}

QString SequenceRunner::verdictLine() const {
    const qint64 n = m_expectations;
    if (m_state == State::Stopped || m_state == State::PortLost)
        return QStringLiteral("STOPPED: %1 at %2:%3 after %4 %5, %6 failed")
            .arg(m_stopReason, m_sequence.name)
            .arg(m_stopLine)
            .arg(n)
            .arg(n == 1 ? QStringLiteral("expectation") : QStringLiteral("expectations"))
            .arg(m_failures);
    if (m_failures == 0)
        return QStringLiteral("PASS: %1 of %1 expectations met").arg(n);
    return QStringLiteral("FAIL: %1 of %2 expectations failed").arg(m_failures).arg(n);
}

JUnitReport SequenceRunner::finalReport() const {
    JUnitReport r = m_report;
    const qint64 tookMs = m_durationMs >= 0     ? m_durationMs
                          : m_elapsed.isValid() ? m_elapsed.elapsed()
                                                : 0;
    r.setTiming(m_startedUtc, tookMs / 1000.0);
    QList<std::pair<QString, QString>> p{
        {QStringLiteral("replies"), QString::number(m_latency.count())}};
    if (!m_latency.isEmpty()) {
        p.append({QStringLiteral("latency_min_ms"), ms(m_latency.minUs() / 1000.0)});
        p.append({QStringLiteral("latency_median_ms"), ms(m_latency.medianUs() / 1000)});
        p.append({QStringLiteral("latency_p95_ms"), ms(m_latency.quantileUs(0.95) / 1000)});
        p.append({QStringLiteral("latency_max_ms"), ms(m_latency.maxUs() / 1000.0)});
    }
    r.setProperties(p);
    return r;
}

QByteArray SequenceRunner::report() const {
    return finalReport().xml();
}

QString SequenceRunner::writeReport(const QByteArray& path) const {
    return reportWriter(path)();
}

std::function<QString()> SequenceRunner::reportWriter(const QByteArray& path) const {
    return [report = finalReport(), path, inputs = inputs(m_sequencePath)] {
        return report.writeFile(path, inputs);
    };
}

QList<InputFile> SequenceRunner::inputs(const QByteArray& sequencePath) {
    QList<InputFile> files{{QStringLiteral("the settings file"), configFile()},
                           {QStringLiteral("the session log"),
                            QFile::encodeName(SessionLog::pathFor(QDate::currentDate()))}};
    if (!sequencePath.isEmpty())
        files.prepend({QStringLiteral("the sequence file"), sequencePath});
    return files;
}
