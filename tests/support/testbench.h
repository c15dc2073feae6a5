#pragma once

// A program on the test bench: its own directory with config.ini, a device on
// a pseudo-terminal, and the program's windows.
#include "app/mainwindow.h"
#include "app/windows.h"
#include "settings/configuration.h"
#include "settings/portsetting.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

struct TestBench {
    QTemporaryDir dir;
    PtyPair device;
    Windows windows;
    int endCount = 0;

    explicit TestBench(const QString& port = {}) {
        setProgramDirectoryForTesting(dir.path());
        writeConfig(port.isNull() ? device.slavePath() : port);
        windows.endProgram = [this] { ++endCount; };
    }
    ~TestBench() { setProgramDirectoryForTesting({}); }

    void writeConfig(const QString& port) {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        f.open(QIODevice::WriteOnly);
        f.write("[SETTINGS]\nport=" + port.toUtf8() + "\n");
    }
    QByteArray config() const {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    MainWindow* start() {
        MainWindow* w = windows.showMain();
        if (!QTest::qWaitForWindowExposed(w))
            return nullptr;
        return w;
    }
};

template <typename T> T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QLatin1String(name));
}
