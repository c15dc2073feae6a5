#include "harness.h"

#include "settings/configuration.h"

#include <QEventLoop>
#include <fstream>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>

namespace bench {

bool BenchApp::notify(QObject* receiver, QEvent* event) {
    ++m_depth;
    const bool handled = QApplication::notify(receiver, event);
    if (--m_depth == 0 && afterOuterEvent)
        afterOuterEvent();
    return handled;
}

namespace {

// Notes the rows inside each paint of the monitor: those are the rows drawn.
class PaintWatch : public QObject {
public:
    PaintWatch(Harness& h) : QObject(h.view->viewport()), m_h(h) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        const QRect r = static_cast<QPaintEvent*>(event)->rect();
        const int first = qMax(0, m_h.view->rowAt(r.top()));
        int last = m_h.view->rowAt(r.bottom());
        if (last < 0)
            last = m_h.view->rowCount() - 1;
        for (int row = first; row <= last; ++row)
            m_h.painted.push_back(row);
        return false;
    }

private:
    Harness& m_h;
};

} // namespace

Harness::~Harness() {
    app.afterOuterEvent = nullptr;
}

bool Harness::start() {
    if (!dir.isValid() || !pty.open())
        return fail("cannot make a temporary folder or a pseudo-terminal");
    if (port.empty())
        port = pty.path;
    if (!writeConfig(dir.path().toStdString(), port))
        return fail("cannot write config.ini");
    if (!config.empty()) {
        std::ofstream f(dir.path().toStdString() + "/config.ini", std::ios::app);
        f << config;
    }
    setProgramDirectoryForTesting(dir.path());
    windows.endProgram = [] {};
    window = windows.showMain();
    if (!QTest::qWaitForWindowExposed(window))
        return fail("the main window was never exposed");
    if (!window->session().portOpen())
        return fail("the program did not open " + port);
    view = window->findChild<MonitorView*>(QStringLiteral("lstComm"));
    if (!view)
        return fail("no lstComm in the main window");
    m_watch = new PaintWatch(*this);
    view->viewport()->installEventFilter(m_watch);
    app.afterOuterEvent = [this] {
        if (painted.empty())
            return;
        const std::int64_t t = nowNs();
        if (onShown)
            onShown(t, painted);
        painted.clear();
    };
    settle(300);
    return true;
}

void Harness::settle(int msecs) {
    QEventLoop loop;
    QTimer::singleShot(msecs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Harness::runUntil(const std::function<bool()>& done, int timeoutMs, int checkMs) {
    if (done())
        return true;
    const std::int64_t end = nowNs() + std::int64_t(timeoutMs) * 1000000;
    bool met = false;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        met = done();
        if (met || nowNs() > end)
            loop.quit();
    });
    check.start(checkMs);
    loop.exec();
    return met;
}

bool Harness::fail(const std::string& why) {
    std::fprintf(stderr, "orv-bench-inproc: %s\n", why.c_str());
    return false;
}

} // namespace bench
