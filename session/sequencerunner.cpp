#include "session/sequencerunner.h"

#include "protocol/replystatus.h"
#include "session/mainsession.h"
#include "session/monitormodel.h"
#include "session/visibletext.h"

#include <algorithm>

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
    : QObject(parent), m_session(session), m_sequence(std::move(sequence)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SequenceRunner::onTimeout);
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &SequenceRunner::advance);
    connect(&m_session, &MainSession::replyReceived, this, &SequenceRunner::onReply);
    connect(&m_session.link(), &SerialLink::portLost, this, [this](const QString& message) {
        if (isRunning())
            end(State::PortLost, QStringLiteral("The port was lost: %1").arg(message));
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
    m_elapsed.start();
    m_next.start();
    return true;
}

void SequenceRunner::stop(const QString& why) {
    if (isRunning())
        end(State::Stopped, why);
}

void SequenceRunner::end(State state, const QString& why) {
    m_timer.stop();
    m_next.stop();
    m_expecting = false;
    m_state = state;
    if (state != State::Finished)
        m_endedEarly = QStringLiteral("%1 (at line %2)").arg(why).arg(currentLine());
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
        case SequenceStep::Reset: {
            const quint64 before = m_session.sendCount();
            runSend(step);
            ++m_pc;
            if (m_session.sendCount() != before) {
                m_hasSend = true;
                m_replies.clear();
                // Let the reply in before the next step looks for it.
                m_next.start();
                return;
            }
            break;
        }
        case SequenceStep::Wait:
            ++m_pc;
            m_timer.start(step.ms);
            return;
        case SequenceStep::Expect:
            if (!m_replies.isEmpty()) {
                const Reply r = m_replies.takeFirst();
                evaluate(step, &r.text, r.latencyNs, r.number);
                ++m_pc;
                break;
            }
            m_expecting = true;
            m_timer.start(step.ms);
            return;
        }
    }
    if (isRunning() && !m_next.isActive() && !m_timer.isActive())
        m_next.start();
}

void SequenceRunner::runSend(const SequenceStep& step) {
    if (step.kind == SequenceStep::Key)
        m_session.sendKeyCode(qint16(step.key));
    else if (step.kind == SequenceStep::CommTest)
        m_session.sendCommTest();
    else
        m_session.sendReset();
}

void SequenceRunner::onReply(const QByteArray& reply) {
    if (!isRunning() || !m_hasSend)
        return;
    const qint64 latency = m_session.nsSinceLastSend();
    // Written to the monitor just now: the last line is this reply.
    const qint64 number = m_session.monitor().droppedCount() + m_session.monitor().count() - 1;
    if (m_expecting) {
        m_expecting = false;
        m_timer.stop();
        evaluate(m_sequence.steps[m_pc], &reply, latency, number);
        ++m_pc;
        m_next.start();
    } else if (m_replies.size() < keptReplies) {
        m_replies.append({reply, latency, number});
    }
}

void SequenceRunner::onTimeout() {
    if (!isRunning())
        return;
    if (m_expecting) {
        m_expecting = false;
        evaluate(m_sequence.steps[m_pc], nullptr, m_session.nsSinceLastSend());
        ++m_pc;
    }
    advance();
}

void SequenceRunner::evaluate(const SequenceStep& step, const QByteArray* reply, qint64 latencyNs,
                              qint64 replyNumber) {
    const bool met = meets(step.reply, reply);
    const QString wanted = replyName(step.reply);
    QString name =
        QStringLiteral("%1:%2 expect %3").arg(m_sequence.name).arg(step.line).arg(wanted);
    if (!m_reps.isEmpty()) {
        QStringList r;
        for (int n : m_reps)
            r << QString::number(n);
        name += QStringLiteral(" (repetition %1)").arg(r.join(QStringLiteral(", ")));
    }
    if (reply) {
        m_latenciesUs.append(latencyNs / 1000);
        m_hist.add(latencyNs / 1000);
    }
    JUnitCase c{name, latencyNs / 1e9, {}};
    if (!met) {
        ++m_failures;
        // The monitor shows the reply through its own escaping, so the raw
        // bytes go in; the report gets the same text already escaped.
        QByteArray shown = reply ? reply->left(MonitorModel::displayedBytes) : QByteArray();
        const QByteArray got =
            reply ? "got \"" + shown + (reply->size() > shown.size() ? "...\"" : "\"")
                  : QStringLiteral("got no reply within %1 ms").arg(step.ms).toUtf8();
        const QByteArray where = QStringLiteral("%1:%2: expected %3, ")
                                     .arg(m_sequence.name)
                                     .arg(step.line)
                                     .arg(wanted)
                                     .toUtf8();
        m_session.addNote("Expect failed: " + where + got);
        c.failure = QStringLiteral("expected %1, ").arg(wanted) +
                    (reply ? QStringLiteral("got \"%1\"").arg(visibleText(*reply).left(200))
                           : QString::fromUtf8(got));
    }
    m_cases.append(c);
    Q_EMIT evaluated({m_cases.size() - 1, step.line, name, met, reply != nullptr, latencyNs / 1000,
                      m_elapsed.elapsed(), reply ? visibleText(*reply) : QStringLiteral("no reply"),
                      reply ? replyNumber : -1});
}

int SequenceRunner::currentLine() const {
    if (m_sequence.steps.isEmpty())
        return 0;
    return m_sequence.steps[qMin(m_pc, int(m_sequence.steps.size()) - 1)].line;
}

QString SequenceRunner::currentStep() const {
    if (m_sequence.steps.isEmpty())
        return {};
    return m_sequence.steps[qMin(m_pc, int(m_sequence.steps.size()) - 1)].text;
}

QString SequenceRunner::repetitions() const {
    QStringList r;
    for (int n : m_reps)
        r << QString::number(n);
    return r.join(QStringLiteral(", "));
}

QString SequenceRunner::latencyLine() const {
    const int n = int(m_latenciesUs.size());
    if (n == 0)
        return QStringLiteral("Latency (ms): min -, median -, p95 -, max - over 0 replies");
    QVector<qint64> v = m_latenciesUs;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        // Nearest rank.
        const int i = qBound(1, int(q * n + 0.999999), n);
        return ms(v[i - 1] / 1000.0);
    };
    const double median = n % 2 ? v[n / 2] / 1000.0 : (v[n / 2 - 1] + v[n / 2]) / 2000.0;
    return QStringLiteral("Latency (ms): min %1, median %2, p95 %3, max %4 over %5 %6")
        .arg(ms(v.front() / 1000.0), ms(median), at(0.95), ms(v.back() / 1000.0))
        .arg(n)
        .arg(QStringLiteral("replies"));
}

QString SequenceRunner::verdictLine() const {
    const qint64 n = expectations();
    if (m_failures == 0)
        return QStringLiteral("PASS: %1 of %1 expectations met").arg(n);
    return QStringLiteral("FAIL: %1 of %2 expectations failed").arg(m_failures).arg(n);
}

QByteArray SequenceRunner::report() const {
    return junitXml(m_sequence.name, m_elapsed.isValid() ? m_elapsed.elapsed() / 1000.0 : 0,
                    m_cases, m_endedEarly);
}
