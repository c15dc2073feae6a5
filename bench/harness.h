#pragma once

// The real main window (made by Windows, as the program makes it) inside the
// bench process, its port one end of a pseudo-terminal whose device end the
// bench plays, and a watch on which monitor rows are painted and when.

#include "app/mainwindow.h"
#include "app/monitorview.h"
#include "app/windows.h"
#include "common.h"

#include <QApplication>
#include <QTemporaryDir>
#include <functional>

namespace bench {

// Calls a hook each time the outermost event handler returns, which is when a
// repaint done inside it has been handed to the window system.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    std::function<void()> afterOuterEvent;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    int m_depth = 0;
};

struct Harness {
    BenchApp& app;
    QTemporaryDir dir;
    DevicePty pty;
    // The program's port: the pty's other end unless set before start()
    // (orv-sim's port, when orv-sim plays the device).
    std::string port;
    // More lines for config.ini's [SETTINGS] (such as "monitorLines=...\n").
    std::string config;
    Windows windows;
    MainWindow* window = nullptr;
    MonitorView* view = nullptr;
    // Rows the monitor painted since the last outermost event.
    std::vector<int> painted;
    // Called with the time a repaint was handed out and the rows it drew.
    std::function<void(std::int64_t, const std::vector<int>&)> onShown;

    explicit Harness(BenchApp& a) : app(a) {}
    ~Harness();

    bool start();
    const MonitorModel& model() { return window->session().monitor(); }
    // Runs the event loop for msecs milliseconds.
    void settle(int msecs);
    // Runs the event loop until done() or timeoutMs; false on timeout. done()
    // is asked every checkMs: figures are timed where they happen, never here.
    bool runUntil(const std::function<bool()>& done, int timeoutMs, int checkMs = 10);

    static bool fail(const std::string& why);

private:
    QObject* m_watch = nullptr;
};

} // namespace bench
