#pragma once

// What the fault tests share: orv-sim as a process that can be killed, and
// the few steps every test takes through the window.
#include "support/testbench.h"
#include "support/dialogs.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

const QByteArray replyPrefix = "Reply: ";
const QByteArray commTestFrame("\x0B\x05\x10", 3);

// Every monitor line also goes to a session log: keep it out of the way.
inline bool useScratchStateDir() {
    static QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    return state.isValid();
}

inline QList<QByteArray> monitorLines(MainWindow* w) {
    const MonitorModel& m = w->session().monitor();
    QList<QByteArray> out;
    for (int i = 0; i < m.count(); ++i)
        out.append(m.line(i));
    return out;
}

inline QList<QByteArray> replies(MainWindow* w) {
    QList<QByteArray> out;
    for (const QByteArray& line : monitorLines(w)) {
        if (line.startsWith(replyPrefix))
            out.append(line.mid(replyPrefix.size()));
    }
    return out;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Serial > Settings, type the port, Save, then answer the boxes that follow.
inline std::shared_ptr<QList<AnsweredBox>>
saveThroughTheWindow(MainWindow* w, const QString& port,
                     QList<QMessageBox::StandardButton> answers) {
    w->findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
    child<QLineEdit>(w, "txtPortSettings")->setText(port);
    auto boxes = answerMessageBoxes(answers);
    child<QPushButton>(w, "cmdSaveSettings")->click();
    return boxes;
}

// The same window, shown, no splash, no restart, no end.
inline void checkStillUp(TestBench& bench, MainWindow* w) {
    QCOMPARE(bench.windows.main(), w);
    QVERIFY(w->isVisible());
    QVERIFY(!bench.windows.splash());
    QCOMPARE(bench.endCount, 0);
}

// orv-sim with its log in a file, so a long run costs this process no memory,
// and SIGKILL-able, as a device that vanishes would be.
class SimRun {
public:
    explicit SimRun(const QStringList& args) {
        m_process.setProgram(QStringLiteral(ORV_SIM_PATH));
        m_process.setArguments(args);
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("orv-sim.log")));
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        // Its first line is the device path.
        QDeadlineTimer deadline(10000);
        while (m_devicePath.isEmpty() && !deadline.hasExpired() && !m_process.waitForFinished(20)) {
            const QByteArray text = log();
            if (text.contains('\n'))
                m_devicePath = QString::fromLocal8Bit(text.left(text.indexOf('\n')));
        }
    }
    ~SimRun() { kill(); }

    bool isRunning() const { return !m_devicePath.isEmpty(); }
    QString devicePath() const { return m_devicePath; }
    QByteArray log() const {
        QFile f(m_dir.filePath(QStringLiteral("orv-sim.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // No clean-up of any kind: the pty master just goes.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
        m_devicePath.clear();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_devicePath;
};
