#include "app/headlessrun.h"

#include "session/mainsession.h"
#include "session/sequencerunner.h"
#include "session/signalwatcher.h"
#include "session/stampedline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

const char headlessUsage[] =
    "      --run FILE     run the key sequence in FILE with no window, then exit:\n"
    "                     0 all expectations met, 1 some failed, 2 the run could\n"
    "                     not start or the port was lost, 130/143 on SIGINT/SIGTERM\n"
    "      --port PORT    with --run: the port to use instead of config.ini's\n"
    "      --report FILE  with --run: write a JUnit XML report to FILE\n";

namespace {

struct RunOptions {
    QString file;
    std::optional<QString> port;
    QString report;
    QString error;
};

// --name VALUE or --name=VALUE; i moves past what was used.
bool takeValue(int argc, char* argv[], int& i, const char* name, QString& value, QString& error) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0)
        return false;
    if (argv[i][n] == '=') {
        value = QString::fromLocal8Bit(argv[i] + n + 1);
    } else if (argv[i][n] == '\0') {
        if (i + 1 >= argc) {
            error = QStringLiteral("%1 needs a value").arg(QLatin1String(name));
            return true;
        }
        value = QString::fromLocal8Bit(argv[++i]);
    } else {
        return false;
    }
    if (value.isEmpty())
        error = QStringLiteral("%1 needs a value").arg(QLatin1String(name));
    return true;
}

std::optional<RunOptions> parse(int argc, char* argv[]) {
    RunOptions o;
    bool run = false;
    QStringList others;
    for (int i = 1; i < argc && o.error.isEmpty(); ++i) {
        QString port;
        if (takeValue(argc, argv, i, "--run", o.file, o.error)) {
            run = true;
        } else if (takeValue(argc, argv, i, "--port", port, o.error)) {
            o.port = port;
        } else if (takeValue(argc, argv, i, "--report", o.report, o.error)) {
        } else if (QString config; takeValue(argc, argv, i, "--config", config, o.error)) {
            // Already taken by main().
        } else {
            others << QString::fromLocal8Bit(argv[i]);
        }
    }
    if (!run && o.error.isEmpty() && !o.port && o.report.isEmpty())
        return std::nullopt;
    if (o.error.isEmpty() && !run)
        o.error = QStringLiteral("--port and --report go with --run FILE");
    if (o.error.isEmpty() && !others.isEmpty())
        o.error = QStringLiteral("unknown argument \"%1\" with --run").arg(others.first());
    return o;
}

void say(FILE* to, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.data(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

// Whether a report can be written at path, asked before the run so that a
// long run never ends without its report.
QString reportPathProblem(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("The report %1 is not a regular file").arg(path);
    const QFileInfo dir(info.absolutePath());
    if (!dir.isDir())
        return QStringLiteral("The report's folder %1 does not exist").arg(dir.filePath());
    if (!dir.isWritable())
        return QStringLiteral("The report's folder %1 is not writable").arg(dir.filePath());
    return {};
}

} // namespace

int runHeadlessIfAsked(int argc, char* argv[]) {
    const std::optional<RunOptions> options = parse(argc, argv);
    if (!options)
        return -1;
    if (!options->error.isEmpty()) {
        say(stderr, QStringLiteral("orv-test: %1 (see --help)").arg(options->error));
        return 2;
    }
    // Never a QApplication here: the run must work with no display at all.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orv-test"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORV_VERSION));

    SequenceFile sequence = readSequenceFile(options->file);
    if (!sequence.isValid()) {
        say(stderr, sequence.error);
        return 2;
    }
    if (!options->report.isEmpty()) {
        if (const QString problem = reportPathProblem(options->report); !problem.isEmpty()) {
            say(stderr, problem);
            return 2;
        }
    }

    MainSession session;
    LineStamper stamper;
    // Lines go out once per event-loop turn, queued behind the session log's
    // write of the same lines: whatever a watcher has read is in the log too,
    // even if the run is killed right after.
    QByteArray out;
    bool printQueued = false;
    auto print = [&] {
        std::fwrite(out.data(), 1, std::size_t(out.size()), stdout);
        std::fflush(stdout);
        out.clear();
        printQueued = false;
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
    if (options->port)
        session.setPort(*options->port);
    else
        session.loadSettings();
    if (session.port().isEmpty()) {
        say(stderr, QStringLiteral("No port to use: give --port or set port= in %1")
                        .arg(QStringLiteral("config.ini")));
        return 2;
    }
    if (!session.linkStart()) {
        session.linkEnd();
        say(stderr, QStringLiteral("Cannot start the run: %1").arg(session.lastLinkError()));
        return 2;
    }

    SequenceRunner runner(session, std::move(sequence));
    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
    int signalNumber = 0;
    QObject::connect(&watcher, &SignalWatcher::received, [&](int number) {
        signalNumber = number;
        runner.stop(QStringLiteral("Stopped by signal %1 (%2)")
                        .arg(number)
                        .arg(QString::fromLocal8Bit(strsignal(number))));
    });
    int status = 0;
    QObject::connect(&runner, &SequenceRunner::finished, [&] {
        session.linkEnd(); // the log complete before the last lines are printed
        print();
        say(stdout, runner.latencyLine());
        say(stdout, runner.verdictLine());
        if (runner.state() == SequenceRunner::State::PortLost)
            status = 2;
        else if (signalNumber)
            status = 128 + signalNumber;
        else
            status = runner.failures() ? 1 : 0;
        if (!options->report.isEmpty()) {
            if (const QString error = writeJUnitReport(options->report, runner.report());
                !error.isEmpty()) {
                say(stderr, error);
                if (status < 2)
                    status = 2;
            }
        }
        QCoreApplication::exit(status);
    });
    if (!runner.start()) {
        say(stderr, QStringLiteral("Cannot start the run: %1").arg(runner.error()));
        return 2;
    }
    QCoreApplication::exec();
    session.linkEnd();
    return status;
}
