#pragma once

#include "app/mainwindow.h"
#include "app/titlecard.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

// The program's three windows, each a single instance made on first use: the
// main window, the Splash window that carries a restart on a new port, and
// the About window.
class Windows : public QObject {
    Q_OBJECT
public:
    explicit Windows(QObject* parent = nullptr);
    ~Windows() override;

    // Loads the main window if it is not loaded, and shows it.
    MainWindow* showMain();
    // The loaded main window, or nullptr (during a restart).
    MainWindow* main() const { return m_main; }
    TitleCard* splash() const { return m_splash; }
    TitleCard* about() const { return m_about; }

    // Unloads the main window (its port closes with it) and shows the Splash
    // window, which loads a fresh main window two seconds later.
    void restart();
    void showAbout();
    // Ends the program as File > Close with OK does: every window goes, the
    // port is closed and the log written out.
    void endAll();

    // The port of the first main window, for this session only (orv-test
    // --port); config.ini is not touched. A restart after Save opens the
    // port saved.
    void setSessionPort(std::optional<QString> port) { m_sessionPort = std::move(port); }

    // How the program ends; tests put something harmless here.
    std::function<void()> endProgram;

private:
    void unloadMain();

    QPointer<MainWindow> m_main;
    QPointer<TitleCard> m_splash;
    QPointer<TitleCard> m_about;
    std::optional<QString> m_sessionPort;
};
