#include "cli/headlessrun.h"

#include "cli/commandline.h"
#include "cli/exitstatus.h"
#include "cli/signalwatcher.h"
#include "filetext/systemerror.h"
#include "filetext/visibletext.h"
#include "sequence/runprogress.h"
#include "sequence/sequencerunner.h"
#include "session/mainsession.h"
#include "session/stampedline.h"
#include "settings/portsetting.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void say(FILE* to, const QString& text) {
    const QByteArray bytes = terminalSafe(text).toLocal8Bit() + '\n';
    std::fwrite(bytes.data(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

// Standard output, written with every write checked. A reader that went away
// (| head -1) ends the printing quietly; any other failure (a full disk, a
// closed stdout) is kept, to be told at the end: the run goes on either way.
class Output {
public:
    void write(const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size() && !m_stopped;) {
            const ssize_t n =
                ::write(STDOUT_FILENO, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n > 0) {
                done += n;
                continue;
            }
            m_stopped = true;
            if (n == 0 || errno != EPIPE)
                m_problem = systemError(n == 0 ? EIO : errno);
        }
    }
    void writeLine(const QString& text) { write(terminalSafe(text).toLocal8Bit() + '\n'); }
    // Why output was lost, other than a reader that left; empty if it was not.
    QString problem() const { return m_problem; }

private:
    bool m_stopped = false;
    QString m_problem;
};

// One status line on a terminal's stderr, rewritten in place and cut to the
// terminal's width so that it never wraps.
class ProgressLine {
public:
    ProgressLine() : m_on(::isatty(STDERR_FILENO) == 1) {}
    bool isOn() const { return m_on; }
    void show(const QString& text) {
        m_text = terminalSafe(text).toLocal8Bit();
        redraw();
    }
    void redraw() {
        if (!m_on || m_text.isEmpty())
            return;
        winsize size{};
        const int width = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1
                              ? size.ws_col - 1
                              : 79;
        put("\r" + m_text.left(width) + "\033[K");
        m_shown = true;
    }
    void clear() {
        if (m_shown)
            put("\r\033[K");
        m_shown = false;
    }

private:
    static void put(const QByteArray& bytes) {
        [[maybe_unused]] const ssize_t n =
            ::write(STDERR_FILENO, bytes.constData(), std::size_t(bytes.size()));
    }
    bool m_on;
    bool m_shown = false;
    QByteArray m_text;
};

// "repetition 2, 17 | 340 of 1000 expectations, 2 failed | p95 4.02 ms | 1 min 23 s left"
QString progressText(const SequenceRunner& runner, const RunProgress& progress) {
    QStringList parts;
    if (!runner.repetitionNumbers().isEmpty())
        parts << QStringLiteral("repetition ") + repetitionText(runner.repetitionNumbers());
    parts << QStringLiteral("%1 of %2 expectations, %3 failed")
                 .arg(runner.expectations())
                 .arg(progress.total())
                 .arg(runner.failures());
    if (!runner.latency().isEmpty())
        parts
            << QStringLiteral("p95 %1 ms").arg(runner.latency().quantileUs(0.95) / 1000, 0, 'f', 2);
    if (const qint64 left = progress.msLeft(); left >= 0)
        parts << duration(left) + QStringLiteral(" left");
    return parts.join(QStringLiteral(" | "));
}

// Whether a report can be written at path, asked of the real target before
// the first frame, so that a long run never ends without its report.
QString reportPathProblem(const QByteArray& path, const QByteArray& sequencePath) {
    return outputFileProblem(
        {QStringLiteral("the report"), path, Links::Refuse, SequenceRunner::inputs(sequencePath)});
}

} // namespace

