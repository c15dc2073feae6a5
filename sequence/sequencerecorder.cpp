#include "sequence/sequencerecorder.h"

#include "filetext/outputfile.h"
#include "protocol/commandtable.h"
#include "protocol/hexframe.h"
#include "protocol/replystatus.h"
#include "sequence/sequencefile.h"
#include "sequence/sequencerunner.h"
#include "serial/replycollector.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr qint64 nsPerMs = 1000000;

qint64 roundedMs(qint64 ns) {
    return (ns + nsPerMs / 2) / nsPerMs;
}

QByteArray stepOf(const SessionPress& press) {
    switch (press.kind) {
    case SessionPress::Key:
        if (press.key < 0 || press.key >= commands::keypadSize)
            return {}; // an index with no key: nothing was pressed
        return "key " + QByteArray(1, commands::keypadCaptions[std::size_t(press.key)]);
    case SessionPress::CommTest:
        return "commtest";
    case SessionPress::Reset:
        return "reset";
    case SessionPress::Frame:
        return "send " + hexText(press.frame);
    }
    return {};
}

QByteArray number(qint64 n) {
    return QByteArray::number(n);
}

// Waits of ms in all, each within what a file allows.
void appendWaits(QByteArray& out, qint64 ms) {
    while (ms > 0) {
        const qint64 wait = qMin<qint64>(ms, sequencelimits::waitMaxMs);
        out += "wait " + number(wait) + '\n';
        ms -= wait;
    }
}

// Text that stays on its comment line: control characters escaped.
QString commentSafe(const QString& text) {
    QString out;
    for (const QChar c : text)
        out += c.unicode() < 0x20 || c.unicode() == 0x7F
                   ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper()
                   : QString(c);
    return out;
}

// A word a shell takes as it is, or the word in single quotes.
QString shellWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

} // namespace

SequenceRecorder::SequenceRecorder(QObject* parent) : QObject(parent) {
    m_started = QDateTime::currentDateTime();
    m_startedNs = monotonicNs();
}

void SequenceRecorder::listen(const MainSession& session) {
    m_port = session.port().trimmed();
    m_started = QDateTime::currentDateTime();
    m_startedNs = monotonicNs();
    connect(&session, &MainSession::pressed, this, [this](const SessionPress& press) {
        addPress(press, press.sentNs >= 0 ? press.sentNs : monotonicNs());
    });
    connect(&session, &MainSession::replyRead, this, [this](const SessionReply& reply) {
        addReply(reply.text, reply.firstNs, reply.endNs);
    });
}

void SequenceRecorder::addPress(const SessionPress& press, qint64 atNs) {
    QByteArray step = stepOf(press);
    if (step.isEmpty())
        return;
    const bool sent = press.sentNs >= 0;
    // Written down, so the file tells what happened, but not to be done again.
    if (!sent && !press.frame.isEmpty())
        step = "# not sent (the port was closed): " + step;
    m_presses.append({atNs, step, sent});
    m_sent += sent;
}

void SequenceRecorder::addReply(const QByteArray& reply, qint64 firstNs, qint64 endNs) {
    const ReplyStatus status = classifyReply(reply);
    m_replies.append({firstNs, endNs, status == ReplyStatus::Other ? QByteArray("any")
                                                         : QByteArray(replyStatusName(status))});
}

QByteArray SequenceRecorder::steps(qint64 stopNs) const {
    QVector<Reply> replies = m_replies;
    std::stable_sort(replies.begin(), replies.end(),
                     [](const Reply& a, const Reply& b) { return a.ns < b.ns; });
    QByteArray out;
    QByteArray quiet; // presses that sent nothing, written before the next frame
    qsizetype r = 0;
    for (qsizetype i = 0; i < m_presses.size(); ++i) {
        const Press& press = m_presses[i];
        if (!press.sent) {
            quiet += press.step + '\n';
            continue;
        }
        out += quiet + press.step + '\n';
        quiet.clear();
        qsizetype next = i + 1;
        while (next < m_presses.size() && !m_presses[next].sent)
            ++next;
        const bool last = next == m_presses.size();
        const qint64 until = last ? stopNs : m_presses[next].ns;
        // A reply read before this frame went out answers an earlier one.
        while (r < replies.size() && replies[r].ns < press.ns)
            ++r;
        qint64 lastReplyNs = -1;
        for (; r < replies.size() && (last || replies[r].ns < until); ++r) {
            const qint64 room = withinFactor * (replies[r].endNs - press.ns);
            const qint64 within = std::clamp<qint64>((room + nsPerMs - 1) / nsPerMs, minWithinMs,
                                                     sequencelimits::expectMaxMs);
            out += "expect " + replies[r].expected + " within " + number(within) + '\n';
            lastReplyNs = replies[r].endNs;
        }
        if (lastReplyNs < 0) {
            const qint64 silence = roundedMs(until - press.ns);
            const qint64 bound =
                std::clamp<qint64>(silence, 1, last ? lastSilenceMs : sequencelimits::expectMaxMs);
            out += "expect none within " + number(bound) + '\n';
            if (!last)
                appendWaits(out, silence - bound);
        } else if (!last) {
            // The expects end with the last reply; the pause after it is the wait.
            const qint64 rest = roundedMs(until - lastReplyNs);
            if (rest > shortestWaitMs)
                appendWaits(out, rest);
        }
    }
    return out + quiet;
}

QByteArray SequenceRecorder::text(const QString& fileName) const {
    const qint64 now = monotonicNs();
    const QDateTime ended = m_started.addMSecs(roundedMs(now - m_startedNs));
    const QString name = commentSafe(QFileInfo(fileName).fileName());
    const QString port = commentSafe(m_port);
    const QString day = QStringLiteral("yyyy-MM-dd");
    const QString time = QStringLiteral("HH:mm:ss");
    const QString to = ended.toString(ended.date() == m_started.date() ? time : day + ' ' + time);
    const QString head =
        QStringLiteral("# %1: recorded by orv-test from %2 on %3, %4 to %5 local time:\n"
                       "# %6 presses, %7 replies.\n"
                       "#\n"
                       "# Run it:  orv-test --run %8 --port %9\n")
            .arg(name, port.isEmpty() ? QStringLiteral("no port") : port, m_started.toString(day),
                 m_started.toString(time), to)
            .arg(m_presses.size())
            .arg(m_replies.size())
            .arg(shellWord(name), port.isEmpty() ? QStringLiteral("PORT") : shellWord(port));
    return head.toUtf8() + steps(now);
}

namespace {
// A recording is written as a report is: whole, never through a link, never
// over a file the program reads.
OutputFile recordingFile(const QString& path) {
    return {QStringLiteral("the recording"), QFile::encodeName(path), Links::Refuse,
            SequenceRunner::inputs(QByteArray())};
}
} // namespace

QString writeRecording(const QString& path, const QByteArray& text) {
    return writeOutputFile(recordingFile(path), [&text](QIODevice& to) { to.write(text); });
}

QString recordingPathProblem(const QString& path) {
    return outputFileProblem(recordingFile(path));
}
