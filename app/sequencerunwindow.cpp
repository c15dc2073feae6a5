#include "app/sequencerunwindow.h"

#include "app/controls.h"
#include "app/elidedlabel.h"
#include "app/filechooser.h"
#include "app/latencychart.h"
#include "app/runwindowplacement.h"
#include "filetext/outputfile.h"
#include "session/mainsession.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace {

// The size the window asks for, and the least it is placed at beside the
// main window rather than over it: room for every line and a readable chart.
constexpr QSize wantedSize(640, 580);
constexpr QSize leastSize(300, 440);
constexpr int progressSteps = 10000;
constexpr int roleReply = Qt::UserRole;
constexpr int roleClears = Qt::UserRole + 1;

// A widget in global coordinates; empty when it is not shown.
QRect onScreen(const QWidget* w) {
    return w && w->isVisible() ? QRect(w->mapToGlobal(QPoint(0, 0)), w->size()) : QRect();
}

} // namespace

SequenceRunWindow::SequenceRunWindow(MainSession& session, SequenceFile sequence, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_session(session), m_runner(session, std::move(sequence)),
      m_pace(m_runner.sequence().expectationCount()) {
    setObjectName(QStringLiteral("frmSequenceRun"));
    setWindowTitle(QStringLiteral("Sequence - %1").arg(m_runner.sequence().name));
    setAttribute(Qt::WA_DeleteOnClose);

    m_total = m_runner.sequence().expectationCount();
    QVector<int> open; // indices of the repeats around the step
    for (const SequenceStep& s : m_runner.sequence().steps) {
        if (s.kind == SequenceStep::Repeat) {
            if (open.isEmpty())
                m_outerBlocks.append({s.line, s.count});
            open.append(s.line);
        } else if (s.kind == SequenceStep::End && !open.isEmpty()) {
            open.removeLast();
        }
    }

    auto* layout = new QVBoxLayout(this);
    auto label = [this, layout](const char* name, const QString& text = {}) {
        auto* l = new ElidedLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setText(text);
        layout->addWidget(l);
        return l;
    };
    label("lblSequenceFile", QStringLiteral("File: %1").arg(m_runner.sequence().name));
    m_step = label("lblSequenceStep");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("barSequenceProgress"));
    m_progress->setRange(0, progressSteps);
    m_progress->setValue(0);
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    layout->addWidget(m_progress);
    m_timeLeft = label("lblSequenceTimeLeft");
    m_counts = label("lblSequenceCounts");
    m_latency = label("lblSequenceLatency");
    m_chart = new LatencyChart(this);
    m_chart->setObjectName(QStringLiteral("frmLatencyChart"));
    layout->addWidget(m_chart, 3);

    m_failuresTitle = new QLabel(QStringLiteral("Failures: none"), this);
    m_failuresTitle->setObjectName(QStringLiteral("lblFailures"));
    layout->addWidget(m_failuresTitle);
    m_failures = new QTreeWidget(this);
    m_failures->setObjectName(QStringLiteral("lstFailures"));
    m_failures->setAccessibleName(QStringLiteral("Failures"));
    m_failures->setColumnCount(3);
    m_failures->setHeaderLabels(
        {QStringLiteral("Where"), QStringLiteral("Repetition"), QStringLiteral("What came")});
    m_failures->setRootIsDecorated(false);
    m_failures->setUniformRowHeights(true);
    m_failures->setTextElideMode(Qt::ElideRight);
    m_failures->header()->setStretchLastSection(true);
    m_failures->setToolTip(
        QStringLiteral("Double-click a failure to select its reply in the monitor"));
    m_failures->setMinimumHeight(60);
    layout->addWidget(m_failures, 1);
    m_failureNote = label("lblFailureNote");
    m_failureNote->hide();
    m_verdict = label("lblSequenceVerdict");
    m_verdict->hide();

    auto* buttons = new QHBoxLayout;
    m_saveChart = new QPushButton(QStringLiteral("Save Chart..."), this);
    m_saveChart->setObjectName(QStringLiteral("cmdSaveChart"));
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("cmdStopSequence"));
    m_save = new QPushButton(QStringLiteral("Save Report..."), this);
    m_save->setObjectName(QStringLiteral("cmdSaveReport"));
    m_save->hide();
    buttons->addWidget(m_saveChart);
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_stop);
    layout->addLayout(buttons);
    // Never so narrow that a latency line of ordinary figures is cut short.
    const QMargins margins = layout->contentsMargins();
    setMinimumWidth(qMax(minimumSizeHint().width(),
                         fontMetrics().horizontalAdvance(QStringLiteral(
                             "Latency (ms): min 0.00, median 00.00, p95 000.00, max 0000.00 "
                             "over 000,000 replies")) +
                             margins.left() + margins.right()));

    connect(m_stop, &QPushButton::clicked, this,
            [this] { m_runner.stop(QStringLiteral("operator stop")); });
    connect(m_save, &QPushButton::clicked, this, &SequenceRunWindow::saveReport);
    connect(m_saveChart, &QPushButton::clicked, this, &SequenceRunWindow::saveChart);
    connect(m_failures, &QTreeWidget::itemDoubleClicked, this,
            &SequenceRunWindow::showFailureInMonitor);
    // After a clear the monitor numbers its lines afresh: older numbers no
    // longer name the same lines.
    connect(session.monitorItems(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { ++m_monitorClears; });
    connect(&m_runner, &SequenceRunner::evaluated, this, &SequenceRunWindow::onEvaluated);
    // A run of thousands of steps a second would otherwise redraw per step.
    m_refresh.setInterval(100);
    connect(&m_refresh, &QTimer::timeout, this, &SequenceRunWindow::refresh);
    connect(&m_runner, &SequenceRunner::finished, this, [this] {
        m_refresh.stop();
        refresh();
        m_verdict->setText(m_runner.verdictLine());
        m_verdict->show();
        m_stop->hide();
        m_save->show();
        // The verdict outlives this window: in the monitor and the session log.
        m_session.addNote("Run: " + m_runner.verdictLine().toUtf8());
        Q_EMIT runEnded();
    });
}

