// What the user is shown must hold for the programs as built: every example
// sequence gives the verdict its first comment promises against orv-sim with
// the options that comment names, and the README's key table is the command table.
#include "protocol/commandtable.h"
#include "support/files.h"
#include "support/simprocess.h"

#include <QtTest>

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
        static const QRegularExpression head(QStringLiteral("^# orv-sim(.*)\n# verdict: (.*)$"),
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch promise = head.match(QString::fromUtf8(readFile(path)));
        QVERIFY2(promise.hasMatch(), "no \"# orv-sim ...\" and \"# verdict: ...\" lines");
        SimProcess sim(QProcess::splitCommand(promise.captured(1)));
        QVERIFY(sim.isRunning());
        QProcess run;
        run.start(QStringLiteral(ORV_TEST_PATH),
                  {QStringLiteral("--run"), path, QStringLiteral("--port"), sim.devicePath()});
        QVERIFY(run.waitForFinished(60000));
        const QByteArray out = run.readAllStandardOutput();
        QVERIFY2(out.endsWith('\n' + promise.captured(2).toUtf8() + '\n'),
                 out.right(2000).constData());
        QCOMPARE(run.exitCode(), promise.captured(2).startsWith(QLatin1String("PASS")) ? 0 : 1);
    }
    void readmeKeyTable() {
        QByteArray table = "| Button | Bytes sent | Monitor line |\n|---|---|---|\n";
        const auto row = [&](const QByteArray& button, const CommandFrame& f) {
            table += "| " + button + " | `" + f.bytes().toHex(' ').toUpper() + "` | `" +
                     f.monitorLine() + "` |\n";
        };
        for (int i = 0; i < commands::keypadSize; ++i)
            if (const CommandFrame* f = commands::keypadFrame(i))
                row(QByteArray(1, "123456789*0#"[i]), *f);
        table += "| `*`, `#` | nothing | none |\n";
        row("Comm Test", commands::commTest);
        row("Reset", commands::reset);
        QVERIFY2(readFile(QStringLiteral(ORV_SOURCE_DIR "/README.md")).contains(table),
                 ("README.md must hold this table:\n" + table).constData());
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