int runHeadless(int argc, char* argv[], const CommandLine& options) {
    // A reader that goes away (| head -1) must not end the run before its report.
    std::signal(SIGPIPE, SIG_IGN);
    // Never a QApplication here: the run must work with no display at all.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orv-test"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORV_VERSION));

    SequenceFile sequence = readSequenceFile(options.runFile);
    if (!sequence.isValid()) {
        say(stderr, sequence.error);
        return exitstatus::notRun;
    }
    if (!options.report.isEmpty()) {
        if (const QString problem = reportPathProblem(options.report, options.runFile);
            !problem.isEmpty()) {
            say(stderr, problem);
            return exitstatus::notRun;
        }
    }

    MainSession session;
    LineStamper stamper;
    Output output;
    ProgressLine progress;
    const bool progressSharesTerminal = progress.isOn() && ::isatty(STDOUT_FILENO) == 1;
    // Lines go out once per event-loop turn, queued behind the session log's
    // write of the same lines: whatever a watcher has read is in the log too,
    // even if the run is killed right after.
    QByteArray out;
    bool printQueued = false;
    auto print = [&] {
        if (progressSharesTerminal)
            progress.clear();
        output.write(out);
        out.clear();
        printQueued = false;
        if (progressSharesTerminal)
            progress.redraw();
    };
    QObject::connect(&session.monitor(), &MonitorModel::lineAppended, [&](int row) {
        const MonitorModel::Line& line = session.monitor().at(row);
        stamper.append(out, line.msecsSinceEpoch, line.text);
        out += '\n';
        if (!printQueued) {
            printQueued = true;
            QMetaObject::invokeMethod(&app, print, Qt::QueuedConnection);
        }
    });
    if (options.port) {
        session.setPort(*options.port);
    } else {
        session.loadSettings();
        // The reason the window would show, naming the file in use.
        QString problem;
        readPortSetting(&problem);
        if (problem.isEmpty() && session.port().trimmed().isEmpty())
            problem = ::access(configFile().constData(), F_OK) == 0
                          ? QStringLiteral("No port to use: %1 sets no port= in [SETTINGS]; "
                                           "give --port PORT or set one there")
                                .arg(terminalText(configFile()))
                          : QStringLiteral("No port to use: the settings file %1 does not exist; "
                                           "give --port PORT or make it with port= in [SETTINGS]")
                                .arg(terminalText(configFile()));
        if (!problem.isEmpty()) {
            say(stderr, problem);
            return exitstatus::notRun;
        }
    }
    // The run ends with the port: its message must not promise another try.
    session.setLostPortNote(QStringLiteral("the run stopped"));
    quint64 replies = 0;
    QObject::connect(&session, &MainSession::replyReceived, [&replies] { ++replies; });
    if (!session.linkStart()) {
        session.linkEnd();
        say(stderr, QStringLiteral("Cannot start the run: %1").arg(session.lastLinkError()));
        return exitstatus::notRun;
    }

    const qint64 total = sequence.expectationCount();
    SequenceRunner runner(session, std::move(sequence));
    runner.setSequencePath(options.runFile);
    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
    int signalNumber = 0;
    QObject::connect(&watcher, &SignalWatcher::received, [&](int number) {
        signalNumber = number;
        runner.stop(QStringLiteral("SIG") + QString::fromLatin1(sigabbrev_np(number)));
    });
    // Seen only on a terminal: a log or a CI job gets the lines and the verdict alone.
    QTimer progressTimer;
    QElapsedTimer elapsed;
    RunProgress pace(total);
    QObject::connect(&progressTimer, &QTimer::timeout, [&] {
        pace.sample(elapsed.elapsed(), runner.expectations());
        progress.show(progressText(runner, pace));
    });
    bool unanswered = false; // an expectation waited for a reply in vain
    QObject::connect(&runner, &SequenceRunner::evaluated, [&](const ExpectationOutcome& o) {
        unanswered = unanswered || (!o.met && !o.replied);
    });
    int status = 0;
    QObject::connect(&runner, &SequenceRunner::finished, [&] {
        progressTimer.stop();
        progress.clear();
        session.linkEnd(); // the log complete before the last lines are printed
        print();
        // Eleven timeouts in a row read like eleven faults; they are one: a
        // wrong port, a device that is off, or a line at the wrong speed.
        if (unanswered && replies == 0 && runner.state() != SequenceRunner::State::PortLost)
            output.writeLine(QStringLiteral("No reply came from %1 at all: check that it is the "
                                            "device's port, that the device is on and "
                                            "connected, and that it talks 9600 baud 8N1")
                                 .arg(session.portName()));
        output.writeLine(runner.latencyLine());
        output.writeLine(runner.verdictLine());
        if (runner.state() == SequenceRunner::State::PortLost)
            status = exitstatus::notRun;
        else if (signalNumber)
            status = exitstatus::signalBase + signalNumber;
        else
            status = runner.failures() ? exitstatus::failed : exitstatus::passed;
        if (!options.report.isEmpty()) {
            if (const QString error = runner.writeReport(options.report); !error.isEmpty()) {
                say(stderr, error);
                if (status < exitstatus::notRun)
                    status = exitstatus::notRun;
            }
        }
        // A verdict nobody could read is no verdict: said where it can be seen.
        if (!output.problem().isEmpty()) {
            say(stderr, QStringLiteral("orv-test: cannot write to standard output: %1; the "
                                       "verdict was: %2")
                            .arg(output.problem(), runner.verdictLine()));
            if (status < exitstatus::notRun)
                status = exitstatus::notRun;
        }
        QCoreApplication::exit(status);
    });
    if (!runner.start()) {
        say(stderr, QStringLiteral("Cannot start the run: %1").arg(runner.error()));
        return exitstatus::notRun;
    }
    if (progress.isOn()) {
        elapsed.start();
        progressTimer.start(1000);
    }
    QCoreApplication::exec();
    session.linkEnd();
    return status;
}
