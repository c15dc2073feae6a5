// What the user is shown must hold for the programs as built: every example
// sequence gives the verdict its first comment promises against orv-sim with
// the options that comment names, and the README's tables say what the program does.
#include "cli/exitstatus.h"
#include "protocol/commandtable.h"
#include "sequence/sequencelimits.h"
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
    // The README's tables hold what the program does: the key table is the
    // command table, the limits and exit statuses are the constants.
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
    }
    void readmeTables() {
        QFETCH(QByteArray, table);
        QVERIFY2(readFile(QStringLiteral(ORV_SOURCE_DIR "/README.md")).contains(table),
                 ("README.md must hold this:\n" + table).constData());
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
