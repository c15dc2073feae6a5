#pragma once

#include "serial/portidentity.h"
#include "serial/replycollector.h"
#include "serial/seriallink.h"
#include "session/monitormodel.h"
#include "session/sessionlog.h"

#include <QMetaType>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>

struct CommandFrame;
class ModemLines;

// One press of a button, a key or Send Frame, as whoever records them needs it:
// told once its frame went (or could not), so sentNs is the frame's own time.
struct SessionPress {
    enum Kind : quint8 { Key, CommTest, Reset, Frame };
    Kind kind = Key;
    qint16 key = -1;    // Key: the keypad index
    QByteArray frame;   // the bytes it was to send; empty for "*" and "#"
    qint64 sentNs = -1; // monotonic: when its last byte was handed over; -1 if none was
};

// A reply as the session showed it, with the times that judge it: when its
// first byte was read and when it ended (monotonic ns), and the frame it
// belongs to, the latest sent before its first byte (its sendCount(); 0: none).
struct SessionReply {
    QByteArray text;
    qint64 firstNs = 0;
    qint64 endNs = 0;
    quint64 frame = 0;
    qint64 latencyNs = -1; // from that frame's time to the reply's end
    qint64 number = -1;    // its row, as MonitorModel::droppedCount() + row
    bool continues = false;
};

// Everything of the main window that needs no display: its variables, the
// serial link and the communication monitor, with the operations that act on
// them. The window owns one and forwards its events here; the headless
// sequence runner drives one the same way.
//
// mainsession.cpp: construction, settings, the monitor and the log;
// sendoperations.cpp: the three send operations;
// linkevents.cpp: link start and end, communication events, replies, reconnect.
Q_DECLARE_METATYPE(SessionReply)

class MainSession : public QObject {
    Q_OBJECT
public:
    // How long a clear-to-send change waits before dropping DTR.
    static constexpr int ctsPauseMs = 5;
    // How often a lost or unopened port is tried again.
    static constexpr int reconnectMs = 1000;

    explicit MainSession(QObject* parent = nullptr);

    // The configured port value as text (a number, a path or a device name).
    QString port() const { return m_port; }
    void setPort(const QString& value);
    // Reads the stored port from config.ini into port(), and how many lines
    // the monitor holds (a bad value is named in the monitor).
    void loadSettings();

    QByteArray serialInput() const { return m_serialInput; }
    QByteArray serialOutput() const { return m_serialOutput; }
    QByteArray cmdHex() const { return m_cmdHex; }
    QString cmdAscii() const { return m_cmdAscii; }

    // The communication monitor, for reading; views attach to it.
    const MonitorModel& monitor() const { return m_monitor; }
    // The same lines as an item model for list views; it has no editing.
    QAbstractItemModel* monitorItems() { return &m_monitor; }
    void clearMonitor() {
        m_monitor.clear();
        m_lastSendNumber = -1;
        for (Sent& sent : m_sends)
            sent.number = -1;
    }
    // Out-of-range indices mean "no selection", as -1 does.
    void selectLine(int index) { m_monitor.setSelectedIndex(index); }

    // Opens the configured port afresh. On failure the port stays closed, the
    // reason is in the monitor and in linkProblem, and the session goes on.
    bool linkStart();
    // Closes the port if it is open, and stops trying to reopen it. What the
    // device sent is recorded first, a reply without its line feed included,
    // and the log is written out.
    void linkEnd();
    bool portOpen() const { return m_link.portOpen(); }
    // The device path the port value named at the last link start.
    QString portName() const { return m_link.portName(); }
    // Why the last port operation failed.
    QString lastLinkError() const { return m_link.lastError(); }
    // A lost port is then not tried again, and its message ends with note in
    // brackets instead of "(trying again every second)": a headless run stops.
    void setLostPortNote(const QString& note) { m_lostPortNote = note; }
    // Whether a lost or unopened port is being tried again.
    bool isReconnecting() const { return m_reconnect.isActive(); }
    bool dtrEnable() const { return m_link.dtrEnable(); }
    // Modem lines that a pseudo-terminal cannot provide, for tests.
    void setModemLines(std::unique_ptr<ModemLines> lines);

