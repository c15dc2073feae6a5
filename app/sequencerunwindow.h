#pragma once

#include "sequence/runprogress.h"
#include "sequence/sequencerunner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QVector>
#include <QWidget>

class ElidedLabel;
class LatencyChart;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The window of a sequence run from the main window: where the run is, how
// far it has come and how long it has to go, the latency of its replies over
// time, its failures, a Stop button and, once it has ended, the verdict and
// Save Report. Not modal: the monitor stays in view and in use. Everything it
// keeps is of fixed size, so it costs the same in a week's run as in a
// minute's.
class SequenceRunWindow : public QWidget {
    Q_OBJECT
public:
    // Failures listed at most: the latest ones.
    static constexpr int listedFailures = 1000;

    SequenceRunWindow(MainSession& session, SequenceFile sequence, QWidget* parent);

    SequenceRunner& runner() { return m_runner; }
    // Places the window beside its parent, shows it and starts the run; false
    // (and the reason in runner().error()) when it could not start.
    bool start();

Q_SIGNALS:
    // The run has ended; the window stays until the operator closes it.
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Failure {
        QString where;
        QString repetition;
        QString got;
        qint64 replyNumber; // the reply's line number in the monitor, -1 for none
        quint64 clears;     // the monitor's clears when it came
    };

    void place();
    void onEvaluated(const ExpectationOutcome& outcome);
    void refresh();
    void refreshProgress();
    void listFailures();
    void showFailureInMonitor(QTreeWidgetItem* item);
    void saveReport();
    void saveChart();
    // The saved chart's title: the file, when the run started, its verdict.
    QString chartTitle() const;

    MainSession& m_session;
    SequenceRunner m_runner;
    QTimer m_refresh;
    qint64 m_total = 0; // expectations in the whole run
    // The count of each outermost repeat block, by the line it starts at.
    QVector<QPair<int, int>> m_outerBlocks;
    RunProgress m_pace;
    QElapsedTimer m_clock;
    QDateTime m_started;
    // Failures not yet listed, at most listedFailures of them.
    QVector<Failure> m_pending;
    quint64 m_monitorClears = 0;

    ElidedLabel* m_step = nullptr;
    QProgressBar* m_progress = nullptr;
    ElidedLabel* m_timeLeft = nullptr;
    ElidedLabel* m_counts = nullptr;
    ElidedLabel* m_latency = nullptr;
    LatencyChart* m_chart = nullptr;
    QLabel* m_failuresTitle = nullptr;
    QTreeWidget* m_failures = nullptr;
    ElidedLabel* m_failureNote = nullptr;
    ElidedLabel* m_verdict = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_saveChart = nullptr;
};