bool SequenceRunWindow::start() {
    if (!m_runner.start())
        return false;
    m_started = QDateTime::currentDateTime();
    m_session.addNote("Run: " + m_runner.sequence().name.toUtf8() + " started");
    m_clock.start();
    refresh();
    place();
    show();
    m_refresh.start();
    return true;
}

void SequenceRunWindow::place() {
    const QWidget* main = parentWidget();
    const QScreen* screen = main ? main->screen() : this->screen();
    if (!screen) {
        resize(wantedSize);
        return;
    }
    // Not shown yet, this window has no frame: the main window's is the best
    // guess of what the window manager will put around it.
    QMargins frame;
    MainWindowPlaces places;
    if (main) {
        places.frame = main->frameGeometry();
        const QRect inner = main->geometry();
        frame =
            QMargins(inner.left() - places.frame.left(), inner.top() - places.frame.top(),
                     places.frame.right() - inner.right(), places.frame.bottom() - inner.bottom());
        // The title bar down to the menu bar's lower edge.
        const QRect bar = onScreen(main->findChild<QMenuBar*>());
        places.top =
            QRect(places.frame.topLeft(),
                  QPoint(places.frame.right(), bar.isEmpty() ? inner.top() : bar.bottom()));
        places.monitor = onScreen(main->findChild<QWidget*>(QStringLiteral("Frame2")));
    }
    const QSize grow(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize least = leastSize.expandedTo(minimumSizeHint()).expandedTo(minimumSize());
    const QRect at = placeRunWindow(screen->availableGeometry(), places,
                                    wantedSize.expandedTo(least) + grow, least + grow);
    const QRect inner = at.marginsRemoved(frame);
    move(at.topLeft());
    resize(inner.size());
}

void SequenceRunWindow::onEvaluated(const ExpectationOutcome& outcome) {
    // Called for every expectation: nothing here may grow with the run.
    if (outcome.replied)
        m_chart->addReply(outcome.atMs, outcome.latencyUs);
    if (outcome.met)
        return;
    m_chart->addFailure(outcome.atMs);
    if (m_pending.size() >= listedFailures)
        m_pending.removeFirst();
    const QString reps = m_runner.repetitions();
    m_pending.append({QStringLiteral("%1:%2").arg(m_runner.sequence().name).arg(outcome.line),
                      reps.isEmpty() ? QStringLiteral("-") : reps, outcome.got,
                      outcome.replied ? outcome.replyNumber : -1, m_monitorClears});
}

void SequenceRunWindow::refresh() {
    const QString reps = m_runner.repetitions();
    QString step =
        QStringLiteral("Step: line %1, %2").arg(m_runner.currentLine()).arg(m_runner.currentStep());
    if (!reps.isEmpty())
        step += QStringLiteral(" (repetition %1)").arg(reps);
    if (!m_runner.isRunning())
        step = QStringLiteral("Ended at line %1").arg(m_runner.currentLine());
    m_step->setText(step);
    m_counts->setText(QStringLiteral("Passed: %1   Failed: %2")
                          .arg(m_runner.expectations() - m_runner.failures())
                          .arg(m_runner.failures()));
    m_latency->setText(m_runner.latencyLine());
    refreshProgress();
    listFailures();
    m_chart->refresh(m_runner.latency());
}

void SequenceRunWindow::refreshProgress() {
    const QLocale locale;
    const qint64 done = m_runner.expectations();
    const qint64 nowMs = m_clock.elapsed();
    QString text = QStringLiteral("%1 of %2 expectations")
                       .arg(locale.toString(done), locale.toString(m_total));
    const auto outer =
        std::upper_bound(m_outerBlocks.cbegin(), m_outerBlocks.cend(), m_runner.currentLine(),
                         [](int line, const QPair<int, int>& block) { return line < block.first; });
    const QVector<int>& reps = m_runner.repetitionNumbers();
    if (!reps.isEmpty() && outer != m_outerBlocks.cbegin())
        text = QStringLiteral("Repetition %1 of %2, ")
                   .arg(locale.toString(reps.first()), locale.toString(std::prev(outer)->second)) +
               text;
    m_pace.sample(nowMs, done);
    const double share = m_pace.share();
    m_progress->setValue(int(share * progressSteps));
    m_progress->setFormat(text + QStringLiteral(" (%1 %)").arg(share * 100, 0, 'f', 1));
    m_progress->setToolTip(m_progress->text());

    if (!m_runner.isRunning()) {
        m_timeLeft->setText(QStringLiteral("Ran for %1").arg(duration(nowMs)));
        return;
    }
    QString left = QStringLiteral("Time left: estimating...");
    if (!m_pace.countable())
        left = QStringLiteral("Time left: more than can be counted");
    else if (const qint64 ms = m_pace.msLeft(); ms >= 0)
        left = QStringLiteral("Time left: about %1 at %2 expectations/s")
                   .arg(duration(ms))
                   .arg(locale.toString(m_pace.pace(), 'f', 1));
    else if (m_pace.spanMs() >= 2000)
        left = QStringLiteral("Time left: unknown, no expectation evaluated for %1")
                   .arg(duration(m_pace.spanMs()));
    m_timeLeft->setText(left + QStringLiteral("; running %1").arg(duration(nowMs)));
}

void SequenceRunWindow::listFailures() {
    const qint64 failures = m_runner.failures();
    if (failures)
        m_failuresTitle->setText(failures > listedFailures
                                     ? QStringLiteral("Failures: %1 (the latest %2 listed)")
                                           .arg(QLocale().toString(failures))
                                           .arg(listedFailures)
                                     : QStringLiteral("Failures: %1").arg(failures));
    if (m_pending.isEmpty())
        return;
    const int overflow = m_failures->topLevelItemCount() + int(m_pending.size()) - listedFailures;
    if (overflow >= m_failures->topLevelItemCount())
        m_failures->clear();
    for (int i = 0; i < overflow && m_failures->topLevelItemCount(); ++i)
        delete m_failures->takeTopLevelItem(0);
    QList<QTreeWidgetItem*> items;
    for (const Failure& f : m_pending) {
        auto* item = new QTreeWidgetItem({f.where, f.repetition, f.got});
        item->setData(0, roleReply, f.replyNumber);
        item->setData(0, roleClears, f.clears);
        item->setToolTip(2, f.got);
        items.append(item);
    }
    m_pending.clear();
    m_failures->addTopLevelItems(items);
    m_failures->scrollToBottom();
}

void SequenceRunWindow::showFailureInMonitor(QTreeWidgetItem* item) {
    const qint64 number = item->data(0, roleReply).toLongLong();
    const MonitorModel& monitor = m_session.monitor();
    const qint64 row = number - monitor.droppedCount();
    QString note;
    if (number < 0)
        note = QStringLiteral("No reply came for this failure: there is no line to show.");
    else if (item->data(0, roleClears).toULongLong() != m_monitorClears)
        note = QStringLiteral("The monitor has been cleared since this reply came.");
    else if (row < 0 || row >= monitor.count())
        note = QStringLiteral("This reply has left the monitor (the session log keeps it).");
    else
        m_session.selectLine(int(row));
    m_failureNote->setText(note);
    m_failureNote->setVisible(!note.isEmpty());
}

void SequenceRunWindow::saveChart() {
    const QString png = QStringLiteral("PNG image (*.png)"),
                  svg = QStringLiteral("SVG image (*.svg)");
    const FileChoice chosen =
        chooseFile(this, {FileRequest::Kind::Save, QStringLiteral("Save Chart"),
                          QFileInfo(m_runner.sequence().name).completeBaseName() +
                              QStringLiteral("-latency.png"),
                          png + QStringLiteral(";;") + svg});
    QString path = chosen.path;
    const QString filter = chosen.filter;
    if (path.isEmpty())
        return;
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty()) {
        suffix = filter == svg ? QStringLiteral("svg") : QStringLiteral("png");
        path += QLatin1Char('.') + suffix;
    }
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
        QMessageBox::warning(this, programTitle(),
                             QStringLiteral("The chart is saved as a PNG or SVG image: give a "
                                            "name ending in .png or .svg (%1 was not written).")
                                 .arg(path));
        return;
    }
    m_chart->refresh(m_runner.latency());
    const QByteArray image = m_chart->image(
        suffix == QLatin1String("svg") ? LatencyChart::Svg : LatencyChart::Png, chartTitle());
    // Written as the report is: whole or not at all, never through a link,
    // never over a file the run reads.
    const QString error =
        writeOutputFile({QStringLiteral("the chart"), QFile::encodeName(path), Links::Refuse,
                         SequenceRunner::inputs(m_runner.sequencePath())},
                        [&](QIODevice& to) { to.write(image); });
    if (!error.isEmpty())
        QMessageBox::warning(this, programTitle(), error);
}

