// A burn-in run from the window: the real main window runs the sequence
// file as its "Serial > Run Sequence..." does (MainWindow::runSequenceFile,
// after the file dialog), orv-sim answers in its own process. Progress is
// orv-sim's count of frames received, read from its log by a thread here;
// at set points that thread reads this process's resident memory and CPU
// (all threads, less its own).

#include "app/sequencerunwindow.h"
#include "burnin.h"
#include "inscenarios.h"
#include "procfs.h"

#include <QFile>

namespace bench {

int windowBurnIn(Harness& h, SimDevice& sim, long n) {
    const QString path = h.dir.filePath(QStringLiteral("burn.seq"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QByteArray("repeat ") + QByteArray::number(qlonglong(n)) +
                   "\n  key 5\n  expect ACK\nend\n") < 0)
        return Harness::fail("cannot write the sequence file"), 1;
    file.close();

    const BurnInPoints points(n);
    const long* at = points.at;
    BurnInMark marks[5];
    std::atomic<int> next{0};
    const pid_t self = ::getpid();
    ProcessCpu cpu(self);
    sim.onFrame = [&](long count) {
        // Threads that end during the run keep what they used.
        if (count % 1000 == 0)
            cpu.ms();
        while (next < 5 && count >= at[next]) {
            const double reader = threadCpuMs();
            marks[next] = {nowNs(), cpu.ms() - reader, rssKiB(self)};
            ++next;
        }
    };
    // The window reads the file on another thread and starts the run after.
    h.window->runSequenceFile(path);
    if (!h.runUntil([&] { return h.window->sequenceRunning(); }, 30000, 10))
        return Harness::fail("the window did not start the run"), 1;
    // Up to ten minutes plus a millisecond per expectation.
    const bool ended = h.runUntil([&] { return !h.window->sequenceRunning(); },
                                  int(std::min(600000L + n, 3600000L)), 100);
    const std::int64_t endNs = nowNs();
    sim.onFrame = nullptr;
    auto* run = h.window->findChild<SequenceRunWindow*>();
    if (!ended || next < 5 || !run) {
        std::fprintf(stderr, "orv-bench-inproc: the run %s after %ld of %ld frames\n",
                     ended ? "ended" : "was still running", sim.frames.load(), n);
        return 1;
    }
    const SequenceRunner& runner = run->runner();
    burnInFigures("burnin_win", points, marks);
    result("burnin_win_report_mb", double(runner.report().size()) / 1e6);
    result("burnin_win_tail_s", double(endNs - marks[4].ns) / 1e9);
    result("burnin_win_verdict_ok",
           long(runner.expectations()) == n && runner.failures() == 0 ? 1 : 0);
    return 0;
}

} // namespace bench
