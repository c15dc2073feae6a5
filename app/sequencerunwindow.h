#pragma once

#include "session/sequencerunner.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

// The small window of a sequence run from the main window: where the run is,
// how it is going, a Stop button and, once it has ended, the verdict and
// Save Report. Not modal: the monitor stays in view and in use.
class SequenceRunWindow : public QWidget {
    Q_OBJECT
public:
    SequenceRunWindow(MainSession& session, SequenceFile sequence, QWidget* parent);

    SequenceRunner& runner() { return m_runner; }
    // Shows the window beside its parent and starts the run; false (and the
    // reason in runner().error()) when it could not start.
    bool start();

Q_SIGNALS:
    // The run has ended; the window stays until the operator closes it.
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void saveReport();

    SequenceRunner m_runner;
    QTimer m_refresh;
    QLabel* m_step = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_latency = nullptr;
    QLabel* m_verdict = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_save = nullptr;
};