QString SequenceRunWindow::chartTitle() const {
    const QString verdict = m_runner.isRunning()
                                ? QStringLiteral("running: %1 expectations, %2 failed so far")
                                      .arg(m_runner.expectations())
                                      .arg(m_runner.failures())
                                : m_runner.verdictLine();
    return QStringLiteral("%1 - started %2 - %3")
        .arg(m_runner.sequence().name, m_started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             verdict);
}

void SequenceRunWindow::saveReport() {
    const QString path = chooseFile(this, {FileRequest::Kind::Save, QStringLiteral("Save Report"),
                                           QFileInfo(m_runner.sequence().name).completeBaseName() +
                                               QStringLiteral(".xml"),
                                           QStringLiteral("JUnit XML (*.xml);;All files (*)")})
                             .path;
    if (path.isEmpty())
        return;
    // Built and synced off the window's thread: a report can take 20 MB.
    // Written whole or not at all; a failure names the file and the reason.
    m_save->setEnabled(false);
    auto* saving = new QFutureWatcher<QString>(this);
    connect(saving, &QFutureWatcher<QString>::finished, this, [this, saving] {
        saving->deleteLater();
        m_save->setEnabled(true);
        if (const QString error = saving->result(); !error.isEmpty())
            QMessageBox::warning(this, programTitle(), error);
    });
    saving->setFuture(QtConcurrent::run(m_runner.reportWriter(QFile::encodeName(path))));
}

void SequenceRunWindow::closeEvent(QCloseEvent* event) {
    m_runner.stop(QStringLiteral("window closed"));
    event->accept();
}
