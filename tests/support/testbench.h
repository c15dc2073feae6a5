#pragma once

// A program on the test bench: its own directory with config.ini, a device on
// a pseudo-terminal, and the program's windows.
#include "app/mainwindow.h"
#include "app/windows.h"
#include "settings/configuration.h"
#include "support/files.h"
#include "support/monitorlines.h"
#include "support/pty.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTest>

struct TestBench {
    QTemporaryDir dir;
    PtyPair device;
    Windows windows;
    int endCount = 0;

    explicit TestBench(const QString& port = {}) {
        setProgramDirectoryForTesting(dir.path());
        writeConfigBytes(
            "[SETTINGS]\nport=" + (port.isNull() ? device.slavePath() : port).toUtf8() + "\n");
        windows.endProgram = [this] { ++endCount; };
    }
    ~TestBench() { setProgramDirectoryForTesting({}); }

    void writeConfigBytes(const QByteArray& bytes) { writeFile(dir.filePath("config.ini"), bytes); }
    QByteArray config() const { return readFile(dir.filePath("config.ini")); }

    MainWindow* start() {
        MainWindow* w = windows.showMain();
        return QTest::qWaitForWindowExposed(w) ? w : nullptr;
    }
};

template <typename T> T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QLatin1String(name));
}

inline void trigger(QWidget* w, const char* action) {
    child<QAction>(w, action)->trigger();
}

inline void click(QWidget* w, const char* button) {
    QTest::mouseClick(child<QWidget>(w, button), Qt::LeftButton);
}

// A keypad key by its caption, "1" to "9", "*", "0", "#".
inline QWidget* key(QWidget* w, const QString& caption) {
    for (QWidget* k : w->findChildren<QWidget*>("cmdKeyPress"))
        if (k->property("text").toString() == caption)
            return k;
    return nullptr;
}

// Every monitor line also goes to a session log: for long runs, keep it out
// of the way. The file dialogs' remembered folder is kept apart too: one test
// leaving it at /proc would make the next dialog read /proc's files.
inline bool useScratchStateDir() {
    static QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", state.filePath("config").toLocal8Bit());
    return state.isValid();
}
