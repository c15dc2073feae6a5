#pragma once

#include "protocol/commandtable.h"
#include "serial/portlisting.h"
#include "session/mainsession.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <optional>

class CommandButton;
class LinkWarning;
class MonitorCopy;
class MonitorView;
class PortSettingsPanel;
class PressFeedback;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class SequenceRunWindow;
struct SequenceFile;
class ShapeWidget;

// The working window: keypad, monitor, port display and the Port Settings
// panel. It lays out the controls and forwards their events; the behaviour is
// in its MainSession. Loading it reads the settings and opens the port, or
// the port given (orv-test --port), which is not saved.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr, const std::optional<QString>& port = {});
    ~MainWindow() override;

    MainSession& session() { return m_session; }

    // Lights lblResponse and Shape1 for an ACK, NAK or CRC reply.
    void showReplyStatus(const QByteArray& reply);
    // Back to the black lamp and "Response": no reply is current.
    void resetReplyStatus();

    // Where the Port Settings panel gets the ports it offers.
    void setPortLister(PortLister lister);

    // Runs the sequence file at path, as Run Sequence... does once its file
    // dialog has a file. The file is read off the window's thread, and the
    // run starts once it has been read. Problems are told in a message box.
    void runSequenceFile(const QString& path);
    bool sequenceRunning() const;
    // Stops a running sequence; its verdict names the reason.
    void stopRun(const QString& reason);

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

    void closeProgram();
    void openSettings();
    void openInterfaceDocument();
    void chooseSequence();
    void startSequence(SequenceFile sequence, const QString& path);
    void stopSequence();
    // Asked before the window closes during a run; true to go on closing.
    bool closeDuringRun();
    void setSendingEnabled(bool enabled);
    void showLamp(const QString& caption, const QColor& lamp, const QString& lampName);

    MainSession m_session;
    bool m_ending = false;

    // Controls, named as they are known to operators' tools and tests.
    std::array<CommandButton*, commands::keypadSize> cmdKeyPress{};
    CommandButton* cmdCommTest = nullptr;
    CommandButton* cmdReset = nullptr;
    CommandButton* cmdClearComm = nullptr;
    QGroupBox* frmKeypad = nullptr;
    PortSettingsPanel* frmSerialSettings = nullptr;
    QGroupBox* portFrame = nullptr;    // "Frame1"
    QGroupBox* monitorFrame = nullptr; // "Frame2"
    QWidget* responseFrame = nullptr;  // "Frame3"
    QLineEdit* txtCommPort = nullptr;
    MonitorView* lstComm = nullptr;
    QLabel* lblResponse = nullptr;
    ShapeWidget* Shape1 = nullptr;
    QTimer tmrKeyPress;
    PressFeedback* m_feedback = nullptr;
    MonitorCopy* m_copy = nullptr;
    QPointer<SequenceRunWindow> m_run;
    bool m_readingSequence = false;
    QAction* m_runSequence = nullptr;
    QAction* m_stopSequence = nullptr;
    LinkWarning* m_linkWarning = nullptr;
};