    // Adds a line of the program's own to the monitor and the log.
    void addNote(const QByteArray& line);
    // How many frames have been handed whole to the system since the session
    // was made, and how long ago the latest was (-1 before the first). A
    // reply's own latency comes with replyReceived.
    quint64 sendCount() const { return m_sendCount; }
    qint64 nsSinceLastSend() const;
    // Frames that wait for the device to drain the port; each goes, in
    // order, with frameSent.
    int framesWaiting() const { return int(m_waiting.size()); }
    // Hands over every reply read so far (monitor, log, signals), as a send
    // does before its own row, and as an expectation does at its deadline.
    void handOverReplies();
    // Bytes read that wait for their line feed, and when the first came:
    // not a reply (yet).
    ReceivedReply unfinishedReply() const { return m_link.unfinishedReply(); }

    void sendKeyCode(qint16 Index);
    void sendCommTest();
    void sendReset();
    // A frame of the operator's own, sent exactly (see parseHexFrame); its
    // monitor line is "Sent: " and its hex text. An empty frame sends nothing.
    void sendFrame(const QByteArray& frame);

    // The handler of the link's communication events.
    void handleCommEvent(int code);

Q_SIGNALS:
    void portChanged(const QString& value);
    // A reply has been completed and written to the monitor. latencyNs runs
    // from the latest frame handed to the system before the reply's line
    // feed arrived to that arrival (-1: no frame was sent before it).
    void replyReceived(const QByteArray& reply, qint64 latencyNs);
    // After each of the four send operations: once its frame went, was refused
    // or was lost, and at once for a key that sends nothing.
    void pressed(const SessionPress& press);
    // The same reply with its times and frame, right after replyReceived.
    void replyRead(const SessionReply& reply);
    // Frame number sendCount() was handed whole to the system at sentNs
    // (monotonic), and its row is in the monitor.
    void frameSent(quint64 frame, qint64 sentNs);
    // The open port went away; the monitor says why.
    void portLost(const QString& message);
    // Something about the port the operator must know.
    void linkProblem(const QString& message);

private:
    // A frame handed to the system, and its line's number (see MonitorModel::droppedCount).
    struct Sent {
        qint64 ns = 0; // monotonic
        qint64 number = -1;
        quint64 frame = 0;
    };
    // A frame waiting for room in the port, and the row it gets once it went.
    struct Waiting {
        quint64 id;
        QByteArray line;
        SessionPress press;
    };
    void addSent(const Waiting& frame, const LineStamp& at);
    // Replies belong to the latest send before their first byte; a few sends
    // back covers replies that began before a send and ended after it.
    static constexpr std::size_t keptSends = 8;

    void send(const CommandFrame& frame);
    void send(const CommandFrame& frame, SessionPress press);
    // Writes bytes, whose row (once they went) is line.
    void send(const QByteArray& bytes, const QString& hex, const QByteArray& line,
              SessionPress press);
    void completeEvents(const QList<PortEvent>& events);
    void completeReply(const ReceivedReply& reply);
    void onPortLost(const QString& message);
    void retryPort();
    void logLine(int row);
    void reportProblem(const QString& message);

    QString m_port;
    // Why config.ini could not be used, reported in its place at link start.
    QString m_settingsError;
    QByteArray m_serialInput;
    QByteArray m_serialOutput;
    QByteArray m_cmdHex;
    QString m_cmdAscii;

    MonitorModel m_monitor;
    SerialLink m_link;
    QTimer m_ctsPause;
    QTimer m_reconnect;
    bool m_wasOpen = false;
    QString m_lostPortNote;
    PortIdentity m_opened;
    SessionLog m_log;
    quint64 m_sendCount = 0;
    qint64 m_lastSendNumber = -1; // the latest send line (see MonitorModel::droppedCount)
    std::deque<Sent> m_sends;     // the latest keptSends, oldest first
    std::deque<Waiting> m_waiting;
    quint64 m_frameIds = 0;
};
