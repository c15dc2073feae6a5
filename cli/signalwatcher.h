#pragma once

#include <QObject>
#include <initializer_list>

class QSocketNotifier;

// Turns POSIX signals (SIGTERM, SIGINT, SIGHUP, ...) into a Qt signal on the
// event loop, where the program can end in good order: the handler only
// writes the number to a pipe. One watcher at a time; destroying it puts the
// default handling back.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

    // The pipe could be made and every handler installed.
    bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    QList<int> m_signals;
    QSocketNotifier* m_notifier = nullptr;
};
