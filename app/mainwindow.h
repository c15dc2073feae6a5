#pragma once

#include "app/mainsession.h"
#include "serial/portlisting.h"

#include <QMainWindow>
#include <QTimer>
#include <array>

class CommandButton;
class MonitorCopy;
class PortCompleter;
class PressFeedback;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class ShapeWidget;

// The working window: keypad, monitor, port display and the Port Settings
// panel. It lays out the controls and forwards their events; the behaviour is
// in its MainSession. Loading it reads the settings and opens the port.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int keypadSize = 12;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    MainSession& session() { return m_session; }

    // Lights lblResponse and Shape1 for an ACK, NAK or CRC reply.
    void showReplyStatus(const QByteArray& reply);

    // Where the Port Settings panel gets the ports it offers.
    void setPortLister(PortLister lister);
    MonitorCopy& monitorCopy() { return *m_copy; }

Q_SIGNALS:
    // Save was confirmed and the new port written: restart on it.
    void restartRequested();
    void aboutRequested();
    // File > Close confirmed, or the window was closed: the program ends.
    void endRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void setTabOrder();
    void syncSelectionToView(int index);

    void closeProgram();
    void openSettings();
    void saveSettings();
    void openInterfaceDocument();
    void showLinkWarning(const QString& message);

    MainSession m_session;
    bool m_ending = false;

    // Controls, named as they are known to operators' tools and tests.
    std::array<CommandButton*, keypadSize> cmdKeyPress{};
    CommandButton* cmdCommTest = nullptr;
    CommandButton* cmdReset = nullptr;
    CommandButton* cmdClearComm = nullptr;
    CommandButton* cmdSaveSettings = nullptr;
    CommandButton* cmdCancelSettings = nullptr;
    QGroupBox* frmKeypad = nullptr;
    QGroupBox* frmSerialSettings = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QWidget* Frame3 = nullptr;
    QLineEdit* txtCommPort = nullptr;
    QLineEdit* txtPortSettings = nullptr;
    QListView* lstComm = nullptr;
    QLabel* lblResponse = nullptr;
    ShapeWidget* Shape1 = nullptr;
    QTimer tmrKeyPress;
    PressFeedback* m_feedback = nullptr;
    MonitorCopy* m_copy = nullptr;
    PortCompleter* m_portCompleter = nullptr;
};
