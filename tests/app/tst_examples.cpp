// What the user is shown must hold for the programs as built: every example
// sequence gives the verdict its first comment promises against orv-sim with
// the options that comment names, and the README's tables say what the program does.
#include "app/sequencerunwindow.h"
#include "cli/exitstatus.h"
#include "protocol/commandtable.h"
#include "sequence/junitreport.h"
#include "sequence/sequencelimits.h"
#include "sequence/sequencerecorder.h"
#include "serial/portname.h"
#include "serial/replycollector.h"
#include "settings/monitorsetting.h"
#include "settings/settingsfile.h"
#include "support/files.h"
#include "support/simprocess.h"

#include <QtTest>
#include <csignal>

class TestExamples : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void examples_data() {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(ORV_SOURCE_DIR "/examples"));
        const QStringList files = dir.entryList({QStringLiteral("*.seq")}, QDir::Files);
        QVERIFY2(files.size() >= 3, qPrintable(dir.path()));
        for (const QString& file : files)
            QTest::newRow(qPrintable(file)) << dir.filePath(file);
    }
    void examples() {
        QFETCH(QString, path);
        static const QRegularExpression head("^# orv-sim(.*)\n# verdict: (.*)$",
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch promise = head.match(QString::fromUtf8(readFile(path)));
        QVERIFY2(promise.hasMatch(), "no \"# orv-sim ...\" and \"# verdict: ...\" lines");
        SimProcess sim(QProcess::splitCommand(promise.captured(1)));
        QVERIFY(sim.isRunning());
        QProcess run;
        run.start(QStringLiteral(ORV_TEST_PATH),
                  {QStringLiteral("--run"), path, "--port", sim.devicePath()});
        QVERIFY(run.waitForFinished(60000));
        const QByteArray out = run.readAllStandardOutput();
        QVERIFY2(out.endsWith('\n' + promise.captured(2).toUtf8() + '\n'),
                 out.right(2000).constData());
        QCOMPARE(run.exitCode(), promise.captured(2).startsWith("PASS") ? 0 : 1);
    }
    // The README holds what the program does: the key table is the command
    // table, the limits and exit statuses are the constants.
    void readmeTables_data() {
        QTest::addColumn<QByteArray>("table");
        QByteArray keys = "| Button | Bytes sent | Monitor line |\n|---|---|---|\n";
        const auto row = [&](const QByteArray& button, const CommandFrame& f) {
            keys += "| " + button + " | `" + f.bytes().toHex(' ').toUpper() + "` | `" +
                    f.monitorLine() + "` |\n";
        };
        for (int i = 0; i < commands::keypadSize; ++i)
            if (const CommandFrame* f = commands::keypadFrame(i))
                row(QByteArray(1, commands::keypadCaptions[std::size_t(i)]), *f);
        keys += "| `*`, `#` | nothing | none |\n";
        row("Comm Test", commands::commTest);
        row("Reset", commands::reset);
        QTest::newRow("keys") << keys;

        using namespace sequencelimits;
        using namespace exitstatus;
        const auto n = [](qint64 v) { return QLocale(QLocale::English).toString(v); };
        const auto minutes = [](int ms) { return QStringLiteral(" (%1 minutes)").arg(ms / 60000); };
        QTest::newRow("limits") << QStringLiteral("| `within` | 1 to %1 ms%2; %3 when not given |\n"
                                                  "| `wait` | 0 to %4 ms%5 |\n"
                                                  "| `repeat` | 1 to %6 per block;")
                                       .arg(n(expectMaxMs), minutes(expectMaxMs),
                                            n(expectDefaultMs), n(waitMaxMs), minutes(waitMaxMs),
                                            n(repeatMax))
                                       .toUtf8();
        QTest::newRow("file") << QStringLiteral("| the file | a regular file of at most %1 MiB,")
                                     .arg(fileMaxMiB)
                                     .toUtf8();
        QTest::newRow("exit statuses")
            << QStringLiteral("| %1 | every expectation met |\n| %2 | one or more expectations "
                              "failed |\n| %3 | the run could not start")
                   .arg(passed)
                   .arg(failed)
                   .arg(notRun)
                   .toUtf8();
        QTest::newRow("signals")
            << QStringLiteral(
                   "| %1+signal | stopped by a signal: %2 SIGHUP, %3 SIGINT, %4 SIGTERM;")
                   .arg(signalBase)
                   .arg(signalBase + SIGHUP)
                   .arg(signalBase + SIGINT)
                   .arg(signalBase + SIGTERM)
                   .toUtf8();
        using R = JUnitReport;
        const auto figures = [](const char* name, const QString& text) {
            QTest::newRow(name) << text.toUtf8();
        };
        figures("folds", QStringLiteral("after the first %1 expectations the passing ones are "
                                        "folded")
                             .arg(n(R::defaultNamedCases)));
        figures("fold blocks",
                QStringLiteral("in blocks of %1 (1-%2, %3-%4, ...; on a run so long that the "
                               "folded test cases would pass %5, the blocks double)")
                    .arg(n(R::defaultNamedCases))
                    .arg(R::defaultNamedCases)
                    .arg(R::defaultNamedCases + 1)
                    .arg(2 * R::defaultNamedCases)
                    .arg(n(R::defaultFoldedLimit)));
        figures("named failures", QStringLiteral("up to the first %1; after that one test case")
                                      .arg(n(R::defaultNamedFailures)));
        figures("report size",
                QStringLiteral("The file stays under %1 MB for any run.").arg(R::maxFileMB));
        figures("monitor lines",
                QStringLiteral("from %1 to %2, by default %3.")
                    .arg(n(MonitorLinesSetting::minLines), n(MonitorLinesSetting::maxLines),
                         n(MonitorLinesSetting::defaultLines)));
        figures("settings file",
                QStringLiteral("a value over %1 bytes is refused as a damaged file. `config.ini` "
                               "is read and saved only when it is a regular file of at most %2 MiB")
                    .arg(n(maxSettingsValueBytes))
                    .arg(maxSettingsFileMiB));
        figures("port numbers",
                QStringLiteral("(1 to %1: port 1 is `/dev/ttyS0`)").arg(maxPortNumber));
        figures("reply bound", QStringLiteral("completed as a row %1 seconds after its first byte")
                                   .arg(ReplyCollector::boundMs / 1000));
        figures("line cut", QStringLiteral("A line of more than %1 MiB without a line feed is cut "
                                           "into rows of %1 MiB")
                                .arg(ReplyCollector::maxLineMiB));
        figures("failures listed", QStringLiteral("the list of the latest %1 failures")
                                       .arg(n(SequenceRunWindow::listedFailures)));
        figures(
            "recorder",
            QStringLiteral("at least %1 ms (a reply belongs to the latest frame sent before its "
                           "first byte was read, as a run judges it; a device that answers in "
                           "two lines gets two expects); - no reply at all as `expect none "
                           "within` the silence until the next press (at most %2 ms after the "
                           "last press); - a pause of more than %3 ms")
                .arg(SequenceRecorder::minWithinMs)
                .arg(SequenceRecorder::lastSilenceMs)
                .arg(SequenceRecorder::shortestWaitMs));
    }
    void readmeTables() {
        QFETCH(QByteArray, table);
        // Prose is compared as words: a rewrapped paragraph still holds.
        QVERIFY2(readFile(QStringLiteral(ORV_SOURCE_DIR "/README.md"))
                     .simplified()
                     .contains(table.simplified()),
                 ("README.md must hold this:\n" + table).constData());
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
