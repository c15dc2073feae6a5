#include "app/sessionmonitormenu.h"

#include "app/mainwindow.h"
#include "app/sessionmonitor.h"

#include <QAction>
#include <QMenu>

namespace {

void showSessionMonitor(MainWindow& window) {
    // There is one: asked again, it comes to the front.
    auto* monitor = window.findChild<SessionMonitor*>(QStringLiteral("sessionMonitor"));
    if (!monitor) {
        MainSession& session = window.session();
        monitor = new SessionMonitor(
            session.monitor(),
            [&session](qint64 number) {
                // Numbers count from the last clear, as the monitor's own do.
                const qint64 held = number - session.monitor().droppedCount();
                if (held >= 0 && held < session.monitor().count())
                    session.selectLine(int(held));
            },
            &window);
    }
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
}

} // namespace

void addSessionMonitorEntries(MainWindow& window, QMenu& serial) {
    QAction* monitor = serial.addAction(QStringLiteral("Session Monitor..."));
    monitor->setObjectName(QStringLiteral("mnuSessionMonitor"));
    QObject::connect(monitor, &QAction::triggered, &window,
                     [&window] { showSessionMonitor(window); });
    QAction* log = serial.addAction(QStringLiteral("Open Log..."));
    log->setObjectName(QStringLiteral("mnuOpenLog"));
    QObject::connect(log, &QAction::triggered, &window,
                     [&window] { SessionMonitor::chooseLog(&window, &window); });
}
