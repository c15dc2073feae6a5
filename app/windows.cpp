#include "app/windows.h"

#include "app/mainwindow.h"
#include "app/titlecard.h"

#include <QCoreApplication>
#include <utility>

namespace {

// Splash and About: client, outline, maker's name, title (twips).
const TitleCard::Layout splashLayout{
    {0, 0, 6945, 3555}, {120, 120, 6735, 3375}, {2280, 1387, 2415, 300}, {2032, 1987, 2910, 300}};
const TitleCard::Layout aboutLayout{
    {0, 0, 6765, 3435}, {0, 0, 6735, 3375}, {2175, 1039, 2415, 300}, {1927, 1639, 2910, 300}};

} // namespace

Windows::Windows(QObject* parent) : QObject(parent), endProgram([] { QCoreApplication::quit(); }) {}

Windows::~Windows() {
    delete m_main;
    delete m_splash;
    delete m_about;
}

MainWindow* Windows::showMain() {
    if (!m_main) {
        m_main = new MainWindow(nullptr, std::exchange(m_sessionPort, std::nullopt));
        m_main->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(m_main, &MainWindow::restartRequested, this, &Windows::restart);
        connect(m_main, &MainWindow::aboutRequested, this, &Windows::showAbout);
        connect(m_main, &MainWindow::endRequested, this, &Windows::endAll);
    }
    m_main->show();
    return m_main;
}

void Windows::unloadMain() {
    if (!m_main)
        return;
    MainWindow* old = m_main;
    m_main = nullptr;
    old->hide();
    // A run still going ends with its verdict in the log, before the port goes.
    old->stopRun(QStringLiteral("program ended"));
    // Free the port now; the window itself goes once its handler has returned.
    old->session().linkEnd();
    old->disconnect(this);
    old->deleteLater();
}

void Windows::restart() {
    unloadMain();
    delete m_splash;
    m_splash = new TitleCard(QStringLiteral("Splash"), splashLayout);
    TitleCard* splash = m_splash;
    connect(&splash->timer(), &QTimer::timeout, this, [this, splash] {
        showMain();
        splash->timer().stop();
        splash->hide();
        splash->deleteLater();
    });
    splash->showCentred();
}

void Windows::showAbout() {
    if (!m_about) {
        m_about = new TitleCard(QStringLiteral("about"), aboutLayout);
        m_about->setWindowTitle(QStringLiteral("Form1"));
        // It hides itself and stays loaded, its timer still running.
        connect(&m_about->timer(), &QTimer::timeout, m_about, &QWidget::hide);
    }
    m_about->showCentred();
}

void Windows::endAll() {
    // Nothing may keep the program alive: not a hidden About window, not a
    // pending restart.
    if (m_about)
        m_about->hide();
    if (m_splash)
        m_splash->hide();
    unloadMain();
    endProgram();
}
