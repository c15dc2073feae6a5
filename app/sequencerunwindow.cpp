#include "app/sequencerunwindow.h"

#include "app/controls.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

SequenceRunWindow::SequenceRunWindow(MainSession& session, SequenceFile sequence, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_runner(session, std::move(sequence)) {
    setObjectName(QStringLiteral("frmSequenceRun"));
    setWindowTitle(QStringLiteral("Sequence - %1").arg(m_runner.sequence().name));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    auto label = [this, layout](const char* name, const QString& text = {}) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(l);
        return l;
    };
    label("lblSequenceFile", QStringLiteral("File: %1").arg(m_runner.sequence().name));
    m_step = label("lblSequenceStep");
    m_counts = label("lblSequenceCounts");
    m_latency = label("lblSequenceLatency");
    m_verdict = label("lblSequenceVerdict");
    m_verdict->hide();
    auto* buttons = new QHBoxLayout;
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("cmdStopSequence"));
    m_save = new QPushButton(QStringLiteral("Save Report..."), this);
    m_save->setObjectName(QStringLiteral("cmdSaveReport"));
    m_save->hide();
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_stop);
    layout->addLayout(buttons);

    connect(m_stop, &QPushButton::clicked, this,
            [this] { m_runner.stop(QStringLiteral("operator stop")); });
    connect(m_save, &QPushButton::clicked, this, &SequenceRunWindow::saveReport);
    // A run of thousands of steps a second would otherwise relabel per step.
    m_refresh.setInterval(100);
    connect(&m_refresh, &QTimer::timeout, this, &SequenceRunWindow::refresh);
    connect(&m_runner, &SequenceRunner::finished, this, [this] {
        m_refresh.stop();
        refresh();
        m_verdict->setText(m_runner.verdictLine());
        m_verdict->show();
        m_stop->hide();
        m_save->show();
        Q_EMIT runEnded();
    });
}

bool SequenceRunWindow::start() {
    if (!m_runner.start())
        return false;
    refresh();
    adjustSize();
    resize(qMax(width(), 360), height());
    // Beside the main window, on its keypad side, so the monitor stays in view.
    if (QWidget* main = parentWidget()) {
        QPoint at = main->frameGeometry().topRight() + QPoint(8, 0);
        if (const QScreen* screen = main->screen()) {
            const QRect room = screen->availableGeometry();
            if (at.x() + width() > room.right())
                at.setX(qMax(room.left(), room.right() - width()));
        }
        move(at);
    }
    show();
    m_refresh.start();
    return true;
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
}

void SequenceRunWindow::saveReport() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Report"),
        QFileInfo(m_runner.sequence().name).completeBaseName() + QStringLiteral(".xml"),
        QStringLiteral("JUnit XML (*.xml);;All files (*)"));
    if (path.isEmpty())
        return;
    // Written whole or not at all; a failure names the file and the reason.
    const QString error = m_runner.writeReport(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, programTitle(), error);
}

void SequenceRunWindow::closeEvent(QCloseEvent* event) {
    m_runner.stop(QStringLiteral("window closed"));
    event->accept();
}
